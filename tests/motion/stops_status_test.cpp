// Stops, speed change, current speed, positions and status words.
#include <gtest/gtest.h>

#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

class StopsStatus : public MotionTest {};
using Ops = std::vector<RegisterOp>;

TEST_F(StopsStatus, DecelStopRateFollowsRunningRampShape) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  kpx4160_sim_set_pcl_register(0, 0, 0xD7, 0);
  kpx4160_sim_trace_clear();
  k4160_decel_stop(0, 0.05);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(0, 0, 0xD7, 0), PclWrite16(0, 0, 0x94, 490), Command(0, 0, 0x4A)}));
  EXPECT_EQ(Record(0).decel_rate, 490);
  // S-curve move running (bit 10): the section lengthens the ramp.
  kpx4160_sim_set_pcl_register(0, 0, 0xD7, 0x441);
  Record(0).s_decel_section = 100;
  k4160_decel_stop(0, 0.05);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x94), 408u);
  Record(0).s_decel_section = 0;
  k4160_decel_stop(0, 0.05);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x94), 244u);
  EXPECT_EQ(Record(0).decel_rate, 244);
  // The new rate stays for the ramp-down point of the next asymmetric move.
  k4160_ex_t_pmove(0, 10000, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 37u);  // 245 x 183.1 / 1200
  // Non-finite and negative times clamp to the steepest rate.
  for (double t : {-1.0, 0.0, kNaN, kInf}) {
    Record(0).decel_rate = 77;
    k4160_decel_stop(0, t);
    EXPECT_EQ(Record(0).decel_rate, 1);
  }
}

TEST_F(StopsStatus, DecelStopOfConstantSpeedProfileOnlyStops) {
  OpenCards(2);
  k4160_set_profile(2, 2000, 2000, 0.1, 0.1);
  k4160_set_profile(3, 1000, 3000, 0.1, 0.1);  // record 3 belongs to card 1, chip axis 1
  kpx4160_sim_trace_clear();
  k4160_decel_stop(2, 0.05);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(1, 0, 0xD7, 0), Command(1, 0, 0x4A)}));
  EXPECT_EQ(Record(2).decel_rate, 1);
  kpx4160_sim_trace_clear();
  k4160_decel_stop(3, 0.05);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(1, 1, 0xD7, 0), PclWrite16(1, 1, 0x94, 244), Command(1, 1, 0x4A)}));
}

TEST_F(StopsStatus, OtherStopsAreSingleCommands) {
  OpenCards(2);
  k4160_imd_stop(3);
  k4160_simultaneous_stop(0);
  k4160_emg_stop();
  EXPECT_EQ(DecodedTrace(), (Ops{Command(1, 1, 0x49), Command(0, 0, 0x07), Command(0, 0, 0x0F05),
                                 Command(1, 0, 0x0F05)}));
}

TEST_F(StopsStatus, ChangeSpeedOnlyInFixedRange) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  kpx4160_sim_trace_clear();
  k4160_change_speed(0, 1500);  // automatic range: nothing
  EXPECT_TRUE(DecodedTrace().empty());
  k4160_variety_speed_range(0, 1, 100000);
  const motion::AxisProfile before = Record(0);
  struct Case {
    double speed;
    uint32_t written;
  } cases[] = {{55555, 5555}, {500000, 10000}, {5, 1}, {0, 1}, {kInf, 10000}, {kNaN, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.speed);
    kpx4160_sim_trace_clear();
    k4160_change_speed(0, c.speed);
    EXPECT_EQ(DecodedTrace(), (Ops{PclWrite16(0, 0, 0x92, c.written)}));
  }
  EXPECT_EQ(Record(0).max_speed, before.max_speed);
  kpx4160_sim_trace_clear();
  k4160_change_speed(0, -1);
  EXPECT_TRUE(DecodedTrace().empty());
  // A speed whose count is a multiple of 65536 still gives a non-zero value.
  // (a 16-bit write: only the register's low half is the new value)
  k4160_variety_speed_range(1, 1, 6553600);
  Record(1).speed_unit = 1;
  Record(1).fixed_max_speed = 1e9;
  k4160_change_speed(1, 65536);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x92) & 0xFFFF, 1u);
  k4160_change_speed(1, 65537);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x92) & 0xFFFF, 1u);
  k4160_change_speed(1, 65538);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x92) & 0xFFFF, 2u);
}

