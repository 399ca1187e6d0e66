// Read-modify-write of the shared registers an axis or a card owns, for the
// signal setters: each clears exactly its field and ORs in the new value,
// leaving every other bit (other functions' fields, the other chip axis) as
// read.
#pragma once

#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"

namespace kpx::io {

// A chip register of the axis, by its read and write codes.
inline uint32_t ModifyAxisRegister(uint16_t axis, uint16_t read_code, uint16_t write_code, uint32_t clear,
                                   uint32_t set) {
  return core::ModifyPclRegister(core::CardOf(axis), core::BaseOf(axis), read_code, write_code, ~clear, set & clear);
}

inline uint32_t ModifyOperationMode(uint16_t axis, uint32_t clear, uint32_t set) {
  return ModifyAxisRegister(axis, core::kPclOperationModeRead, core::kPclOperationModeWrite, clear, set);
}
inline uint32_t ModifySignalConfig1(uint16_t axis, uint32_t clear, uint32_t set) {
  return ModifyAxisRegister(axis, core::kPclSignalConfig1Read, core::kPclSignalConfig1Write, clear, set);
}
inline uint32_t ModifySignalConfig2(uint16_t axis, uint32_t clear, uint32_t set) {
  return ModifyAxisRegister(axis, core::kPclSignalConfig2Read, core::kPclSignalConfig2Write, clear, set);
}
inline uint32_t ModifySignalConfig3(uint16_t axis, uint32_t clear, uint32_t set) {
  return ModifyAxisRegister(axis, core::kPclSignalConfig3Read, core::kPclSignalConfig3Write, clear, set);
}

// A PLD register of the card.
inline uint32_t ModifyCardRegister(uint16_t card, uint16_t offset, uint32_t clear, uint32_t set) {
  return core::ModifyPldRegister(card, offset, ~clear, set & clear);
}

}  // namespace kpx::io
