// The exported interrupt calls.
#include <cstdint>
#include <mutex>

#include "core/card_table.h"
#include "core/registers.h"
#include "core/shared_registers.h"
#include "device/pci_device.h"
#include "irq/card_interrupt_handler.h"
#include "irq/interrupt_registers.h"
#include "irq/interrupt_service.h"
#include "kpx4160.h"

using namespace kpx;
using namespace kpx::irq;

namespace {
// An application thread holds LifecycleLock while it uses a card record
// outside the register accessors, so k4160_board_close cannot release the
// card under it. An interrupt thread needs no lock: close ends every
// interrupt thread before it releases the first card, and starts none.
std::unique_lock<std::recursive_mutex> HoldCards() {
  return OnInterruptThread() ? std::unique_lock<std::recursive_mutex>()
                             : std::unique_lock<std::recursive_mutex>(core::LifecycleLock());
}
}  // namespace

extern "C" {

int32_t k4160_set_int_enable(uint16_t card) {
  const auto cards = HoldCards();
  device::CardRecord *r = core::UsableCard(card);
  if (r == nullptr) return -1;
  AcknowledgeCardInterrupt(*r);
  // Chip axis 0's causes are read on every enable; the values are not kept.
  core::ReadPclRegister32(card, 0, kPclErrorInterruptFactorRead);
  core::ReadPclRegister32(card, 0, kPclEventInterruptFactorRead);
  return StartInterruptService(*r, CardInterruptHandler, card) ? 0 : -1;
}

void k4160_set_int_disable(void) {
  const auto cards = HoldCards();
  for (uint16_t i = 0; i < core::CardCount && i < core::kCardTableSize; ++i) {
    device::CardRecord *r = core::CardTable[i].load(std::memory_order_acquire);
    if (r == nullptr) continue;
    device::WriteConfigDword(*r, kPciIntControl, kPciIntOff);
    StopInterruptService(*r);
  }
}

void k4160_set_board_isr(k4160_board_isr_t callback) { SetBoardIsr(callback); }

void k4160_set_board_isr_ex(k4160_board_isr_ex_t callback, void *user) { SetBoardIsrEx(callback, user); }

void k4160_set_int_factor(uint16_t axis, uint32_t factor) {
  const uint16_t card = core::CardOf(axis);
  const uint16_t base = core::BaseOf(axis);
  {
    // SignalConfig2 is shared with the signal settings: keep the
    // read-modify-write whole against other threads.
    core::RegisterTransaction transaction;
    const uint32_t gate = (factor & kFactorEvent20) != 0 ? kSignalConfig2Event20Gate : 0;
    core::ModifyPclRegister(card, base, core::kPclSignalConfig2Read, core::kPclSignalConfig2Write,
                            ~kSignalConfig2Event20Gate, gate);
  }
  core::WritePclRegister32(card, base, kPclEventInterruptEnableWrite, factor & kEventEnableMask);
}

uint32_t k4160_read_event_int_factor(uint16_t axis) {
  return core::ReadPclRegister32(core::CardOf(axis), core::BaseOf(axis), kPclEventInterruptFactorRead);
}

uint32_t k4160_read_error_int_factor(uint16_t axis) {
  return core::ReadPclRegister32(core::CardOf(axis), core::BaseOf(axis), kPclErrorInterruptFactorRead);
}

uint32_t k4160_get_error_intfactor(uint16_t axis) { return k4160_read_error_int_factor(axis); }

}  // extern "C"
