// Opening, resetting and closing the cards.
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "core/board.h"
#include "core/board_defaults.h"
#include "core/card_table.h"
#include "core/registers.h"
#include "core/shared_registers.h"
#include "device/pci_device.h"
#include "irq/interrupt_service.h"
#include "kpx4160.h"

namespace kpx::core {
namespace {

constexpr uint32_t kVendorId = 0x0003;
constexpr uint32_t kDeviceId = 0x4160;

// Value k4160_board_init returns when opening card i failed: kOpenFailedBase + i.
constexpr uint32_t kOpenFailedBase = 1001;

// PldConfig at start-up: EL mode bits 0-1 and bits 2-3 set, EMG bits 4-5
// clear, EZ mode bit 6 clear, latch mode bit 7 set, LTC filter 0.
constexpr uint32_t kPldConfigStartup = 0x0000008F;
// CounterConfig at start-up: each byte 0x38, count input mode 0 with EZ
// configuration bits 3-5 set, for both chip axes.
constexpr uint32_t kCounterConfigStartup = 0x38383838;

// Start-up values of the two signal configurations of each chip axis.
constexpr uint32_t kSignalConfig1Startup = 0x0C151000;
constexpr uint32_t kSignalConfig2Startup = 0x00440000;
// SignalConfig2 fields rewritten by InitSignalConfig2: bits 0-5 and 7-12
// cleared and bit 6 set, then bits 8, 10 and 11 set as well.
constexpr uint32_t kSignalConfig2InitClear = 0x1FBF;
constexpr uint32_t kSignalConfig2InitSet = 0x40;
constexpr uint32_t kSignalConfig2InitEnable = 0xD40;

// Pause after the chip reset command, and before releasing the cards on close.
constexpr uint32_t kResetPauseMs = 1;
constexpr uint32_t kClosePauseMs = 2;

void WriteSignalConfigStartup(uint16_t card, uint16_t chip_axis);

// Interrupt threads still running when the process exits (the application
// never called k4160_board_close) would keep calling into the driver's back
// end while exit destroys it. The first initialisation registers this stop;
// exit runs it before the destructors of everything built until then, the
// back end included.
void StopInterruptsAtExit() {
  if (kpx::irq::OnInterruptThread()) return;  // exit() from a callback: nothing to wait for safely
  const std::lock_guard lifecycle(LifecycleLock());
  for (uint16_t i = 0; i < kCardTableSize; ++i) {
    kpx::device::CardRecord *record = CardTable[i].load(std::memory_order_acquire);
    if (record != nullptr) kpx::irq::StopInterruptService(*record);
  }
}

// Takes LifecycleLock. On an interrupt thread only if it is free: a close
// or disable on an application thread may hold it while it waits for this
// very thread to end.
bool TakeLifecycleLock(std::unique_lock<std::recursive_mutex> &lock) {
  lock = std::unique_lock(LifecycleLock(), std::defer_lock);
  if (kpx::irq::OnInterruptThread()) return lock.try_lock();
  lock.lock();
  return true;
}

}  // namespace

void InitSignalConfig2(uint16_t card, uint16_t chip_axis) {
  const uint16_t base = BaseOfChipAxis(chip_axis);
  uint32_t v = ReadPclRegister32(card, base, kPclSignalConfig2Read);
  v = (v & ~kSignalConfig2InitClear) | kSignalConfig2InitSet;
  WritePclRegister32(card, base, kPclSignalConfig2Write, v);
  WritePclRegister32(card, base, kPclSignalConfig2Write, v | kSignalConfig2InitEnable);
}

void EmergencyStopAllCards() {
  const uint16_t count = CardCount.load();
  for (uint16_t i = 0; i < count; ++i) WritePclCommand(i, 0, kPclCommandEmergencyStop);
}

namespace {
void WriteSignalConfigStartup(uint16_t card, uint16_t chip_axis) {
  const uint16_t base = BaseOfChipAxis(chip_axis);
  WritePclRegister32(card, base, kPclSignalConfig1Write, kSignalConfig1Startup);
  WritePclRegister32(card, base, kPclSignalConfig2Write, kSignalConfig2Startup);
  InitSignalConfig2(card, chip_axis);
}
}  // namespace

}  // namespace kpx::core

using namespace kpx::core;

extern "C" {

uint32_t k4160_board_init(void) {
  std::unique_lock<std::recursive_mutex> lifecycle;
  if (!TakeLifecycleLock(lifecycle)) return 0;
  uint32_t found = kpx::device::CountCards(kVendorId, kDeviceId);
  // The card table has 16 slots: a scan that reports more counts as 16 cards.
  if (found > kCardTableSize) found = kCardTableSize;
  CardCount = static_cast<uint16_t>(found);
  if (CardCount == 0) return 0;
  if (LibraryEnter() > 1) return CardCount;
  static std::once_flag exit_stop;
  std::call_once(exit_stop, [] { std::atexit(StopInterruptsAtExit); });

  for (uint16_t i = 0; i < CardCount; ++i) {
    kpx::device::CardRecord *record = nullptr;
    if (!kpx::device::OpenCard(record, kVendorId, kDeviceId, i)) return kOpenFailedBase + i;
    CardTable[i].store(record, std::memory_order_release);
    write_dword_pld_register(i, kPldConfig, kPldConfigStartup);
    write_dword_pld_register(i, kPldCounterConfig, kCounterConfigStartup);
    ApplyCardDefaults(i);
    for (uint16_t k = 0; k < 2; ++k) {
      WriteSignalConfigStartup(i, k);
      ApplyAxisDefaults(i, k);
    }
  }
  ApplyLibraryDefaults();
  return CardCount;
}

void k4160_board_rest(void) {
  const uint16_t count = CardCount.load();
  for (uint16_t i = 0; i < count; ++i) {
    WritePclCommand(i, 0, kPclCommandReset);
    kpx::device::DevicePause(kResetPauseMs);
    for (uint16_t k = 0; k < 2; ++k) {
      WriteSignalConfigStartup(i, k);
      ApplyResetDefaults(i, k);
    }
  }
}

void k4160_board_reset(void) { k4160_board_rest(); }

void k4160_board_close(void) {
  // An interrupt callback cannot release the card its own thread serves.
  if (kpx::irq::OnInterruptThread()) return;
  const std::lock_guard lifecycle(LifecycleLock());
  if (CardCount == 0) return;
  if (LibraryLeave() > 0) return;
  EmergencyStopAllCards();
  LibraryInitialised.store(0, std::memory_order_release);
  kpx::device::DevicePause(kClosePauseMs);
  // Every card still in the table is released, not only the first
  // CardCount: a nested init whose scan found fewer cards lowers the count,
  // and the cards above it would otherwise stay registered with nothing
  // left referring to them. Every card's interrupt handler reads the chip
  // of card 0, so all threads end before the first card is released.
  for (uint16_t i = 0; i < kCardTableSize; ++i) {
    kpx::device::CardRecord *record = CardTable[i].load(std::memory_order_acquire);
    if (record != nullptr) kpx::irq::StopInterruptService(*record);
  }
  for (uint16_t i = 0; i < kCardTableSize; ++i) {
    kpx::device::CardRecord *record;
    {
      // An access that looked the card up before this finishes first; any
      // later one finds the slot empty.
      const std::lock_guard registers(RegisterLock());
      record = CardTable[i].exchange(nullptr, std::memory_order_acq_rel);
    }
    if (record != nullptr) kpx::device::CloseCard(record);
  }
  CardCount = 0;
}

}  // extern "C"
