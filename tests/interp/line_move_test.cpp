// Register traffic of the two-axis line on the simulated card: the exact
// order of every access on both axes, the path-speed split, the long-axis
// distance and the operation-mode word.
#include <gtest/gtest.h>

#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class LineMove : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    motion::ClearAllProfiles();  // profile records outlive a test
  }
};

struct AxisAt {
  uint32_t card, chip;
};

// The register writes one axis gets from a line, in order, for a profile of
// the given speed-register values and an operation-mode register that read
// as mode_before.
std::vector<RegisterOp> SpeedAndMode(AxisAt a, uint32_t start, uint32_t max, uint32_t rate, uint32_t mag,
                                     uint32_t mode_before) {
  return {PclWrite16(a.card, a.chip, 0x81, start),
          PclWrite16(a.card, a.chip, 0x82, max),
          PclWrite16(a.card, a.chip, 0x83, rate),
          PclWrite16(a.card, a.chip, 0x84, rate),
          PclWrite16(a.card, a.chip, 0x85, mag),
          PclWrite32(a.card, a.chip, 0x86, 0),
          PclRead(a.card, a.chip, 0xD7, mode_before),
          PclWrite32(a.card, a.chip, 0x87, (mode_before & 0xFBFF5B80u) | 0x63)};
}

std::vector<RegisterOp> ExpectedLine(AxisAt a, int32_t d1, AxisAt b, int32_t d2, uint32_t long_axis, uint32_t start,
                                     uint32_t max, uint32_t rate, uint32_t mode_a, uint32_t mode_b) {
  std::vector<RegisterOp> want = {
      PclWrite32(a.card, a.chip, 0x80, static_cast<uint32_t>(d1)), PclWrite32(a.card, a.chip, 0x88, long_axis),
      PclWrite32(b.card, b.chip, 0x80, static_cast<uint32_t>(d2)), PclWrite32(b.card, b.chip, 0x88, long_axis)};
  for (const auto &op : SpeedAndMode(a, start, max, rate, 1199, mode_a)) want.push_back(op);
  for (const auto &op : SpeedAndMode(b, start, max, rate, 1199, mode_b)) want.push_back(op);
  want.push_back(Command(a.card, a.chip, 0x53));
  want.push_back(Command(b.card, b.chip, 0x53));
  return want;
}

TEST_F(LineMove, ThreeFourFiveLineInExactOrder) {
  OpenCards(1);
  // A deceleration time of its own must not matter: a line ramps down as it ramps up.
  k4160_set_vector_profile(1000, 5000, 0.1, 0.7);
  kpx4160_sim_set_pcl_register(0, 0, 0xD7, 0xFFFFFFFF);
  kpx4160_sim_set_pcl_register(0, 1, 0xD7, 0x00030341);
  kpx4160_sim_trace_clear();
  k4160_t_line2(0, 3000, 1, -4000, 0);
  // L = 5000, k = 0.8: both axes get start 800 and maximum 4000 pulses/s
  // (unit 1), rates trunc(0.1 x 19660800 / (2 x 3200) - 1) = 306; D = 4000.
  EXPECT_EQ(DecodedTrace(), ExpectedLine({0, 0}, 3000, {0, 1}, -4000, 4000, 800, 4000, 306, 0xFFFFFFFF, 0x00030341));
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x87), 0xFBFF5BE3u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x87), 0x00030363u);
}

TEST_F(LineMove, AbsoluteTargetsSubtractTheLogicalPositionsFirst) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 500);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, static_cast<uint32_t>(-200));
  for (uint16_t mode : {uint16_t{1}, uint16_t{0}, uint16_t{2}}) {
    SCOPED_TRACE(mode);
    // A start takes the mode word over into the mode register; begin each
    // round from a cleared one.
    kpx4160_sim_set_pcl_register(0, 0, 0x97, 0);
    kpx4160_sim_set_pcl_register(0, 1, 0x97, 0);
    kpx4160_sim_trace_clear();
    k4160_t_line2(0, 3500, 1, -4200, mode);
    auto want = ExpectedLine({0, 0}, 3000, {0, 1}, -4000, 4000, 800, 4000, 306, 0, 0);
    if (mode == 1) {
      want.insert(want.begin(), {PclRead(0, 0, 0xE3, 500), PclRead(0, 1, 0xE3, static_cast<uint32_t>(-200))});
    } else {
      // Any mode but 1 is relative: the distances go out unchanged.
      want = ExpectedLine({0, 0}, 3500, {0, 1}, -4200, 4200, 768, 3841, 318, 0, 0);
    }
    EXPECT_EQ(DecodedTrace(), want);
  }
}

TEST_F(LineMove, AxesOnDifferentCardsAndInGivenOrder) {
  OpenCards(2);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  // Second axis first: card 1 chip axis 0 is programmed before card 0 chip axis 1.
  k4160_t_line2(2, -4000, 1, 3000, 0);
  EXPECT_EQ(DecodedTrace(), ExpectedLine({1, 0}, -4000, {0, 1}, 3000, 4000, 800, 4000, 306, 0, 0));
}

TEST_F(LineMove, AxisParallelAndZeroLines) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  // One distance 0: the moving axis takes the full path speeds (k = 1);
  // rates trunc(0.1 x 19660800 / 8000 - 1) = 244.
  k4160_t_line2(0, 0, 1, -2500, 0);
  EXPECT_EQ(DecodedTrace(), ExpectedLine({0, 0}, 0, {0, 1}, -2500, 2500, 1000, 5000, 244, 0, 0));
  // No length at all: L = 1, k = 0, speeds 0 become the lowest register
  // values, a flat profile; both axes still get everything and start.
  kpx4160_sim_set_pcl_register(0, 0, 0x97, 0);
  kpx4160_sim_set_pcl_register(0, 1, 0x97, 0);
  kpx4160_sim_trace_clear();
  k4160_t_line2(0, 0, 1, 0, 0);
  EXPECT_EQ(DecodedTrace(), ExpectedLine({0, 0}, 0, {0, 1}, 0, 0, 1, 1, 1, 0, 0));
  const motion::AxisProfile *p = motion::ProfileFor(1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->start_speed, 1);
  EXPECT_EQ(p->max_speed, 1);
}

TEST_F(LineMove, PathSpeedBeyondEveryRangeKeepsTheCachedProfile) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  k4160_set_vector_profile(1000, 20000000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  k4160_t_line2(0, 1000, 1, 0, 0);
  // The records are unchanged, and the line loads what they held.
  EXPECT_EQ(DecodedTrace(), ExpectedLine({0, 0}, 1000, {0, 1}, 0, 1000, 1000, 2000, 982, 0, 0));
}

TEST_F(LineMove, AxisWithoutProfileRecordIsRefusedWhole) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  k4160_t_line2(30, 100, 1, 100, 1);
  k4160_t_line2(0, 100, 31, 100, 1);
  k4160_t_line2(0xFFFF, 100, 0, 100, 0);
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(LineMove, ThreeAndFourAxisLinesDoNothing) {
  OpenCards(1);
  k4160_t_line3();
  k4160_t_line4();
  EXPECT_TRUE(DecodedTrace().empty());
  EXPECT_EQ(reinterpret_cast<void (*)()>(&k4160_t_line3), reinterpret_cast<void (*)()>(&k4160_t_line4));
}

}  // namespace
}  // namespace kpx::test
