#include "motion/ramp_down.h"

#include <cmath>

#include "motion/conversions.h"

namespace kpx::motion {

namespace {

// The chip's speed unit is 1200 / (M + 1) pulses/s and its ramp clock
// 19660800 Hz; 19660800 / 1200 = 16384.
inline constexpr double kInvRampScale = 1.0 / 16384.0;

// The common end of both computations: fit both ramps into the move, then cap.
void FitAndCap(AxisProfile &p, double n, double accel_distance) {
  if (accel_distance + static_cast<double>(p.ramp_down_point) > n) {
    const double share = n * (p.decel_rate + 1.0) / (p.accel_rate + p.decel_rate + 2.0);
    p.ramp_down_point = Low32(Trunc64(share));
  }
  if (p.ramp_down_point > kRampDownPointMax) p.ramp_down_point = kRampDownPointMax;
}

// Distance of one S ramp with section s and rate r. A section of 0 makes the
// ramp S-shaped throughout, which doubles its length over a straight ramp.
double SRampDistance(const AxisProfile &p, uint16_t s, uint16_t r) {
  const int32_t fl = p.start_speed;
  const int32_t fh = p.max_speed;
  int32_t w;
  double f;
  if (s == 0) {
    w = fh - fl;
    f = (fl + fh) * 2.0 * kInvRampScale;
  } else {
    w = fh - fl + 2 * s;
    f = (fl + fh) * kInvRampScale;
  }
  return w * f * (r + 1.0) / (p.magnification + 1.0);
}

}  // namespace

void ComputeRampDownPoint(AxisProfile &p, int32_t distance) {
  const double n = std::fabs(static_cast<double>(distance));
  const int32_t sum = p.start_speed + p.max_speed;
  const int32_t diff = p.max_speed - p.start_speed;
  const double a = (sum * kInvRampScale) * diff;
  p.ramp_down_point = Low32(Trunc64((p.decel_rate + 1.0) * a / (p.magnification + 1.0)));
  const double accel_distance = (p.accel_rate + 1.0) * a / (p.magnification + 1.0);
  FitAndCap(p, n, accel_distance);
}

void ComputeSRampDownPoint(AxisProfile &p, int32_t distance) {
  const double n = std::fabs(static_cast<double>(distance));
  p.ramp_down_point = Low32(Trunc64(SRampDistance(p, p.s_decel_section, p.decel_rate)));
  const double accel_distance = SRampDistance(p, p.s_accel_section, p.accel_rate);
  FitAndCap(p, n, accel_distance);
}

}  // namespace kpx::motion
