#include "core/card_table.h"

namespace kpx::core {

std::atomic<device::CardRecord *> CardTable[kCardTableSize];
std::atomic<uint16_t> CardCount{0};
uint32_t InitCount = 0;
std::atomic<uint32_t> LibraryInitialised{0};

std::recursive_mutex &RegisterLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::recursive_mutex &LifecycleLock() {
  static std::recursive_mutex lock;
  return lock;
}

LockedCard::LockedCard(uint16_t card) {
  if (card >= kCardTableSize) return;
  RegisterLock().lock();
  locked_ = true;
  record_ = UsableCard(card);
}

LockedCard::~LockedCard() {
  if (locked_) RegisterLock().unlock();
}

device::CardRecord *UsableCard(uint16_t card) {
  if (card >= kCardTableSize) return nullptr;
  device::CardRecord *record = CardTable[card].load(std::memory_order_acquire);
  if (record == nullptr || LibraryInitialised.load(std::memory_order_acquire) == 0) return nullptr;
  return record;
}

uint32_t LibraryEnter() {
  ++InitCount;
  if (LibraryInitialised.load() == 0) {
    RegisterLock();  // make sure the lock exists before the first access
    LibraryInitialised.store(1, std::memory_order_release);
  }
  return InitCount;
}

uint32_t LibraryLeave() {
  if (InitCount > 0) --InitCount;
  return InitCount;
}

}  // namespace kpx::core
