// Circular arcs. The chip interpolates straight lines only, so an arc is cut
// into short chords (arc_geometry.h) and each chord is issued as a two-axis
// line as soon as the one-deep pre-buffer of both axes has room; the chords
// then run back to back while this thread computes the next one. The call
// returns once the last chord is queued, while the last one or two still run.
#include <cmath>
#include <cstdio>

#include "device/pci_device.h"
#include "interp/arc_geometry.h"
#include "interp/chord_generator.h"
#include "interp/int_math.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "units/unit_conversion.h"

namespace kpx::interp {
namespace {

constexpr int32_t kArcIssued = 1;
constexpr int32_t kArcNothingDone = 0;
// Pause between the polls before the last chord of an arc in pulses: the
// thread has nothing left to compute and yields the processor instead.
constexpr uint32_t kLastChordPollPauseMs = 1;
constexpr uint16_t kPrebufferFull = 1;
constexpr uint16_t kAxisDone = 1;
constexpr uint16_t kRelativeLine = 0;

// The chord sink on the card: the vector profile carries each chord's speed
// into k4160_t_line2(), and the pre-buffer is polled through the status reads.
class CardChordSink final : public ChordSink {
 public:
  CardChordSink(uint16_t x_axis, uint16_t y_axis) : x_(x_axis), y_(y_axis) {}

  double VectorStartSpeed() override { return motion::TheVectorProfile().start_speed; }
  double VectorMaxSpeed() override { return motion::TheVectorProfile().max_speed; }
  void SetVectorMaxSpeed(double speed) override { motion::TheVectorProfile().max_speed = speed; }
  void SetChordSpeed(double speed) override {
    motion::TheVectorProfile().start_speed = speed;
    motion::TheVectorProfile().max_speed = speed;
  }

  void WaitForRoom(bool pause) override {
    // Room once neither axis holds a queued move, or once both are idle (a
    // card that is not open reads as idle with an empty pre-buffer).
    for (;;) {
      if (k4160_prebuff_status(x_) != kPrebufferFull && k4160_prebuff_status(y_) != kPrebufferFull) return;
      if (k4160_check_done(x_) == kAxisDone && k4160_check_done(y_) == kAxisDone) return;
      if (pause) device::DevicePause(kLastChordPollPauseMs);
    }
  }

  void IssueChord(int32_t dx, int32_t dy) override { k4160_t_line2(x_, dx, y_, dy, kRelativeLine); }

 private:
  uint16_t x_;
  uint16_t y_;
};

bool HasProfiles(const uint16_t axes[2]) {
  return motion::ProfileFor(axes[0]) != nullptr && motion::ProfileFor(axes[1]) != nullptr;
}

// Reports the chord count, then runs the chords if there is at least one.
int32_t RunArc(const uint16_t axes[2], const ArcPlan &plan, bool pause_before_last) {
  std::printf("Arc Sector = %d \n", plan.chords);
  if (plan.chords < 1) return kArcNothingDone;
  CardChordSink sink(axes[0], axes[1]);
  RunChords(plan, sink, pause_before_last);
  return kArcIssued;
}

}  // namespace
}  // namespace kpx::interp

using namespace kpx;
using namespace kpx::interp;

extern "C" {

int32_t k4160_rel_arc_move(const uint16_t axes[2], const int32_t target[2], const int32_t centre[2], uint16_t dir) {
  if (axes == nullptr || target == nullptr || centre == nullptr || !HasProfiles(axes)) return kArcNothingDone;
  return RunArc(axes, PlanArc(target[0], target[1], centre[0], centre[1], dir), true);
}

int32_t k4160_arc_move(const uint16_t axes[2], const int32_t target[2], const int32_t centre[2], uint16_t dir) {
  if (axes == nullptr || target == nullptr || centre == nullptr || !HasProfiles(axes)) return kArcNothingDone;
  const int32_t position[2] = {k4160_get_position(axes[0]), k4160_get_position(axes[1])};
  const int32_t rel_target[2] = {Sub32(target[0], position[0]), Sub32(target[1], position[1])};
  const int32_t rel_centre[2] = {Sub32(centre[0], position[0]), Sub32(centre[1], position[1])};
  return k4160_rel_arc_move(axes, rel_target, rel_centre, dir);
}

int32_t k4160_rel_arc_move_unitmm(const uint16_t axes[2], const double target[2], const double centre[2],
                                  uint16_t dir) {
  if (axes == nullptr || target == nullptr || centre == nullptr || !HasProfiles(axes)) return kArcNothingDone;
  double e1 = 0.0;
  double e2 = 0.0;
  k4160_get_equiv(axes[0], &e1);
  k4160_get_equiv(axes[1], &e2);
  // The arc is planned in first-axis pulses: second-axis pulses are scaled
  // by e1 / e2, so the circle is round in user units.
  const ArcPlan plan = PlanArc(units::UnitsToPulses(target[0], e1), units::UnitsToPulses(target[1], e2),
                               units::UnitsToPulses(centre[0], e1), units::UnitsToPulses(centre[1], e2), dir, e1 / e2);
  return RunArc(axes, plan, false);
}

int32_t k4160_arc_move_unitmm(const uint16_t axes[2], const double target[2], const double centre[2], uint16_t dir) {
  if (axes == nullptr || target == nullptr || centre == nullptr || !HasProfiles(axes)) return kArcNothingDone;
  double position[2] = {0.0, 0.0};
  k4160_get_position_unitmm(axes[0], &position[0]);
  k4160_get_position_unitmm(axes[1], &position[1]);
  const double rel_target[2] = {target[0] - position[0], target[1] - position[1]};
  const double rel_centre[2] = {centre[0] - position[0], centre[1] - position[1]};
  return k4160_rel_arc_move_unitmm(axes, rel_target, rel_centre, dir);
}

int32_t Arc_xy(uint16_t card, double x, double y, double angle) {
  // Axes 2 x card and 2 x card + 1, computed wide so that a large card
  // number cannot wrap round to a real axis.
  const uint32_t x_axis = 2u * card;
  if (x_axis + 1 >= motion::kAxisProfileCount) return kArcNothingDone;
  const uint16_t axes[2] = {static_cast<uint16_t>(x_axis), static_cast<uint16_t>(x_axis + 1)};
  const uint16_t dir = angle > 0 ? kCounterClockwise : kClockwise;  // 0 and NaN: clockwise

  const int32_t p0 = k4160_get_position(axes[0]);
  const int32_t p1 = k4160_get_position(axes[1]);
  const int32_t centre[2] = {Sub32(Trunc32(x), p0), Sub32(Trunc32(y), p1)};
  const double cx = centre[0];
  const double cy = centre[1];
  // Rounded step by step as in arc_geometry.h, so 32-bit x87 code finds the
  // same end point.
  const double r = Rounded(std::sqrt(Rounded(Rounded(cx * cx) + Rounded(cy * cy))));
  // The start point seen from the centre, negated in whole pulses (a centre
  // on the x axis gives +0, not -0, and so a start angle of +pi).
  const double a = Rounded(
      Rounded(std::atan2(static_cast<double>(Sub32(0, centre[1])), static_cast<double>(Sub32(0, centre[0])))) + angle);
  const int32_t target[2] = {Trunc32(Rounded(cx + Rounded(r * Rounded(std::cos(a))))),
                             Trunc32(Rounded(cy + Rounded(r * Rounded(std::sin(a)))))};
  return k4160_rel_arc_move(axes, target, centre, dir);
}

}  // extern "C"
