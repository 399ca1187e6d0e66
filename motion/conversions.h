// Conversions of computed doubles into register and pulse values.
//
// Every speed or time quotient reaches a register by truncation toward zero.
// A quotient that is not finite (a zero time span, NaN or infinite input) or
// that does not fit the integer type becomes the most negative value of that
// type; the clamp that normally follows then raises it to the register's
// lower bound. Casting such a double directly would be undefined behaviour,
// so every conversion of a computed double goes through these helpers.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace kpx::motion {

// Truncates toward zero into a signed 32-bit value; not finite or out of
// range gives -2147483648.
inline int32_t Trunc32(double v) {
  const double t = std::trunc(v);
  // The comparisons are false for NaN, so NaN falls through to the fallback.
  if (t >= -2147483648.0 && t <= 2147483647.0) return static_cast<int32_t>(t);
  return std::numeric_limits<int32_t>::min();
}

// Truncates toward zero into a signed 64-bit value; not finite or out of
// range gives -9223372036854775808 (whose low 16 and 32 bits are zero).
inline int64_t Trunc64(double v) {
  const double t = std::trunc(v);
  // 2^63 itself is out of range; every double below it converts exactly.
  if (t >= -9223372036854775808.0 && t < 9223372036854775808.0) return static_cast<int64_t>(t);
  return std::numeric_limits<int64_t>::min();
}

inline uint16_t Low16(int64_t v) { return static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu); }
inline uint32_t Low32(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu); }

}  // namespace kpx::motion
