// Speed ranges of the pulse-generator chip.
//
// A speed register holds a whole number of speed units, 1..16383; the size of
// one unit is set per axis by the magnification code: 1200 / (code + 1)
// pulses per second. A profile's maximum speed must fit 16383 units, so the
// range is chosen as the finest unit whose bound covers that speed.
#pragma once

#include <cstdint>

namespace kpx::motion {

struct SpeedRange {
  double bound;        // highest maximum speed the row covers (pulses/s, inclusive)
  uint16_t code;       // magnification code written to the chip
  uint16_t unit;       // pulses/s per speed-register count, 1200 / (code + 1)
};

inline constexpr uint16_t kSpeedRangeRows = 6;
// Searched in order; each bound is 16383 units of its row.
extern const SpeedRange kSpeedRangeTable[kSpeedRangeRows];

// Result of LookupSpeedRange.
inline constexpr int32_t kRangeFound = 0;
inline constexpr int32_t kRangeBelowZero = -1;
inline constexpr int32_t kRangeAboveTable = -2;

// Picks the first row whose bound is at least `max_speed`. Returns
// kRangeFound and fills code and unit, kRangeBelowZero for a negative speed,
// kRangeAboveTable above the last bound (NaN included); code and unit are left
// untouched on failure.
int32_t LookupSpeedRange(double max_speed, uint16_t *code, uint16_t *unit);

// low if value < low, otherwise high if value > high, otherwise value.
int32_t ClampToRange(int32_t value, int32_t low, int32_t high);

}  // namespace kpx::motion
