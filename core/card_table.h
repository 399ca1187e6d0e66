// The library-wide card state: which cards are open, how often the library
// was initialised, whether register access is enabled, and the one lock that
// serialises every register access.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/card_record.h"

namespace kpx::core {

inline constexpr uint16_t kCardTableSize = 16;

// Slot i holds the open card i, or null. A slot is emptied under
// RegisterLock, and every register access looks its card up under that
// lock, so an access racing k4160_board_close either finishes on the card
// before it is released or finds the slot empty.
extern std::atomic<device::CardRecord *> CardTable[kCardTableSize];
// Number of cards the last scan reported (at most kCardTableSize). Read by
// any thread (emergency stop, reset, interrupt disable), written by init and
// close.
extern std::atomic<uint16_t> CardCount;
// k4160_board_init calls past the scan not yet matched by k4160_board_close.
// Changed only under LifecycleLock.
extern uint32_t InitCount;
// Non-zero while registers may be touched.
extern std::atomic<uint32_t> LibraryInitialised;

// The process-wide re-entrant lock of every register access. One lock serves
// the whole life of the process; it is never destroyed while loaded.
std::recursive_mutex &RegisterLock();

// Serialises k4160_board_init and k4160_board_close (and the application
// threads' interrupt disable, which must not see a card released under
// it). Re-entrant; never taken while RegisterLock is held.
std::recursive_mutex &LifecycleLock();

// The open card in slot `card`, or null for an empty slot, a card number
// outside the table, or a library that is not initialised. The record stays
// valid only while the caller holds RegisterLock (or LifecycleLock).
device::CardRecord *UsableCard(uint16_t card);

// RegisterLock held for one access and the card looked up under it; the
// card is null when the access must do nothing. Card numbers outside the
// table take no lock.
class LockedCard {
 public:
  explicit LockedCard(uint16_t card);
  ~LockedCard();
  LockedCard(const LockedCard &) = delete;
  LockedCard &operator=(const LockedCard &) = delete;
  device::CardRecord *get() const { return record_; }

 private:
  bool locked_ = false;
  device::CardRecord *record_ = nullptr;
};

// Counts one initialisation in; the first one enables register access.
uint32_t LibraryEnter();
// Counts one initialisation out; returns the new count.
uint32_t LibraryLeave();

}  // namespace kpx::core
