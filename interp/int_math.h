// Whole-pulse arithmetic of the interpolated moves.
#pragma once

#include <cmath>
#include <cstdint>

namespace kpx::interp {

// 32-bit signed difference with the register's wrap-around (no undefined
// overflow): what the chip's 32-bit counters would give.
inline int32_t Sub32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// TEMPORARY until the shared conversions land: truncation toward zero into
// 32 bits, with -2147483648 for a value that is not finite or out of range.
inline int32_t Trunc32(double v) {
  if (!std::isfinite(v) || v >= 2147483648.0 || v <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace kpx::interp