TEST_F(StopsStatus, CurrentSpeedFromRunningMagnification) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 1, 0xD5, 119);
  kpx4160_sim_set_pcl_register(0, 1, 0xF5, 1234);
  EXPECT_EQ(k4160_read_current_speed(1), 12340.0);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead16(0, 1, 0xD5, 119), PclRead16(0, 1, 0xF5, 1234)}));
  kpx4160_sim_set_pcl_register(0, 1, 0xD5, 2);
  kpx4160_sim_set_pcl_register(0, 1, 0xF5, 3);
  EXPECT_EQ(k4160_read_current_speed(1), 1200.0);
  kpx4160_sim_set_pcl_register(0, 1, 0xD5, 6);  // unit 171.43: the result is truncated
  kpx4160_sim_set_pcl_register(0, 1, 0xF5, 10);
  EXPECT_EQ(k4160_read_current_speed(1), 1714.0);
  kpx4160_sim_set_pcl_register(0, 1, 0xD5, 0);
  EXPECT_EQ(k4160_read_current_speed(1), 0.0);
  // Only the low 16 bits of each register count.
  kpx4160_sim_set_pcl_register(0, 0, 0xD5, 0x10000 + 1199);
  kpx4160_sim_set_pcl_register(0, 0, 0xF5, 0x30000 + 7);
  EXPECT_EQ(k4160_read_current_speed(0), 7.0);
}

TEST_F(StopsStatus, PositionPresetRangeAndRead) {
  OpenCards(1);
  k4160_set_position(1, 134217727);
  k4160_set_position(1, -134217727);
  k4160_set_position(1, 134217728);
  k4160_set_position(1, -134217728);
  k4160_set_position(1, INT32_MIN);
  EXPECT_EQ(DecodedTrace(), (Ops{PclWrite32(0, 1, 0xA3, 134217727), PclWrite32(0, 1, 0xA3, 0xF8000001)}));
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, static_cast<uint32_t>(-42));
  EXPECT_EQ(k4160_get_position(1), -42);
}

TEST_F(StopsStatus, StatusWordsAndFlags) {
  OpenCards(1);
  struct Case {
    uint16_t main;
    uint16_t done, prebuffer;
  } cases[] = {{0x0000, 1, 0}, {0x0001, 0, 0}, {0x0002, 0, 0}, {0x0003, 0, 0},
               {0xFFFC, 1, 1}, {0x4000, 1, 1}, {0xBFFF, 0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.main);
    kpx4160_sim_set_main_status(0, 1, c.main);
    EXPECT_EQ(k4160_axis_status(1), c.main);
    EXPECT_EQ(k4160_check_done(1), c.done);
    EXPECT_EQ(k4160_prebuff_status(1), c.prebuffer);
  }
  kpx4160_sim_set_main_status(0, 0, 0x0003);  // the other chip axis does not leak in
  kpx4160_sim_set_main_status(0, 1, 0);
  EXPECT_EQ(k4160_check_done(1), 1);
  kpx4160_sim_set_sub_status(0, 1, 0xFF8F);
  EXPECT_EQ(k4160_axis_io_status(1), 0xFF00);
  kpx4160_sim_set_sub_status(0, 1, 0x5A0F);
  EXPECT_EQ(k4160_axis_io_status(1), 0x5A00);
  kpx4160_sim_set_pcl_register(0, 1, 0xF1, 0x89ABCDEF);
  EXPECT_EQ(k4160_get_rsts(1), 0x89ABCDEFu);
}

TEST_F(StopsStatus, ClosedLibraryReadsAsStopped) {
  EXPECT_EQ(k4160_check_done(0), 1);
  EXPECT_EQ(k4160_prebuff_status(0), 0);
  EXPECT_EQ(k4160_read_current_speed(0), 0.0);
  EXPECT_EQ(k4160_get_position(0), 0);
  k4160_emg_stop();
  EXPECT_TRUE(DecodedTrace().empty());
}

}  // namespace
}  // namespace kpx::test
