// The arc's chord geometry and chord speeds, recorded through a sink instead
// of the card: counts, speed sequence, waits and the points on the circle.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "interp/arc_geometry.h"
#include "interp/chord_generator.h"
#include "interp/chord_speed_ramp.h"
#include "interp/line_geometry.h"

namespace kpx::interp {
namespace {

struct Chord {
  int32_t dx, dy;
  double start_speed, max_speed;
  int waits, pauses;  // waits before this chord, and how many of them paused
};

class RecordingSink : public ChordSink {
 public:
  RecordingSink(double start, double max) : start_(start), max_(max) {}
  double VectorStartSpeed() override { return start_; }
  double VectorMaxSpeed() override { return max_; }
  void SetVectorMaxSpeed(double v) override { max_ = v; }
  void SetChordSpeed(double v) override { start_ = max_ = v; }
  void WaitForRoom(bool pause) override {
    ++waits_;
    if (pause) ++pauses_;
  }
  void IssueChord(int32_t dx, int32_t dy) override {
    chords.push_back({dx, dy, start_, max_, waits_, pauses_});
    waits_ = pauses_ = 0;
  }
  std::vector<Chord> chords;
  double start_, max_;

 private:
  int waits_ = 0, pauses_ = 0;
};

TEST(ArcPlan, HalfAndFullTurnOfRadius10000) {
  const ArcPlan half = PlanArc(20000, 0, 10000, 0, kCounterClockwise);
  EXPECT_EQ(half.radius, 10000.0f);
  EXPECT_NEAR(half.angle_step, 0.0028284, 1e-12);
  EXPECT_DOUBLE_EQ(half.start_angle, std::numbers::pi);
  EXPECT_NEAR(half.sweep, 6.283185308 - std::numbers::pi, 1e-12);
  EXPECT_EQ(half.chords, 1110);

  // End point on the start ray: a full turn either way.
  EXPECT_EQ(PlanArc(0, 0, 10000, 0, kCounterClockwise).chords, 2221);
  EXPECT_EQ(PlanArc(0, 0, 10000, 0, kClockwise).chords, 2221);
  // Clockwise to (20000, 0) from (0, 0) about (10000, 0): the other half.
  EXPECT_EQ(PlanArc(20000, 0, 10000, 0, kClockwise).chords, 1110);
  // Only 0 and 1 are directions; centre on the target has no radius.
  EXPECT_EQ(PlanArc(20000, 0, 10000, 0, 2).sweep, 0.0);
  EXPECT_EQ(PlanArc(20000, 0, 10000, 0, 2).chords, 0);
  EXPECT_LT(PlanArc(500, 300, 500, 300, kCounterClockwise).chords, 1);
}

TEST(ArcPlan, RadiusIsTakenFromTheTarget) {
  // Start (0, 0) is 100 from the centre, the target 5 further out: the
  // chords follow the circle through the target.
  const ArcPlan p = PlanArc(205, 0, 100, 0, kCounterClockwise);
  EXPECT_EQ(p.radius, 105.0f);
  EXPECT_EQ(PointAt(p, p.start_angle).x, -5);
}

TEST(ChordSpeeds, StartSpeedAboveTheMaximumRaisesTheMaximum) {
  // (The ramps themselves are checked on the card, from the speed registers.)
  ChordSpeedRamp high(3000, 2000, 100);
  EXPECT_EQ(high.FirstChordMaxSpeed(), 3000);
  EXPECT_EQ(high.Step(), 0);
  EXPECT_EQ(high.Advance(2), 3000);
  EXPECT_EQ(high.LastChordSpeed(), 3000);
  // Above 11 times the start speed the last chord's speed goes negative.
  ChordSpeedRamp steep(100, 5000, 100);
  for (int32_t i = 1; i < 100; ++i) steep.Advance(i);
  EXPECT_DOUBLE_EQ(steep.LastChordSpeed(), 100 - 490);
}

TEST(ChordWaits, OneWaitBeforeEveryChordPausingOnlyBeforeTheLast) {
  const ArcPlan plan = PlanArc(17, -56, 100, 0, kCounterClockwise);
  for (bool pause : {true, false}) {
    RecordingSink sink(1000, 5000);
    RunChords(plan, sink, pause);
    for (size_t i = 0; i < sink.chords.size(); ++i) {
      EXPECT_EQ(sink.chords[i].waits, 1) << i;
      EXPECT_EQ(sink.chords[i].pauses, pause && i + 1 == sink.chords.size() ? 1 : 0) << i;
    }
  }
}

// Walks the chords and checks that each end point is within a pulse of the
// circle on each axis (truncation moves x and y by less than one pulse each,
// y counted in first-axis pulses through y_scale), and that the last chord
// ends exactly on the target.
void ExpectOnCircle(const ArcPlan &plan, const std::vector<Chord> &chords, double cx, double cy, double r,
                    double y_scale) {
  int64_t x = 0, y = 0;
  for (size_t i = 0; i < chords.size(); ++i) {
    x += chords[i].dx;
    y += chords[i].dy;
    const double dist = std::hypot(x - cx, (y - cy) * y_scale);
    EXPECT_NEAR(dist, r, std::hypot(1.0, y_scale)) << "chord " << i + 1;
    // Each chord is about one angle step of arc long (the last up to two).
    EXPECT_LE(std::hypot(chords[i].dx, chords[i].dy * y_scale), 2 * r * plan.angle_step + 2.0 * y_scale);
  }
  EXPECT_EQ(x, plan.target_x);
  EXPECT_EQ(y, plan.target_y);
}

TEST(ChordPoints, OnTheCircleAndEndingExactlyOnTheTarget) {
  for (uint16_t dir : {kClockwise, kCounterClockwise}) {
    SCOPED_TRACE(dir);
    const ArcPlan plan = PlanArc(20000, 0, 10000, 0, dir);
    RecordingSink sink(1000, 5000);
    RunChords(plan, sink, true);
    ExpectOnCircle(plan, sink.chords, 10000, 0, 10000, 1.0);
    // Counter-clockwise from angle pi goes through negative y first.
    EXPECT_EQ(sink.chords[0].dy < 0, dir == kCounterClockwise);
  }
  // Full turn about a centre off the axes, back to the start.
  const ArcPlan full = PlanArc(0, 0, -3000, 4000, kClockwise);
  ASSERT_EQ(full.radius, 5000.0f);
  RecordingSink sink(1000, 5000);
  RunChords(full, sink, true);
  EXPECT_EQ(sink.chords.size(), static_cast<size_t>(full.chords));
  ExpectOnCircle(full, sink.chords, -3000, 4000, 5000, 1.0);
}

TEST(ChordPoints, ScaledSecondAxisFollowsTheSameCircleInUnits) {
  // Two pulses per unit on x, one on y: a circle of 5 units is 10 pulses
  // wide and 5 pulses high.
  const ArcPlan plan = PlanArc(20, 0, 10, 0, kCounterClockwise, 2.0);
  EXPECT_EQ(plan.radius, 10.0f);
  RecordingSink sink(1000, 5000);
  RunChords(plan, sink, false);
  ASSERT_GT(sink.chords.size(), 20u);
  ExpectOnCircle(plan, sink.chords, 10, 0, 10, 2.0);
  int32_t lowest = 0;
  int32_t y = 0;
  for (const Chord &c : sink.chords) lowest = std::min(lowest, y += c.dy);
  EXPECT_EQ(lowest, -4);  // trunc(-5 x sin) stays above -5 except exactly at the bottom
}

TEST(LineSplit, PathLengthShareAndLongAxis) {
  const LineSplit l = SplitLine(3000, -4000);
  EXPECT_EQ(l.long_axis_distance, 4000u);
  EXPECT_DOUBLE_EQ(l.path_length, 5000);
  EXPECT_DOUBLE_EQ(l.long_axis_share, 0.8);
  EXPECT_DOUBLE_EQ(SplitLine(0, -700).long_axis_share, 1.0);
  EXPECT_DOUBLE_EQ(SplitLine(700, 0).path_length, 700);
  EXPECT_NEAR(SplitLine(1000, 1000).long_axis_share, 1 / std::sqrt(2.0), 1e-15);
  const LineSplit zero = SplitLine(0, 0);
  EXPECT_EQ(zero.long_axis_distance, 0u);
  EXPECT_EQ(zero.path_length, 1);
  EXPECT_EQ(zero.long_axis_share, 0);
  EXPECT_EQ(SplitLine(INT32_MIN, 5).long_axis_distance, 0x80000000u);
}

}  // namespace
}  // namespace kpx::interp
