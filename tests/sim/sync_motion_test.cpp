// Synchronised start and stop on the simulated card: moves loaded with a
// start condition wait for the simultaneous start; the simultaneous stop
// takes the axes in synchronous-stop mode along.
#include <gtest/gtest.h>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class SyncMotion : public SimMotionTest {
 protected:
  void SetUp() override {
    SimMotionTest::SetUp();
    OpenCards(2);
    for (uint16_t a = 0; a < 4; ++a) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  }
};

TEST_F(SyncMotion, MovesWithAStartConditionWaitForTheSimultaneousStart) {
  ASSERT_EQ(k4160_set_sync_option(0, 0, 0, 1, 0), 1);
  ASSERT_EQ(k4160_set_sync_option(1, 0, 0, 1, 0), 1);
  const uint16_t axes[] = {0, 1, 2};
  const int32_t distances[] = {3000, -5000, 4000};
  ASSERT_EQ(k4160_set_t_move_all(3, axes, distances, 0), 1);

  // Card 0's axes are loaded and started but hold; axis 2 (card 1, no
  // start condition) runs at once.
  kpx4160_sim_advance(0.5);
  EXPECT_EQ(k4160_check_done(0), 0);
  EXPECT_EQ(k4160_check_done(1), 0);
  EXPECT_EQ(k4160_get_position(0), 0);
  EXPECT_EQ(k4160_get_position(1), 0);
  EXPECT_GT(k4160_get_position(2), 0);
  EXPECT_EQ(State(0, 0).busy, 0u);

  // The simultaneous start, issued through either chip axis, starts both
  // together; each then takes its own law time.
  const double t0 = Now();
  ASSERT_EQ(k4160_start_move_all(1), 1);
  const double done0 = WaitDone({0}) - t0;
  EXPECT_NEAR(done0, ReadLoadedProfile(0, 0).SymmetricMoveTime(3000), ReadLoadedProfile(0, 0).SymmetricMoveTime(3000) * 0.005);
  const double done1 = WaitDone({1}) - t0;
  EXPECT_NEAR(done1, ReadLoadedProfile(0, 1).SymmetricMoveTime(5000), ReadLoadedProfile(0, 1).SymmetricMoveTime(5000) * 0.005);
  EXPECT_EQ(k4160_get_position(0), 3000);
  EXPECT_EQ(k4160_get_position(1), -5000);
  WaitDone({2});
  EXPECT_EQ(k4160_get_position(2), 4000);

  // A simultaneous start with nothing waiting starts nothing.
  k4160_start_move_all(0);
  EXPECT_EQ(k4160_check_done(0), 1);

  // A waiting move is dropped by a stop.
  k4160_t_pmove(0, 1000, 0);
  EXPECT_EQ(k4160_check_done(0), 0);
  k4160_imd_stop(0);
  EXPECT_EQ(k4160_check_done(0), 1);
  k4160_start_move_all(0);
  kpx4160_sim_advance(1.0);
  EXPECT_EQ(k4160_get_position(0), 3000);

  // Without the start condition the move runs on its own start command.
  ASSERT_EQ(k4160_set_sync_option(0, 0, 0, 0, 0), 1);
  k4160_t_pmove(0, 1000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 4000);
}

TEST_F(SyncMotion, SimultaneousStopTakesTheAxesInSynchronousStopMode) {
  ASSERT_EQ(k4160_set_sync_stop_mode(1, 1), 1);
  k4160_t_vmove(0, 1);
  k4160_t_vmove(1, 0);
  k4160_t_vmove(2, 1);
  kpx4160_sim_advance(0.5);
  k4160_simultaneous_stop(0);
  EXPECT_EQ(k4160_check_done(0), 1);  // the axis addressed
  EXPECT_EQ(k4160_check_done(1), 1);  // in synchronous-stop mode
  EXPECT_EQ(k4160_check_done(2), 0);  // another card
  const int32_t at1 = k4160_get_position(1);
  kpx4160_sim_advance(0.5);
  EXPECT_EQ(k4160_get_position(1), at1);

  // Out of synchronous-stop mode the other chip axis runs on.
  ASSERT_EQ(k4160_set_sync_stop_mode(1, 0), 1);
  k4160_t_vmove(0, 1);
  k4160_t_vmove(1, 0);
  kpx4160_sim_advance(0.2);
  k4160_simultaneous_stop(0);
  EXPECT_EQ(k4160_check_done(0), 1);
  EXPECT_EQ(k4160_check_done(1), 0);
}

}  // namespace
}  // namespace kpx::test
