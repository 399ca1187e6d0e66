#include "irq/card_interrupt_handler.h"

#include <mutex>

#include "core/registers.h"
#include "device/pci_device.h"
#include "irq/interrupt_registers.h"
#include "irq/interrupt_service.h"

namespace kpx::irq {
namespace {

// The one application callback for every card, plain or extended, with the
// extended one's user pointer: set from any application thread, copied
// whole on the interrupt threads so a callback never meets another's pointer.
struct BoardCallback {
  k4160_board_isr_t plain = nullptr;
  k4160_board_isr_ex_t extended = nullptr;
  void *user = nullptr;
};
std::mutex board_callback_mutex;
BoardCallback board_callback;

BoardCallback CurrentCallback() {
  std::lock_guard<std::mutex> lock(board_callback_mutex);
  return board_callback;
}

}  // namespace

void SetBoardIsr(k4160_board_isr_t callback) {
  std::lock_guard<std::mutex> lock(board_callback_mutex);
  board_callback = BoardCallback{callback, nullptr, nullptr};
}

void SetBoardIsrEx(k4160_board_isr_ex_t callback, void *user) {
  std::lock_guard<std::mutex> lock(board_callback_mutex);
  board_callback = BoardCallback{nullptr, callback, user};
}

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
  // whichever card interrupted. The reads clear the causes, so the values
  // go to the extended callback as read; the interrupting card's own
  // causes stay for the application to read with the cause functions.
  const uint32_t error_causes = core::ReadPclRegister32(0, 0, kPclErrorInterruptFactorRead);
  const uint32_t event_causes = core::ReadPclRegister32(0, 0, kPclEventInterruptFactorRead);
  const uint16_t main_status = core::ReadPclMainStatus(0, 0);

  // Called outside the lock: the callback may set another callback.
  const BoardCallback callback = CurrentCallback();
  uint16_t card_number = 0;
  if ((callback.plain == nullptr && callback.extended == nullptr) || !InterruptServiceCard(card, card_number)) return;
  if (callback.extended != nullptr)
    callback.extended(card_number, error_causes, event_causes, main_status, callback.user);
  else
    callback.plain(card_number);
}

}  // namespace kpx::irq
