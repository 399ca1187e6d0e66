// Exported speed-range and profile setters.
#include <cstdint>

#include "core/registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/conversions.h"
#include "motion/profile_compute.h"
#include "motion/speed_range.h"

using namespace kpx::motion;
using kpx::core::CardOf;
using kpx::core::ChipAxisOf;

namespace {

// The fastest fixed range the chip can run: 16384 counts of the 400 pulses/s
// unit.
inline constexpr double kFixedMaxSpeedCap = 6553600.0;
// Below this a deceleration time counts as "not given" for k4160_set_profile.
inline constexpr double kMinDecelTime = 0.0001;

// The shared guard of both fixed-range functions. A NaN speed is refused like
// a speed below 1.
bool FixedRangeArgumentsValid(uint16_t mode, double speed) { return speed >= 1.0 && mode <= 1; }

}  // namespace

extern "C" {

void k4160_variety_speed_range(uint16_t axis, uint16_t mode, double speed) {
  AxisProfile *p = ProfileFor(axis);
  if (p == nullptr || !FixedRangeArgumentsValid(mode, speed)) return;
  p->range_mode = mode != 0 ? 1 : 0;
  if (mode == 0) return;  // the fixed-range values stay but are no longer used
  p->fixed_max_speed = speed > kFixedMaxSpeedCap ? kFixedMaxSpeedCap : speed;
  // The table is searched with the speed before the cap, so speeds between
  // 6553200 and 9829800 fix the coarsest range (code 1, unit 600).
  uint16_t code = 0;
  uint16_t unit = 0;
  if (LookupSpeedRange(speed, &code, &unit) == kRangeFound) {
    p->magnification = code;
    p->speed_unit = unit;
    p->fixed_speed_unit = unit;
  }
  // No register write: the magnification reaches the chip with the next profile.
}

void k4160_set_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time) {
  if (ProfileFor(axis) == nullptr) return;
  if (decel_time < kMinDecelTime) decel_time = accel_time;
  ComputeTrapezoidProfile(CardOf(axis), ChipAxisOf(axis), start_speed, max_speed, accel_time, decel_time);
  // Written even when the computation refused the speed: the chip then gets
  // the values cached before.
  WriteProfileRegisters(CardOf(axis), ChipAxisOf(axis));
}

void k4160_set_s_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time,
                         int32_t s_accel_speed, int32_t s_decel_speed) {
  if (ProfileFor(axis) == nullptr) return;
  ComputeSProfile(CardOf(axis), ChipAxisOf(axis), start_speed, max_speed, accel_time, decel_time, s_accel_speed,
                  s_decel_speed);
  WriteSProfileRegisters(CardOf(axis), ChipAxisOf(axis));
}

void k4160_set_st_profile(uint16_t axis, double start_speed, double max_speed, double accel_time, double decel_time,
                          double s_accel_time, double s_decel_time) {
  if (ProfileFor(axis) == nullptr) return;
  ComputeSTimeProfile(CardOf(axis), ChipAxisOf(axis), start_speed, max_speed, accel_time, decel_time, s_accel_time,
                      s_decel_time);
  WriteSProfileRegisters(CardOf(axis), ChipAxisOf(axis));
}

void k4160_set_vector_profile(double start_speed, double max_speed, double accel_time, double decel_time) {
  VectorProfile &v = TheVectorProfile();
  v.start_speed = start_speed;
  v.max_speed = max_speed;
  v.accel_time = accel_time;
  v.decel_time = decel_time;
}

}  // extern "C"

// The older fixed-range computation, kept for programs that still call it.
// Its unit is the fixed maximum over 16384 plus one, in general not a whole
// number, and its magnification follows from that unit instead of the table.
void k4160_variety_speed_range_org(unsigned short axis, unsigned short mode, double speed) {
  AxisProfile *p = ProfileFor(axis);
  if (p == nullptr || !FixedRangeArgumentsValid(mode, speed)) return;
  p->range_mode = mode == 1 ? 1 : 0;
  if (mode == 0) return;
  p->fixed_max_speed = speed > kFixedMaxSpeedCap ? kFixedMaxSpeedCap : speed;
  const double unit = Trunc32(p->fixed_max_speed) * (1.0 / 16384.0) + 1.0;
  p->speed_unit = unit;
  p->fixed_speed_unit = unit;
  uint16_t code = Low16(Trunc64(19660800.0 / (unit * 16384.0) - 1.0));
  if (code == 0) code = 1;
  p->magnification = code;
}
