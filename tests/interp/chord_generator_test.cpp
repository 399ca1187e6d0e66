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
  // Clockwise: the other half, and a full turn when the end is the start.
  EXPECT_EQ(PlanArc(20000, 0, 10000, 0, kClockwise).chords, 1110);
  EXPECT_EQ(PlanArc(0, 0, 10000, 0, kClockwise).chords, 2221);
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
