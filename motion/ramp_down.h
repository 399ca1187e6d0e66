// Where an asymmetric point move must start decelerating.
//
// With a deceleration of its own the chip cannot mirror the acceleration to
// find the braking point, so the library tells it the braking distance: the
// pulses covered while ramping from the maximum down to the start speed.
#pragma once

#include <cstdint>

#include "motion/axis_profile.h"

namespace kpx::motion {

// Largest value the 24-bit ramp-down-point register holds.
inline constexpr uint32_t kRampDownPointMax = 0xFFFFFF;

// Set record.ramp_down_point for a trapezoidal (ComputeRampDownPoint) or
// S-curve (ComputeSRampDownPoint) move over `distance` pulses. The magnitude
// of the distance is taken in double precision, so -2147483648 counts as
// 2147483648 pulses. When both ramps do not fit into the move, the distance
// is split between them in proportion to their rate values plus one.
void ComputeRampDownPoint(AxisProfile &record, int32_t distance);
void ComputeSRampDownPoint(AxisProfile &record, int32_t distance);

}  // namespace kpx::motion
