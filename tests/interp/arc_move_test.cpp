// Arcs: the chords read back from the register trace of the simulated card
// (distances and speed registers each chord loaded), the line printed on
// standard output and the vector profile left behind; and the chord plan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>

#include "interp/arc_geometry.h"
#include "interp/chord_speed_ramp.h"
#include "interp/interp_fixture.h"
#include "interp/line_geometry.h"

namespace kpx::test {
namespace {

struct TracedChord {
  int32_t dx = 0, dy = 0;
  uint32_t long_axis = 0;
  uint32_t start_reg = 0, max_reg = 0, rate_reg = 0;  // x axis speed registers (unit 1 pulse/s)
};

// Chords of an arc on chip axes 0 (x) and 1 (y) of card 0, in order.
std::vector<TracedChord> TracedChords() {
  std::vector<TracedChord> chords;
  for (const RegisterOp &op : Only(DecodedTrace(), Op::kPclWrite)) {
    if (op.card != 0) continue;
    if (op.chip_axis == 0 && op.code == 0x80) chords.push_back({});
    if (chords.empty()) continue;
    TracedChord &c = chords.back();
    if (op.code == 0x80) (op.chip_axis == 0 ? c.dx : c.dy) = static_cast<int32_t>(op.value);
    if (op.chip_axis == 0 && op.code == 0x88) c.long_axis = op.value;
    if (op.chip_axis == 0 && op.code == 0x81) c.start_reg = op.value;
    if (op.chip_axis == 0 && op.code == 0x82) c.max_reg = op.value;
    if (op.chip_axis == 0 && op.code == 0x83) c.rate_reg = op.value;
  }
  return chords;
}

// The x-axis speed register holds trunc(k x V) for the x axis's share k of
// the path, so the path speed V lies in (register / k, (register + 1) / k].
void ExpectChordSpeed(const TracedChord &c, uint32_t reg, double want) {
  if (c.dx == 0 && c.dy == 0) return;  // no length: no share
  const double k = std::max(std::abs(c.dx), std::abs(c.dy)) / std::hypot(c.dx, c.dy);
  EXPECT_LE(reg / k, want + 1e-9);
  EXPECT_GT((reg + 1) / k, want - 1e-9);
}

// Every chord end lies on the circle (in units of xs x-pulses and one
// y-pulse, within the truncation to whole pulses), each chord's long-axis
// distance is its longer component, the last ends on the target (in pulses),
// and the first turns the way asked (dir 1: counter-clockwise).
void ExpectArc(const std::vector<TracedChord> &chords, double cx, double cy, double r, int32_t tx, int32_t ty, int dir,
               double xs) {
  ASSERT_FALSE(chords.empty());
  int64_t x = 0, y = 0;
  for (size_t i = 0; i < chords.size(); ++i) {
    x += chords[i].dx;
    y += chords[i].dy;
    EXPECT_NEAR(std::hypot(x / xs - cx, y - cy), r, std::hypot(1 / xs, 1)) << "chord " << i + 1;
    EXPECT_EQ(chords[i].long_axis, static_cast<uint32_t>(std::max(std::abs(chords[i].dx), std::abs(chords[i].dy))));
  }
  EXPECT_EQ(x, tx);
  EXPECT_EQ(y, ty);
  const auto first = std::find_if(chords.begin(), chords.end(), [](const TracedChord &c) { return c.dx || c.dy; });
  EXPECT_GT(dir * (-cx * xs * first->dy + cy * first->dx), 0) << "turns the wrong way";
}

int32_t Printed(std::string *out, const std::function<int32_t()> &call) {
  testing::internal::CaptureStdout();
  const int32_t r = call();
  *out = testing::internal::GetCapturedStdout();
  return r;
}

int32_t RelArc(int32_t tx, int32_t ty, int32_t cx, int32_t cy, uint16_t dir, bool absolute = false) {
  const uint16_t axes[2] = {0, 1};
  const int32_t target[2] = {tx, ty}, centre[2] = {cx, cy};
  return absolute ? k4160_arc_move(axes, target, centre, dir) : k4160_rel_arc_move(axes, target, centre, dir);
}

class ArcMove : public InterpTest {
 protected:
  // Lets the arc before end and puts the logical positions where the next one needs them.
  void RestAt(int32_t x, int32_t y) {
    for (int i = 0; i < 1000000 && !(k4160_check_done(0) && k4160_check_done(1)); ++i) {
    }
    ASSERT_TRUE(k4160_check_done(0) && k4160_check_done(1));
    kpx4160_sim_set_pcl_register(0, 0, 0xA3, static_cast<uint32_t>(x));
    kpx4160_sim_set_pcl_register(0, 1, 0xA3, static_cast<uint32_t>(y));
    k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
    kpx4160_sim_trace_clear();
  }
};

int32_t UnitArc(double tx, double ty, double cx, double cy, bool absolute) {
  const uint16_t axes[2] = {0, 1};
  const double target[2] = {tx, ty}, centre[2] = {cx, cy};
  return absolute ? k4160_arc_move_unitmm(axes, target, centre, 1) : k4160_rel_arc_move_unitmm(axes, target, centre, 1);
}

TEST_F(ArcMove, ChordsOnTheCard) {
  // 20 chords and more climb in ten steps from the vector start speed to
  // 1000 + 9 x 400 and back down; fewer run flat at the start speed.
  const std::vector<double> ramp = {1000, 1400, 1800, 2200, 2600, 3000, 3400, 3800, 4200, 4600,
                                    4600, 4200, 3800, 3400, 3000, 2600, 2200, 1800, 1400, 1000};
  // Unit arcs scale each axis by its own pulse equivalent: 2 on x, 1 on y.
  ASSERT_EQ(k4160_set_equiv(0, 2.0), 1);
  ASSERT_EQ(k4160_set_equiv(1, 1.0), 1);
  struct Case {
    const char *what;
    int32_t x0, y0;  // logical positions before the call (pulses)
    std::function<int32_t()> call;
    size_t chords;     // sweep / (2.8284 x sqrt(r / 100) / r) for r in x pulses, truncated
    double cx, cy, r;  // the circle relative to the start (in units of xs x-pulses)
    int32_t tx, ty;    // the target relative to the start (pulses)
    int dir;
    double xs;
    std::vector<double> speeds;  // path speed of each chord's start register (empty: not pinned)
  } const cases[] = {
    {"half turn", 0, 0, [] { return RelArc(20000, 0, 10000, 0, 1); }, 1110, 10000, 0, 10000, 20000, 0, 1, 1, {}},
    {"absolute", 500, -200, [] { return RelArc(20500, -200, 10500, -200, 1, true); }, 1110, 10000, 0, 10000, 20000, 0,
     1, 1, {}},
    {"19 chords", 0, 0, [] { return RelArc(15, -53, 100, 0, 1); }, 19, 100, 0, std::hypot(85, 53), 15, -53, 1, 1,
     std::vector<double>(19, 1000)},
    {"20 chords", 0, 0, [] { return RelArc(17, -56, 100, 0, 1); }, 20, 100, 0, 100, 17, -56, 1, 1, ramp},
    // The older call: axes 2 x card and 2 x card + 1, absolute centre, the end point computed.
    {"older call, quarter turn", 0, 0, [] { return Arc_xy(0, 0, 1000, std::numbers::pi / 2); }, 175, 0, 1000, 1000,
     1000, 1000, 1, 1, {}},
    {"older call, end 1000 - 2e-13 truncated", 0, 0, [] { return Arc_xy(0, 1000, 0, std::numbers::pi / 2); }, 175,
     1000, 0, std::hypot(1, 1000), 999, -1000, 1, 1, {}},
    {"older call, centre truncated", 100, 50, [] { return Arc_xy(0, 100.7, 1050.2, std::numbers::pi / 2); }, 175, 0,
     1000, 1000, 1000, 1000, 1, 1, {}},
    {"older call, angle 0: full turn clockwise", 0, 0, [] { return Arc_xy(0, 0, 1000, 0.0); }, 702, 0, 1000, 1000, 0,
     0, -1, 1, {}},
    {"unit arc", 0, 0, [] { return UnitArc(10, 0, 5, 0, false); }, 35, 5, 0, 5, 20, 0, 1, 2, {}},
    {"absolute unit arc", 40, 3, [] { return UnitArc(30, 3, 25, 3, true); }, 35, 5, 0, 5, 20, 0, 1, 2, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    RestAt(c.x0, c.y0);
    std::string out;
    EXPECT_EQ(Printed(&out, c.call), 1);
    const auto chords = TracedChords();
    EXPECT_EQ(out, "Arc Sector = " + std::to_string(chords.size()) + " \n");
    EXPECT_EQ(chords.size(), c.chords);
    ExpectArc(chords, c.cx, c.cy, c.r, c.tx, c.ty, c.dir, c.xs);
    ExpectChordSpeed(chords[0], chords[0].max_reg, chords.size() < 20 ? 1000 : 5000);  // the first chord ramps
    for (size_t i = 1; i < chords.size(); ++i)
      EXPECT_EQ(std::make_pair(chords[i].start_reg, chords[i].rate_reg), std::make_pair(chords[i].max_reg, 1u)) << i;
    for (size_t i = 0; i < c.speeds.size() && i < chords.size(); ++i)
      ExpectChordSpeed(chords[i], chords[i].start_reg, c.speeds[i]);
    // The vector profile is left at the last chord's speed.
    EXPECT_EQ(motion::TheVectorProfile().start_speed, motion::TheVectorProfile().max_speed);
    ExpectChordSpeed(chords.back(), chords.back().start_reg, motion::TheVectorProfile().max_speed);
  }
  // A pre-buffer flag that never clears on axes that read as stopped must not hang the chord feeder.
  RestAt(0, 0);
  kpx4160_sim_set_main_status(0, 0, 0x4000);
  kpx4160_sim_set_main_status(0, 1, 0x4000);
  std::string out;
  EXPECT_EQ(Printed(&out, [] { return RelArc(17, -56, 100, 0, 1); }), 1);
  EXPECT_EQ(TracedChords().size(), 20u);
}

TEST_F(ArcMove, ArcsWithoutAWholeChordOrOnAxesWithoutRecordsDoNothing) {
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  const uint16_t bad[2][2] = {{30, 1}, {0, 31}};
  const int32_t target[2] = {20000, 0}, centre[2] = {10000, 0};
  const double utarget[2] = {20000, 0}, ucentre[2] = {10000, 0};
  struct Case {
    const char *what;
    std::function<int32_t()> call;
    const char *printed;  // nullptr: "Arc Sector = " and any count
  } const cases[] = {
    {"direction 2", [] { return RelArc(20000, 0, 10000, 0, 2); }, "Arc Sector = 0 \n"},
    {"centre on the target: no radius", [] { return RelArc(700, 700, 700, 700, 1); }, nullptr},
    {"shorter than one angle step", [] { return RelArc(0, -1, 10000, 0, 1); }, "Arc Sector = 0 \n"},
    {"axis 30", [&] { return k4160_rel_arc_move(bad[0], target, centre, 1); }, ""},
    {"axis 31, absolute", [&] { return k4160_arc_move(bad[1], target, centre, 1); }, ""},
    {"axis 30, units", [&] { return k4160_rel_arc_move_unitmm(bad[0], utarget, ucentre, 1); }, ""},
    {"axis 31, absolute units", [&] { return k4160_arc_move_unitmm(bad[1], utarget, ucentre, 1); }, ""},
    {"no axes", [&] { return k4160_rel_arc_move(nullptr, target, centre, 1); }, ""},
    {"no target", [&] { return k4160_arc_move(bad[0], nullptr, centre, 1); }, ""},
    {"no centre", [&] { return k4160_rel_arc_move_unitmm(bad[0], utarget, nullptr, 1); }, ""},
    {"older call, card 15", [] { return Arc_xy(15, 0, 1000, 1.0); }, ""},
    {"older call, card 0x8000 (2 x card wraps to axis 0 in 16 bits)", [] { return Arc_xy(0x8000, 0, 1000, 1.0); }, ""},
  };
  kpx4160_sim_trace_clear();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    EXPECT_EQ(Printed(&out, c.call), 0);
    EXPECT_EQ(c.printed ? out : out.substr(0, 13), c.printed ? c.printed : "Arc Sector = ");
  }
  EXPECT_TRUE(DecodedTrace().empty());
  EXPECT_EQ(motion::TheVectorProfile().start_speed, 1000);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 5000);
  // Card 14 is the last whose axes (28 and 29) have records: no card there, but the arc is planned.
  std::string out;
  EXPECT_EQ(Printed(&out, [] { return Arc_xy(14, 0, 1000, 0.5); }), 1);
}

using interp::ArcPlan;
using interp::PlanArc;

// The chord plan on its own: chords of 2.8284 x sqrt(r / 100) pulses, an angle
// step of 0.0028284 at r = 10000 about the centre (10000, 0), in either direction.
TEST(ArcPlan, ChordCountsFollowTheDirection) {
  struct Case {
    int32_t tx, ty;
    uint16_t dir;
    int32_t chords;
  } const cases[] = {{20000, 0, interp::kClockwise, 1110}, {10000, 10000, interp::kCounterClockwise, 1666},
                     {10000, 10000, interp::kClockwise, 555}, {0, 0, interp::kClockwise, 2221}};
  for (const Case &c : cases) EXPECT_EQ(interp::PlanArc(c.tx, c.ty, 10000, 0, c.dir).chords, c.chords) << c.tx << " " << c.dir;
  // The radius is the target's: the start (0, 0) lies 5 inside that circle.
  const interp::ArcPlan p = interp::PlanArc(205, 0, 100, 0, interp::kCounterClockwise);
  EXPECT_EQ(p.radius, 105.0f);
  EXPECT_EQ(interp::PointAt(p, p.start_angle).x, -5);
  EXPECT_EQ(interp::SplitLine(INT32_MIN, 5).long_axis_distance, 0x80000000u);
  // A start speed above the maximum raises the maximum: the chords run flat.
  interp::ChordSpeedRamp high(3000, 2000, 100);
  EXPECT_EQ(high.FirstChordMaxSpeed(), 3000);
  EXPECT_EQ(high.Advance(2), 3000);
}

}  // namespace
}  // namespace kpx::test
