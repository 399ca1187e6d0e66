// Arcs on the simulated card: chords read back from the register trace (the
// distances and speed registers each chord actually loaded), the line on
// standard output, the pre-buffer waits and the vector profile left behind.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "motion/axis_profile.h"
#include "sim/sim_bus.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

struct TracedChord {
  int32_t dx = 0, dy = 0;
  uint32_t long_axis = 0;
  uint32_t start_reg = 0, max_reg = 0, rate_reg = 0;  // x axis speed registers (unit 1 pulse/s)
  int status_reads_before = 0;                       // main-status reads since the chord before
};

// Chords of an arc on chip axes 0 (x) and 1 (y) of card 0, in order.
std::vector<TracedChord> TracedChords() {
  std::vector<TracedChord> chords;
  int reads = 0;
  for (const RegisterOp &op : DecodedTrace()) {
    if (op.op == Op::kMainStatus) ++reads;
    if (op.op != Op::kPclWrite || op.card != 0) continue;
    if (op.chip_axis == 0 && op.code == 0x80) {
      chords.push_back({});
      chords.back().dx = static_cast<int32_t>(op.value);
      chords.back().status_reads_before = reads;
      reads = 0;
    }
    if (chords.empty()) continue;
    TracedChord &c = chords.back();
    if (op.chip_axis == 1 && op.code == 0x80) c.dy = static_cast<int32_t>(op.value);
    if (op.chip_axis == 0 && op.code == 0x88) c.long_axis = op.value;
    if (op.chip_axis == 0 && op.code == 0x81) c.start_reg = op.value;
    if (op.chip_axis == 0 && op.code == 0x82) c.max_reg = op.value;
    if (op.chip_axis == 0 && op.code == 0x83) c.rate_reg = op.value;
  }
  return chords;
}

size_t StartCount(uint32_t chip_axis) {
  size_t n = 0;
  for (const RegisterOp &op : Only(DecodedTrace(), Op::kCommand))
    if (op.card == 0 && op.chip_axis == chip_axis && op.code == 0x53) ++n;
  return n;
}

uint32_t Overruns(unsigned chip_axis) {
  sim::SimBus &bus = sim::Bus();
  std::lock_guard lock(bus.mutex);
  return bus.Slot(0)->card.chip[chip_axis].motion.Overruns();
}

// The path speed a chord's x-axis speed register stands for: the register
// holds trunc(k x V) for the x axis's share k of the path, so V lies in
// (register / k, (register + 1) / k].
void ExpectChordSpeed(const TracedChord &c, uint32_t reg, double want) {
  const double k = std::max(std::abs(c.dx), std::abs(c.dy)) / std::hypot(c.dx, c.dy);
  EXPECT_LE(reg / k, want + 1e-9);
  EXPECT_GT((reg + 1) / k, want - 1e-9);
}

void ExpectEndsOnCircle(const std::vector<TracedChord> &chords, double cx, double cy, double r, int32_t tx,
                        int32_t ty) {
  int64_t x = 0, y = 0;
  for (size_t i = 0; i < chords.size(); ++i) {
    x += chords[i].dx;
    y += chords[i].dy;
    EXPECT_NEAR(std::hypot(x - cx, y - cy), r, std::sqrt(2.0)) << "chord " << i + 1;
    EXPECT_EQ(chords[i].long_axis, static_cast<uint32_t>(std::max(std::abs(chords[i].dx), std::abs(chords[i].dy))));
  }
  EXPECT_EQ(x, tx);
  EXPECT_EQ(y, ty);
}

