// One 16- or 32-bit access at a byte offset of one of a card's address
// spaces. The path is fixed per space when the card is opened: a memory space
// is loaded or stored directly through its user-mode mapping, an I/O space
// goes through the driver's transfer request, any other space reads 0.
#pragma once

#include <cstdint>

#include "device/card_record.h"

namespace kpx::core {

uint16_t ReadSpace16(device::CardRecord &card, uint32_t space, uint32_t offset);
uint32_t ReadSpace32(device::CardRecord &card, uint32_t space, uint32_t offset);
void WriteSpace16(device::CardRecord &card, uint32_t space, uint32_t offset, uint16_t value);
void WriteSpace32(device::CardRecord &card, uint32_t space, uint32_t offset, uint32_t value);

}  // namespace kpx::core
