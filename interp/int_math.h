// Whole-pulse arithmetic of the interpolated moves.
#pragma once

#include <cstdint>

#include "motion/conversions.h"

namespace kpx::interp {

// 32-bit signed difference with the register's wrap-around (no undefined
// overflow): what the chip's 32-bit counters would give.
inline int32_t Sub32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Computed doubles reach pulses by truncation toward zero (not finite or
// out of range: -2147483648).
using motion::Trunc32;

}  // namespace kpx::interp