class ArcMove : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    // The chord waits poll the pre-buffer for seconds of simulated motion:
    // a coarse poll step keeps a whole turn's trace small and quick.
    kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kArcPollStep);
    motion::ClearAllProfiles();  // profile records outlive a test
  }
  static constexpr double kArcPollStep = 200e-6;
  void OpenWithDefaults() {
    OpenCards(1);
    k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
    kpx4160_sim_trace_clear();
  }
  int32_t RelArc(int32_t tx, int32_t ty, int32_t cx, int32_t cy, uint16_t dir, std::string *out) {
    const uint16_t axes[2] = {0, 1};
    const int32_t target[2] = {tx, ty};
    const int32_t centre[2] = {cx, cy};
    testing::internal::CaptureStdout();
    const int32_t result = k4160_rel_arc_move(axes, target, centre, dir);
    *out = testing::internal::GetCapturedStdout();
    return result;
  }
};

TEST_F(ArcMove, HalfTurnOf1110ChordsWithItsSpeedRamp) {
  OpenWithDefaults();
  std::string out;
  EXPECT_EQ(RelArc(20000, 0, 10000, 0, 1, &out), 1);
  EXPECT_EQ(out, "Arc Sector = 1110 \n");
  const auto chords = TracedChords();
  ASSERT_EQ(chords.size(), 1110u);
  EXPECT_EQ(StartCount(0), 1110u);
  EXPECT_EQ(StartCount(1), 1110u);
  ExpectEndsOnCircle(chords, 10000, 0, 10000, 20000, 0);
  // Counter-clockwise from angle pi: down through negative y.
  EXPECT_LT(chords[0].dy, 0);

  // Chord 1 ramps from the vector start to the vector maximum speed.
  ExpectChordSpeed(chords[0], chords[0].start_reg, 1000);
  ExpectChordSpeed(chords[0], chords[0].max_reg, 5000);
  for (int i = 2; i <= 1110; ++i) {
    SCOPED_TRACE(i);
    const TracedChord &c = chords[i - 1];
    double want;
    if (i <= 10) want = 1000 + 400.0 * (i - 1);
    else if (i <= 1100) want = 4600;
    else if (i <= 1109) want = 1000 + 400.0 * (1109 - i);
    else want = 600;
    // From chord 2 on, each chord runs flat at its speed.
    EXPECT_EQ(c.start_reg, c.max_reg);
    EXPECT_EQ(c.rate_reg, 1u);
    ExpectChordSpeed(c, c.start_reg, want);
  }
  EXPECT_EQ(motion::TheVectorProfile().start_speed, 600);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 600);
}

TEST_F(ArcMove, EveryChordWaitsForRoomInThePrebuffer) {
  OpenWithDefaults();
  std::string out;
  ASSERT_EQ(RelArc(20000, 0, 10000, 0, 0, &out), 1);
  // The simulated chip counts a start that finds its pre-buffer full.
  EXPECT_EQ(Overruns(0), 0u);
  EXPECT_EQ(Overruns(1), 0u);
  const auto chords = TracedChords();
  ASSERT_EQ(chords.size(), 1110u);
  // Chords issued while the chord before still waits in the pre-buffer make
  // the feeder poll more than the one read per axis of a free buffer.
  int polled_more = 0;
  for (size_t i = 1; i < chords.size(); ++i) {
    EXPECT_GE(chords[i].status_reads_before, 2) << i;
    if (chords[i].status_reads_before > 2) ++polled_more;
  }
  EXPECT_GT(polled_more, 300);
  ExpectEndsOnCircle(chords, 10000, 0, 10000, 20000, 0);
}

TEST_F(ArcMove, StuckPrebufferFlagOnIdleAxesDoesNotHang) {
  OpenWithDefaults();
  // Bit 14 set by the test never clears, but both axes read as stopped.
  kpx4160_sim_set_main_status(0, 0, 0x4000);
  kpx4160_sim_set_main_status(0, 1, 0x4000);
  std::string out;
  EXPECT_EQ(RelArc(17, -56, 100, 0, 1, &out), 1);
  EXPECT_EQ(TracedChords().size(), 20u);
}

