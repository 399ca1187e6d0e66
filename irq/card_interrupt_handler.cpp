#include "irq/card_interrupt_handler.h"

#include <atomic>

#include "core/registers.h"
#include "device/pci_device.h"
#include "irq/interrupt_registers.h"
#include "irq/interrupt_service.h"

namespace kpx::irq {
namespace {

// The one application callback for every card; set from any application
// thread, read on the interrupt threads.
std::atomic<k4160_board_isr_t> board_isr{nullptr};

}  // namespace

void SetBoardIsr(k4160_board_isr_t callback) { board_isr.store(callback, std::memory_order_release); }

k4160_board_isr_t BoardIsr() { return board_isr.load(std::memory_order_acquire); }

void AcknowledgeCardInterrupt(device::CardRecord &card) {
  // The read before and after the write are part of the card's handshake;
  // their values carry nothing the library uses.
  device::ReadConfigDword(card, kPciIntControl);
  device::WriteConfigDword(card, kPciIntControl, kPciIntEnableAck);
  device::ReadConfigDword(card, kPciIntControl);
}

void CardInterruptHandler(device::CardRecord &card, uint32_t, uint32_t, uint32_t) {
  AcknowledgeCardInterrupt(card);
  // The causes and the main status are read at chip axis 0 of card 0,
  // whichever card interrupted, and not kept: the interrupting card's own
  // causes stay for the application to read with the cause functions.
  core::ReadPclRegister32(0, 0, kPclErrorInterruptFactorRead);
  core::ReadPclRegister32(0, 0, kPclEventInterruptFactorRead);
  core::ReadPclMainStatus(0, 0);

  const k4160_board_isr_t callback = BoardIsr();
  uint16_t card_number = 0;
  if (callback != nullptr && InterruptServiceCard(card, card_number)) callback(card_number);
}

}  // namespace kpx::irq
