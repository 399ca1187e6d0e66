// Position-dependent signals of the simulated card acting on motion: end
// limit switches, the home switch, soft limits through the comparators and
// the latch of the counters on a latch event.
#include <gtest/gtest.h>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr uint16_t kPlusLimitBit = 1u << 9;
constexpr uint16_t kMinusLimitBit = 1u << 10;
constexpr uint16_t kHomeBit = 1u << 11;

class AxisSignalsMotion : public SimMotionTest {};

TEST_F(AxisSignalsMotion, EndLimitsStopMovesIntoThemAndLetMovesOut) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, -3000, 5000, 1), 0);
  EXPECT_EQ(k4160_axis_io_status(0) & (kPlusLimitBit | kMinusLimitBit), 0);

  // A point move through the plus limit ends on it, short of its target.
  k4160_t_pmove(0, 10000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 5000);
  EXPECT_EQ(k4160_axis_io_status(0) & (kPlusLimitBit | kMinusLimitBit), kPlusLimitBit);

  // Standing on it, a move further up does not move at all ...
  k4160_t_vmove(0, 1);
  WaitDone({0}, 1.0);
  EXPECT_EQ(k4160_get_position(0), 5000);

  // ... while a move down leaves it and runs into the minus limit.
  k4160_t_vmove(0, 0);
  WaitFor([] { return k4160_get_position(0) < 4000; });
  EXPECT_EQ(k4160_axis_io_status(0) & (kPlusLimitBit | kMinusLimitBit), 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), -3000);
  EXPECT_EQ(k4160_axis_io_status(0) & (kPlusLimitBit | kMinusLimitBit), kMinusLimitBit);

  // The other chip axis has no switches.
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  k4160_t_pmove(1, 8000, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_position(1), 8000);

  // Removed, the switches stop nothing.
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, 0, 0, 0), 0);
  k4160_t_pmove(0, -1000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), -4000);
  EXPECT_EQ(k4160_axis_io_status(0) & (kPlusLimitBit | kMinusLimitBit), 0);

  // Bad placements are refused.
  EXPECT_EQ(kpx4160_sim_set_limit_switches(0, 0, 100, 100, 1), -1);
  EXPECT_EQ(kpx4160_sim_set_limit_switches(0, 2, -1, 1, 1), -1);
  EXPECT_EQ(kpx4160_sim_set_limit_switches(1, 0, -1, 1, 1), -1);
}

TEST_F(AxisSignalsMotion, EndLimitInDeceleratingModeRampsDownFromTheSwitch) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_config_EL_MODE(0, 1);  // EL mode bit 0: decelerate
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, -100000, 5000, 1), 0);
  k4160_t_vmove(0, 1);
  WaitDone({0});
  // The ramp starts at the switch at full speed and covers the stopping
  // distance of the profile beyond it.
  EXPECT_NEAR(k4160_get_position(0), 5000 + ReadLoadedProfile(0, 0).StopDistance(), 2.0);
  EXPECT_GT(k4160_get_position(0), 5000 + 100);
  EXPECT_NE(k4160_axis_io_status(0) & kPlusLimitBit, 0);
}

TEST_F(AxisSignalsMotion, HomeSearchStopsAtTheHomeSwitch) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  ASSERT_EQ(kpx4160_sim_set_home_switch(0, 0, 1234, 1), 0);
  EXPECT_EQ(k4160_axis_io_status(0) & kHomeBit, 0);

  // Constant-speed search up: ends exactly on the switch.
  k4160_home_move(0, 1, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 1234);
  EXPECT_NE(k4160_axis_io_status(0) & kHomeBit, 0);

  // A point move passes over the switch without stopping.
  k4160_t_pmove(0, 3000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 4234);
  EXPECT_EQ(k4160_axis_io_status(0) & kHomeBit, 0);

  // A search away from the switch never finds it: still running later on.
  k4160_home_move(0, 1, 0);
  WaitFor([] { return k4160_get_position(0) > 6000; });
  EXPECT_EQ(k4160_check_done(0), 0);
  k4160_imd_stop(0);

  // Accelerating search down: reaches the switch at speed and starts its
  // decelerating stop there, ending below it by the stopping distance.
  k4160_home_move(0, 2, 1);
  WaitDone({0});
  EXPECT_NEAR(k4160_get_position(0), 1234 - ReadLoadedProfile(0, 0).StopDistance(), 2.0);

  // Without the switch the search runs on.
  ASSERT_EQ(kpx4160_sim_set_home_switch(0, 0, 1234, 0), 0);
  k4160_home_move(0, 1, 0);
  WaitFor([] { return k4160_get_position(0) > 2000; });
  EXPECT_EQ(k4160_check_done(0), 0);
}

