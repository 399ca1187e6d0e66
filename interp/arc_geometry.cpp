#include "interp/arc_geometry.h"

#include <cmath>

#include "interp/int_math.h"

namespace kpx::interp {
namespace {

double Atan2(double y, double x) { return Rounded(std::atan2(y, x)); }

}  // namespace

ArcPlan PlanArc(int32_t target_x, int32_t target_y, int32_t centre_x, int32_t centre_y, uint16_t direction,
                double y_scale) {
  ArcPlan plan;
  plan.target_x = target_x;
  plan.target_y = target_y;
  plan.centre_x = centre_x;
  plan.centre_y = centre_y;
  plan.direction = direction;
  plan.y_scale = y_scale;

  // Radius in single precision: the x difference of the single-precision
  // coordinates, the y difference formed in whole pulses (and scaled to
  // first-axis pulses) before it is narrowed.
  const float dx = Rounded(static_cast<float>(centre_x) - static_cast<float>(target_x));
  const float dy = Rounded(static_cast<float>(Rounded(static_cast<double>(Sub32(centre_y, target_y)) * y_scale)));
  plan.radius = Rounded(std::sqrt(Rounded(Rounded(dx * dx) + Rounded(dy * dy))));

  // Zero radius (centre on the target) gives a step that is not a number,
  // and so no whole chord below.
  const double r = plan.radius;
  plan.angle_step = Rounded(Rounded(kChordLengthFactor * Rounded(std::sqrt(Rounded(kSagittaPulses * r)))) / r);

  // Angles about the centre: the start point (0, 0) and the target. The
  // start point's offset is negated in whole pulses, so a centre on the x
  // axis gives +0 and a start angle of +pi, not -pi.
  const double a0 = Atan2(Rounded(static_cast<double>(Sub32(0, centre_y)) * y_scale), static_cast<double>(Sub32(0, centre_x)));
  const double a1 = Atan2(Rounded(static_cast<double>(Sub32(target_y, centre_y)) * y_scale),
                          static_cast<double>(Sub32(target_x, centre_x)));
  plan.start_angle = a0;
  if (direction == kClockwise) {
    plan.sweep = Rounded(a0 - a1);
    if (!(a0 > a1)) plan.sweep = Rounded(plan.sweep + kFullTurn);
  } else if (direction == kCounterClockwise) {
    plan.sweep = Rounded(a1 - a0);
    if (!(a1 > a0)) plan.sweep = Rounded(plan.sweep + kFullTurn);
  }
  plan.chords = Trunc32(Rounded(plan.sweep / plan.angle_step));
  return plan;
}

double NextAngle(const ArcPlan &plan, double angle) {
  return Rounded(plan.direction == kClockwise ? angle - plan.angle_step : angle + plan.angle_step);
}

ChordPoint PointAt(const ArcPlan &plan, double angle) {
  const double r = plan.radius;
  const double x = Rounded(r * Rounded(std::cos(angle)));
  const double y = Rounded(Rounded(r * Rounded(std::sin(angle))) / plan.y_scale);
  return {Trunc32(Rounded(plan.centre_x + x)), Trunc32(Rounded(plan.centre_y + y))};
}

}  // namespace kpx::interp