TEST_F(ArcMove, FullTurnWhenTheTargetIsTheStart) {
  OpenWithDefaults();
  std::string out;
  EXPECT_EQ(RelArc(0, 0, 10000, 0, 1, &out), 1);
  EXPECT_EQ(out, "Arc Sector = 2221 \n");
  const auto chords = TracedChords();
  ASSERT_EQ(chords.size(), 2221u);
  ExpectEndsOnCircle(chords, 10000, 0, 10000, 0, 0);
}

TEST_F(ArcMove, NineteenChordsRunFlatTwentyRampUpAndDown) {
  OpenWithDefaults();
  std::string out;
  ASSERT_EQ(RelArc(15, -53, 100, 0, 1, &out), 1);
  EXPECT_EQ(out, "Arc Sector = 19 \n");
  auto chords = TracedChords();
  ASSERT_EQ(chords.size(), 19u);
  for (const TracedChord &c : chords) {
    EXPECT_EQ(c.start_reg, c.max_reg);
    ExpectChordSpeed(c, c.start_reg, 1000);
  }
  ExpectEndsOnCircle(chords, 100, 0, std::hypot(85, 53), 15, -53);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 1000);

  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  ASSERT_EQ(RelArc(17, -56, 100, 0, 1, &out), 1);
  EXPECT_EQ(out, "Arc Sector = 20 \n");
  chords = TracedChords();
  ASSERT_EQ(chords.size(), 20u);
  ExpectChordSpeed(chords[0], chords[0].max_reg, 5000);
  const double want[] = {1000, 1400, 1800, 2200, 2600, 3000, 3400, 3800, 4200, 4600,
                         4600, 4200, 3800, 3400, 3000, 2600, 2200, 1800, 1400, 1000};
  for (int i = 1; i < 20; ++i) ExpectChordSpeed(chords[i], chords[i].start_reg, want[i]);
  EXPECT_EQ(motion::TheVectorProfile().start_speed, 1000);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 1000);
}

TEST_F(ArcMove, NoWholeChordMovesNothing) {
  OpenWithDefaults();
  std::string out;
  // Only 0 and 1 are directions.
  EXPECT_EQ(RelArc(20000, 0, 10000, 0, 2, &out), 0);
  EXPECT_EQ(out, "Arc Sector = 0 \n");
  EXPECT_EQ(RelArc(20000, 0, 10000, 0, 0xFFFF, &out), 0);
  EXPECT_EQ(out, "Arc Sector = 0 \n");
  // Centre on the target: no radius.
  EXPECT_EQ(RelArc(700, 700, 700, 700, 1, &out), 0);
  EXPECT_EQ(out.rfind("Arc Sector = ", 0), 0u);
  // Shorter than one angle step.
  EXPECT_EQ(RelArc(0, -1, 10000, 0, 1, &out), 0);
  EXPECT_EQ(out, "Arc Sector = 0 \n");
  EXPECT_TRUE(DecodedTrace().empty());
  EXPECT_EQ(motion::TheVectorProfile().start_speed, 1000);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 5000);
}

TEST_F(ArcMove, AbsoluteArcIsTheRelativeArcFromThePositions) {
  OpenWithDefaults();
  std::string out;
  ASSERT_EQ(RelArc(20000, 0, 10000, 0, 1, &out), 1);
  const auto relative = TracedChords();
  while (k4160_check_done(0) == 0 || k4160_check_done(1) == 0) {  // the last chord runs on after the call
  }

  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 500);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, static_cast<uint32_t>(-200));
  kpx4160_sim_trace_clear();
  const uint16_t axes[2] = {0, 1};
  const int32_t target[2] = {20500, -200};
  const int32_t centre[2] = {10500, -200};
  testing::internal::CaptureStdout();
  EXPECT_EQ(k4160_arc_move(axes, target, centre, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Arc Sector = 1110 \n");
  const auto ops = DecodedTrace();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[0], PclRead(0, 0, 0xE3, 500));
  EXPECT_EQ(ops[1], PclRead(0, 1, 0xE3, static_cast<uint32_t>(-200)));
  const auto absolute = TracedChords();
  ASSERT_EQ(absolute.size(), relative.size());
  for (size_t i = 0; i < absolute.size(); ++i) {
    EXPECT_EQ(absolute[i].dx, relative[i].dx) << i;
    EXPECT_EQ(absolute[i].dy, relative[i].dy) << i;
    EXPECT_EQ(absolute[i].start_reg, relative[i].start_reg) << i;
  }
}

