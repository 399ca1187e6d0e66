#include "motion/speed_range.h"

namespace kpx::motion {

const SpeedRange kSpeedRangeTable[kSpeedRangeRows] = {
    {16383.0, 1199, 1},    //
    {163830.0, 119, 10},   //
    {819150.0, 23, 50},    //
    {3276600.0, 5, 200},   //
    {6553200.0, 2, 400},   //
    {9829800.0, 1, 600},   //
};

int32_t LookupSpeedRange(double max_speed, uint16_t *code, uint16_t *unit) {
  if (max_speed < 0) return kRangeBelowZero;
  for (const SpeedRange &row : kSpeedRangeTable) {
    if (max_speed <= row.bound) {
      if (code != nullptr) *code = row.code;
      if (unit != nullptr) *unit = row.unit;
      return kRangeFound;
    }
  }
  return kRangeAboveTable;
}

int32_t ClampToRange(int32_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

}  // namespace kpx::motion
