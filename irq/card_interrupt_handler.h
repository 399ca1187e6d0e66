// What the library does for every interrupt of a card.
#pragma once

#include <cstdint>

#include "device/card_record.h"
#include "kpx4160.h"

namespace kpx::irq {

// Acknowledges the interrupt at the raising card's PCI interface, reads the
// chip's cause registers and then calls the application's callback, if any.
void CardInterruptHandler(device::CardRecord &card, uint32_t count, uint32_t lost, uint32_t outcome);

// The application callback (BoardIsr), plain or extended: setting either
// replaces the other; null sets none.
void SetBoardIsr(k4160_board_isr_t callback);
void SetBoardIsrEx(k4160_board_isr_ex_t callback, void *user);

// The acknowledge sequence at a card's interrupt control word: read, write
// enable/acknowledge, read back. Also run when interrupts are enabled.
void AcknowledgeCardInterrupt(device::CardRecord &card);

}  // namespace kpx::irq