TEST_F(AxisSignalsMotion, SoftLimitsStopTheAxisThroughTheComparators) {
  OpenCards(1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  k4160_set_softlimit_data(1, -1000, 5000);
  k4160_config_softlimit(1, 0);  // stop at once
  k4160_enable_softlimit(1, 1);

  k4160_t_vmove(1, 1);
  WaitDone({1});
  EXPECT_EQ(k4160_get_position(1), 5000);
  k4160_t_pmove(1, -20000, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_position(1), -1000);
  k4160_t_pmove(1, -10, 0);  // already at the lower limit
  WaitDone({1});
  EXPECT_EQ(k4160_get_position(1), -1000);
  EXPECT_EQ(k4160_get_position(0), 0);  // chip axis 0 has its own comparators

  // Action 1: the limit starts a decelerating stop.
  k4160_config_softlimit(1, 1);
  k4160_t_vmove(1, 1);
  WaitDone({1});
  const double stop = ReadLoadedProfile(0, 1).StopDistance();
  EXPECT_NEAR(k4160_get_position(1), 5000 + stop, 2.0);

  // Off: the axis runs past both.
  k4160_enable_softlimit(1, 0);
  k4160_t_pmove(1, 10000, 0);
  WaitDone({1});
  EXPECT_NEAR(k4160_get_position(1), 15000 + stop, 2.0);

  // Comparators set by hand with the same conditions act the same way.
  k4160_set_comparator_data(1, 20000, 0);
  k4160_config_comparator(1, 3, 0, 0);
  k4160_t_vmove(1, 1);
  WaitDone({1});
  EXPECT_EQ(k4160_get_position(1), 20000);
}

TEST_F(AxisSignalsMotion, LatchEventCopiesTheCountersAndRaisesTheFlag) {
  OpenCards(1);
  ASSERT_EQ(kpx4160_sim_set_encoder(0, 1, 2.0), 0);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  k4160_t_pmove(1, 777, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_latch_flag(0), 0u);

  // Latch disabled on the card: no latch, no flag.
  ASSERT_EQ(kpx4160_sim_latch_event(0, 1), 0);
  EXPECT_EQ(k4160_get_latch_value(1), 0);
  EXPECT_EQ(k4160_get_latch_flag(0), 0u);

  // Enabled on chip axis 1: the PLD latches its encoder count (2 x 777).
  k4160_config_LTC_PIN(1, 1, 0);
  k4160_set_latch_trigger_source(1, 1);
  ASSERT_EQ(kpx4160_sim_latch_event(0, 1), 0);
  EXPECT_EQ(k4160_get_latch_value(1), 1554);
  EXPECT_EQ(k4160_get_latch_flag(0), 0x2u);
  EXPECT_EQ(k4160_get_latch_value(0), 0);
  EXPECT_EQ(k4160_get_rcun_latch_value(1, 1), 777u);   // the chip's logical position
  EXPECT_EQ(k4160_get_rcun_latch_value(1, 2), 1554u);  // and its encoder counter

  // The latched values hold while the axis moves on; the flag until reset.
  k4160_t_pmove(1, -2000, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_latch_value(1), 1554);
  EXPECT_EQ(k4160_get_latch_flag(0), 0x2u);
  k4160_reset_latch_flag(0);
  EXPECT_EQ(k4160_get_latch_flag(0), 0u);

  // A negative count latches as a 28-bit value and reads back signed.
  ASSERT_EQ(kpx4160_sim_latch_event(0, 1), 0);
  EXPECT_EQ(k4160_get_latch_value(1), -2446);
  EXPECT_EQ(k4160_get_rcun_latch_value(1, 1), static_cast<uint32_t>(-1223));

  EXPECT_EQ(kpx4160_sim_latch_event(0, 2), -1);
  EXPECT_EQ(kpx4160_sim_latch_event(1, 0), -1);
}

}  // namespace
}  // namespace kpx::test