int32_t ArcXy(uint16_t card, double x, double y, double angle, std::string *out) {
  testing::internal::CaptureStdout();
  const int32_t r = Arc_xy(card, x, y, angle);
  *out = testing::internal::GetCapturedStdout();
  return r;
}

// Waits (in virtual time) until axes 0 and 1 have ended their moves, then
// puts both logical positions back to 0.
void RestAtOrigin() {
  for (int i = 0; i < 1000000 && !(k4160_check_done(0) && k4160_check_done(1)); ++i) {
  }
  ASSERT_TRUE(k4160_check_done(0) && k4160_check_done(1));
  kpx4160_sim_set_pcl_register(0, 0, 0xA3, 0);
  kpx4160_sim_set_pcl_register(0, 1, 0xA3, 0);
}

TEST_F(ArcMove, OlderArcCallComputesTheEndPoint) {
  OpenWithDefaults();
  std::string out;
  // Quarter turn counter-clockwise about (0, 1000) from (0, 0) to (1000, 1000).
  EXPECT_EQ(ArcXy(0, 0, 1000, std::numbers::pi / 2, &out), 1);
  auto chords = TracedChords();
  EXPECT_EQ(out, "Arc Sector = " + std::to_string(chords.size()) + " \n");
  ASSERT_EQ(chords.size(), 175u);  // (pi / 2) / (2.8284 x sqrt(10) / 1000)
  ExpectEndsOnCircle(chords, 0, 1000, 1000, 1000, 1000);
  EXPECT_GT(chords[0].dx, 0);

  // Centre (1000, 0): the end point is 1000 - 2e-13 in x and truncates to 999.
  // The card ran the first arc: let it end and start from (0, 0) again.
  RestAtOrigin();
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(ArcXy(0, 1000, 0, std::numbers::pi / 2, &out), 1);
  chords = TracedChords();
  ExpectEndsOnCircle(chords, 1000, 0, std::hypot(1, 1000), 999, -1000);

  // Centre given absolutely: from (100, 50) about (100.7, 1050.2) is the first quarter again.
  RestAtOrigin();
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 100);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 50);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(ArcXy(0, 100.7, 1050.2, std::numbers::pi / 2, &out), 1);
  chords = TracedChords();
  ASSERT_EQ(chords.size(), 175u);
  ExpectEndsOnCircle(chords, 0, 1000, 1000, 1000, 1000);
}

TEST_F(ArcMove, OlderArcCallWithNoAngleTurnsFullyClockwise) {
  OpenWithDefaults();
  std::string out;
  EXPECT_EQ(ArcXy(0, 0, 1000, 0.0, &out), 1);
  const auto chords = TracedChords();
  ASSERT_GT(chords.size(), 700u);  // chords[0] is read below
  ExpectEndsOnCircle(chords, 0, 1000, 1000, 0, 0);
  // Clockwise from the bottom of the circle: towards negative x.
  EXPECT_LT(chords[0].dx, 0);
}

