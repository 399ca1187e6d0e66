// Geometry of a circular arc cut into chords for the chip's line
// interpolator. The chip draws only straight lines, so an arc becomes a run
// of chords short enough that each one's sagitta (its largest distance from
// the true circle) stays near 0.01 pulse: chord length 2.8284 x sqrt(0.01 r).
//
// Everything here is pure arithmetic; the register traffic of an arc is in
// arc_move.cpp.
#pragma once

#include <cstdint>

namespace kpx::interp {

// Chord length factor: a chord of c = 2.8284 x sqrt(0.01 x r) pulses has a
// sagitta of about c^2 / (8 r) = 0.01 pulse.
inline constexpr double kChordLengthFactor = 2.8284;
inline constexpr double kSagittaPulses = 0.01;
// Added to a sweep that comes out zero or negative: the arc goes the long way
// round, and an end point on the start ray means a full turn.
inline constexpr double kFullTurn = 6.283185308;

// Rounds a value to its type's precision. The x87 unit of 32-bit x86 code
// keeps intermediates in 80-bit registers until the compiler happens to store
// them, and a cast does not force the rounding either: an angle could then
// compare unequal to the same angle computed the same way (a full turn giving
// no chord), and a point exactly 1000 pulses out could truncate to 999. A
// store through a volatile rounds; with SSE arithmetic (64-bit builds, and
// 32-bit ones with -mfpmath=sse) every value is rounded already and this costs
// one store. Each step of the arc arithmetic is rounded in the order the
// expression states, so every build computes the same chords.
template <typename T>
T Rounded(T value) {
  volatile T stored = value;
  return stored;
}

// Arc direction as the caller gives it.
inline constexpr uint16_t kClockwise = 0;         // angle decreasing
inline constexpr uint16_t kCounterClockwise = 1;  // angle increasing

// Everything the chord generator needs, in pulses relative to the start
// point (0, 0). y_scale converts second-axis pulses to first-axis pulses so
// that the circle is round in user units when the two axes have different
// pulse equivalents (1 for an arc given in pulses).
struct ArcPlan {
  int32_t target_x = 0;
  int32_t target_y = 0;
  int32_t centre_x = 0;
  int32_t centre_y = 0;
  uint16_t direction = kClockwise;
  double y_scale = 1.0;
  float radius = 0.0f;     // single precision, as the chord points are derived from it
  double angle_step = 0.0;  // radians per chord
  double start_angle = 0.0;
  double sweep = 0.0;       // radians, 0 for an unknown direction
  int32_t chords = 0;       // whole angle steps in the sweep; below 1 nothing moves
};

// Plans the arc from (0, 0) to target about centre. The radius is the
// distance from the centre to the target, not to the start point.
ArcPlan PlanArc(int32_t target_x, int32_t target_y, int32_t centre_x, int32_t centre_y, uint16_t direction,
                double y_scale = 1.0);

// Angle of the next chord end: one step further in the arc's direction.
double NextAngle(const ArcPlan &plan, double angle);

struct ChordPoint {
  int32_t x;
  int32_t y;
};
// The point of the circle at angle, truncated toward zero to whole pulses.
ChordPoint PointAt(const ArcPlan &plan, double angle);

}  // namespace kpx::interp
