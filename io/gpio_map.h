// Where each of a card's 20 general-purpose inputs and outputs lives.
// Inputs 1-16 are bits of the PLD's InputPort and inputs 17-20 sub-status
// bits of the chip axes; outputs 1-14 are active-low bits of the PLD's
// OutputPort (bits 12-13 between them are the servo-on outputs) and outputs
// 15-20 the chip's general terminals 4-6 of both chip axes.
#pragma once

#include <cstdint>

#include "io/bits.h"

namespace kpx::io {

inline constexpr uint16_t kFirstIo = 1;
inline constexpr uint16_t kLastIo = 20;
inline constexpr uint16_t kLastPldInput = 16;
inline constexpr uint16_t kLastPldOutput = 14;
inline constexpr uint16_t kFirstHighPldOutput = 13;  // outputs 13-14 skip the servo-on bits

// Sub-status bits of the chip-side inputs and outputs.
inline constexpr unsigned kSubInputLowBit = 0;   // inputs 17-18
inline constexpr unsigned kSubRdyBit = 1;        // RDY, active low
inline constexpr unsigned kSubInputHighBit = 2;  // inputs 19-20
inline constexpr unsigned kSubCmpBit = 3;        // CMP terminal, active low
inline constexpr unsigned kSubTerminalBit = 4;   // terminals 4-6 in bits 4-6, 1 = on

// OutputPort: servo-on of chip axis a in bit 12 + a, active low.
inline constexpr unsigned kServoOnBit = 12;
inline constexpr uint32_t kOutputPortLow = FieldMask(11, 0);    // outputs 1-12
inline constexpr uint32_t kOutputPortHigh = FieldMask(15, 14);  // outputs 13-14
inline constexpr uint32_t kOutputPortKeep = FieldMask(31, 16) | FieldMask(13, 12);
inline constexpr uint32_t kInputPortBits = FieldMask(15, 0);
inline constexpr unsigned kPortChipShiftIn = 16;   // inputs 17-20 in port bits 16-19
inline constexpr unsigned kPortChipShiftOut = 14;  // outputs 15-20 in port bits 14-19

// The OutputPort bit of PLD output n (1-14).
inline constexpr unsigned OutputPortBit(uint16_t n) { return n < kFirstHighPldOutput ? n - 1u : n + 1u; }

// A chip-side input or output: chip axis and sub-status bit or terminal.
struct ChipSource {
  uint16_t chip_axis;
  unsigned index;  // sub-status bit (inputs) or terminal (outputs)
};
// Input n of 17-20: sub-status bit 0 (17-18) or 2 (19-20) of chip axis (n - 17) & 1.
inline constexpr ChipSource ChipInput(uint16_t n) {
  return {static_cast<uint16_t>((n - 17u) & 1u), n < 19 ? kSubInputLowBit : kSubInputHighBit};
}
// Output n of 15-20: terminal 4, 5 or 6 of chip axis (n - 15) & 1.
inline constexpr ChipSource ChipOutput(uint16_t n) {
  return {static_cast<uint16_t>((n - 15u) & 1u), 4u + (n - 15u) / 2u};
}

static_assert(OutputPortBit(1) == 0 && OutputPortBit(12) == 11 && OutputPortBit(13) == 14 && OutputPortBit(14) == 15);
static_assert(ChipOutput(16).chip_axis == 1 && ChipOutput(16).index == 4 && ChipOutput(19).index == 6);

}  // namespace kpx::io