TEST_F(ArcMove, ArcsOnAxesWithoutRecordsAreRefused) {
  OpenCards(1);
  const uint16_t bad_axes[2][2] = {{30, 1}, {0, 31}};
  const int32_t target[2] = {20000, 0};
  const int32_t centre[2] = {10000, 0};
  const double utarget[2] = {20000, 0};
  const double ucentre[2] = {10000, 0};
  testing::internal::CaptureStdout();
  for (const auto &axes : bad_axes) {
    EXPECT_EQ(k4160_rel_arc_move(axes, target, centre, 1), 0);
    EXPECT_EQ(k4160_arc_move(axes, target, centre, 1), 0);
    EXPECT_EQ(k4160_rel_arc_move_unitmm(axes, utarget, ucentre, 1), 0);
    EXPECT_EQ(k4160_arc_move_unitmm(axes, utarget, ucentre, 1), 0);
  }
  EXPECT_EQ(k4160_rel_arc_move(nullptr, target, centre, 1), 0);
  EXPECT_EQ(k4160_arc_move(bad_axes[0], nullptr, centre, 1), 0);
  EXPECT_EQ(k4160_rel_arc_move_unitmm(bad_axes[0], utarget, nullptr, 1), 0);
  EXPECT_EQ(Arc_xy(15, 0, 1000, 1.0), 0);
  EXPECT_EQ(Arc_xy(0x8000, 0, 1000, 1.0), 0);  // 2 x card would wrap to axis 0 in 16 bits
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(ArcMove, UnitArcScalesEachAxisByItsEquivalent) {
  OpenWithDefaults();
  // Equal equivalents: the pulse arc of the truncated values.
  ASSERT_EQ(k4160_set_equiv(0, 1.0), 1);
  ASSERT_EQ(k4160_set_equiv(1, 1.0), 1);
  std::string out;
  ASSERT_EQ(RelArc(2000, 0, 1000, 0, 1, &out), 1);
  const auto pulses = TracedChords();
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  const uint16_t axes[2] = {0, 1};
  const double target[2] = {2000.9, 0.7};
  const double centre[2] = {1000.5, -0.3};
  testing::internal::CaptureStdout();
  EXPECT_EQ(k4160_rel_arc_move_unitmm(axes, target, centre, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), out);
  auto units = TracedChords();
  ASSERT_EQ(units.size(), pulses.size());
  for (size_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].dx, pulses[i].dx) << i;
    EXPECT_EQ(units[i].dy, pulses[i].dy) << i;
  }

  // e1 = 2, e2 = 1: a circle of 5 units is 10 pulses on x and 5 on y.
  ASSERT_EQ(k4160_set_equiv(0, 2.0), 1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  const double t2[2] = {10, 0};
  const double c2[2] = {5, 0};
  testing::internal::CaptureStdout();
  EXPECT_EQ(k4160_rel_arc_move_unitmm(axes, t2, c2, 1), 1);
  testing::internal::GetCapturedStdout();
  units = TracedChords();
  ASSERT_GT(units.size(), 20u);
  int64_t x = 0, y = 0, lowest = 0;
  for (const TracedChord &c : units) {
    x += c.dx;
    y += c.dy;
    lowest = std::min(lowest, y);
    // In units: (x / 2 - 5)^2 + y^2 = 25, within the truncation of each axis.
    EXPECT_NEAR(std::hypot(x / 2.0 - 5, static_cast<double>(y)), 5.0, std::hypot(0.5, 1.0));
  }
  EXPECT_EQ(x, 20);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(lowest, -4);

  // Absolute unit arc: the unit positions are subtracted first.
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 40);  // 20 units
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 3);   // 3 units
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  const double t3[2] = {30, 3};
  const double c3[2] = {25, 3};
  testing::internal::CaptureStdout();
  EXPECT_EQ(k4160_arc_move_unitmm(axes, t3, c3, 1), 1);
  testing::internal::GetCapturedStdout();
  const auto absolute = TracedChords();
  ASSERT_EQ(absolute.size(), units.size());
  for (size_t i = 0; i < absolute.size(); ++i) {
    EXPECT_EQ(absolute[i].dx, units[i].dx) << i;
    EXPECT_EQ(absolute[i].dy, units[i].dy) << i;
  }
}

}  // namespace
}  // namespace kpx::test
