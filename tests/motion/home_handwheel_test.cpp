// Home search, its options, and the handwheel move on and off.
#include <gtest/gtest.h>

#include <limits>

#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class HomeHandwheel : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

constexpr uint32_t kMode = 0xFFFFFFFF;  // every bit set: shows exactly what is cleared

TEST_F(HomeHandwheel, HomeSearchSequenceAndEarlyEnds) {
  kpx4160_sim_set_pcl_register(1, 1, 0x97, kMode);
  kpx4160_sim_trace_clear();
  k4160_home_move(3, 2, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0x70, 0), PclRead(1, 1, 0xD7, kMode),
                                                     PclWrite32(1, 1, 0x87, 0xFBFF4B98), Command(1, 1, 0x53)}));
  kpx4160_sim_set_pcl_register(1, 0, 0x97, 0x00000000);
  kpx4160_sim_trace_clear();
  k4160_home_move(2, 1, 0);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0x70, 0), PclRead(1, 0, 0xD7, 0),
                                                     PclWrite32(1, 0, 0x87, 0x10), Command(1, 0, 0x50)}));
  // A direction other than 1 or 2: the latch reset and the read, nothing else.
  // (The start above took its mode word over into the mode register.)
  kpx4160_sim_set_pcl_register(1, 1, 0x97, kMode);
  kpx4160_sim_trace_clear();
  k4160_home_move(3, 3, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0x70, 0), PclRead(1, 1, 0xD7, kMode)}));
  // A speed mode other than 0 or 1: the mode word, but no start.
  kpx4160_sim_trace_clear();
  k4160_home_move(3, 1, 2);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0x70, 0), PclRead(1, 1, 0xD7, kMode),
                                                     PclWrite32(1, 1, 0x87, 0xFBFF4B90)}));
  // Axes without a profile record are refused outright.
  kpx4160_sim_trace_clear();
  k4160_home_move(30, 1, 1);
  k4160_home_move(31, 2, 0);
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(HomeHandwheel, HomeOptionsInSignalConfig2) {
  kpx4160_sim_set_pcl_register(1, 1, 0x9D, 0xFFFFFFFF);
  kpx4160_sim_set_pcl_register(1, 0, 0x9D, 0x12345678);
  k4160_config_home_mode(3, 0, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0xD0FFFFFFu);
  k4160_config_home_mode(3, 7, 16);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0xFFFFFFFFu);
  k4160_config_home_mode(3, 1, 5);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0xF4FFFFFFu);
  k4160_config_home_mode(3, 1, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0xF0FFFFFFu);
  k4160_config_home_mode(3, 0, 17);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0xD0FFFFFFu);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, 0x9D), 0x12345678u);
}

TEST_F(HomeHandwheel, HandwheelOnLoadsAFlatProfileAndStarts) {
  kpx4160_sim_set_pcl_register(1, 1, 0x97, kMode);
  kpx4160_sim_trace_clear();
  k4160_handwheel_move(3, 2000.0);
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 8u);
  const uint32_t codes[] = {0x81, 0x82, 0x83, 0x84, 0x85};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ops[i].op, Op::kPclWrite) << i;
    EXPECT_EQ(ops[i].code, codes[i]) << i;
    EXPECT_EQ(ops[i].chip_axis, 1u);
  }
  EXPECT_EQ(ops[0].value, ops[1].value) << "start speed = maximum speed";
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x82) & 0xFFFF, 2000u);  // 2000 pulses/s in 1-pulse units
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x85) & 0xFFFF, 1199u);
  EXPECT_EQ(ops[5], PclRead(1, 1, 0xD7, kMode));
  EXPECT_EQ(ops[6], PclWrite32(1, 1, 0x97, 0xFBFF4B81));  // mode register itself, not 0x87
  EXPECT_EQ(ops[7], Command(1, 1, 0x50));

  // Off: decelerating stop, then only the operation code cleared.
  kpx4160_sim_set_pcl_register(1, 1, 0x97, 0x0F0F0F81);
  kpx4160_sim_trace_clear();
  k4160_handwheel_move(3, 0.0);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(1, 1, 0x4A), PclRead(1, 1, 0xD7, 0x0F0F0F81),
                                                     PclWrite32(1, 1, 0x97, 0x0F0F0F80)}));
}

TEST_F(HomeHandwheel, HandwheelThresholdNanAndRefusedAxes) {
  auto starts = [] {
    const auto cmds = Only(DecodedTrace(), Op::kCommand);
    return cmds.size() == 1 && cmds[0].code == 0x50;
  };
  auto stops = [] {
    const auto cmds = Only(DecodedTrace(), Op::kCommand);
    return cmds.size() == 1 && cmds[0].code == 0x4A;
  };
  k4160_handwheel_move(2, 1000.0);  // a profile to fall back on
  for (double s : {0.01, -0.01, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
    kpx4160_sim_trace_clear();
    k4160_handwheel_move(2, s);
    EXPECT_TRUE(stops()) << s;
  }
  for (double s : {-0.02, 0.011, 5e6}) {
    kpx4160_sim_trace_clear();
    k4160_handwheel_move(2, s);
    EXPECT_TRUE(starts()) << s;
    EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, 0x97) & 0x7F, 0x01u);
  }
  kpx4160_sim_trace_clear();
  k4160_handwheel_move(30, 2000.0);
  k4160_handwheel_move(31, 0.0);
  k4160_handwheel_move(65535, 2000.0);
  EXPECT_TRUE(DecodedTrace().empty());
}

}  // namespace
}  // namespace kpx::test
