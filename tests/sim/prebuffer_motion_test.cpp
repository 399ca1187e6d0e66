// Moves that wait on the simulated card: in the chip's one-deep pre-buffer
// (shown in main status bit 14, started the instant the running move ends,
// a further start while it is full lost), and for the simultaneous start
// and stop of the axes set up for it.
#include <cmath>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr double kPollStep = 50e-6;

class PrebufferMotion : public SimMotionTest {};

TEST_F(PrebufferMotion, QueuedMovesStartWhereTheRunningOnesEnd) {
  OpenCards(1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  const double t_first = PointMoveTime(4000, 1000, 2000, 0.1, 0.1);
  const double t_second = PointMoveTime(3000, 1000, 2000, 0.1, 0.1);
  k4160_set_position(1, 100);
  ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);
  const double t0 = Now();
  k4160_t_pmove(1, 4000, 0);
  EXPECT_EQ(k4160_prebuff_status(1), 0);
  kpx4160_sim_advance(0.5);
  k4160_t_pmove(1, 3000, 0);  // waits in the pre-buffer
  EXPECT_EQ(k4160_prebuff_status(1), 1);
  EXPECT_EQ(k4160_axis_status(1) & 0x4000, 0x4000);
  EXPECT_EQ(k4160_axis_status(0) & 0x4000, 0);
  k4160_t_pmove(1, 500, 0);  // the pre-buffer is full: lost
  EXPECT_EQ(State(0, 1).overruns, 1u);
  // The queue empties when the first move ends and the axis goes straight
  // on, never done in between, near the first end point at the start speed.
  bool seen_done = false;
  while (k4160_prebuff_status(1) == 1 && Now() < t0 + 10.0) seen_done = seen_done || k4160_check_done(1) == 1;
  EXPECT_FALSE(seen_done);
  EXPECT_NEAR(Now() - t0, t_first, 2 * kPollStep + t_first * 1e-3);
  EXPECT_NEAR(k4160_get_position(1), 100 + 4000, 1.0 + 1000.0 * 4 * kPollStep);
  EXPECT_LT(k4160_read_current_speed(1), 1100.0);
  EXPECT_NEAR(WaitDone({1}) - t0, t_first + t_second, 2 * kPollStep + (t_first + t_second) * 1e-3);
  EXPECT_EQ(k4160_get_position(1), 100 + 4000 + 3000);
  EXPECT_EQ(State(0, 1).moves_started, 2u);
  EXPECT_EQ(State(0, 0).moves_started, 0u);

  // Two lines queued on both axes at once run back to back; a further one
  // after both stopped finds the chain run dry.
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  k4160_set_position(1, 0);
  ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);
  const double t1 = Now();
  k4160_t_line2(0, 3000, 1, 4000, 0);
  k4160_t_line2(0, -6000, 1, 8000, 0);
  EXPECT_EQ(k4160_prebuff_status(0), 1);
  EXPECT_EQ(k4160_prebuff_status(1), 1);
  const double want = PointMoveTime(5000, 1000, 5000, 0.1, 0.1) + PointMoveTime(10000, 1000, 5000, 0.1, 0.1);
  EXPECT_NEAR(WaitDone({0, 1}) - t1, want, want * 0.005);
  EXPECT_EQ(k4160_get_position(0), -3000);
  EXPECT_EQ(k4160_get_position(1), 12000);
  k4160_t_line2(0, 100, 1, 100, 0);
  WaitDone({0, 1});
  for (unsigned a = 0; a < 2; ++a) {
    EXPECT_EQ(State(0, a).moves_started, 3u);
    EXPECT_EQ(State(0, a).underruns, 1u);
    EXPECT_EQ(State(0, a).overruns, 0u);
  }
}

class SyncMotion : public SimMotionTest {};

TEST_F(SyncMotion, StartConditionsWaitForTheSimultaneousStartAndStopsTakeTheSyncAxes) {
  OpenCards(2);
  for (uint16_t a = 0; a < 4; ++a) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  ASSERT_EQ(k4160_set_sync_option(0, 0, 0, 1, 0), 1);
  ASSERT_EQ(k4160_set_sync_option(1, 0, 0, 1, 0), 1);
  const uint16_t axes[] = {0, 1, 2};
  const int32_t distances[] = {3000, -5000, 4000};
  ASSERT_EQ(k4160_set_t_move_all(3, axes, distances, 0), 1);
  // Card 0's axes hold; axis 2 (card 1, no start condition) runs at once.
  kpx4160_sim_advance(0.5);
  EXPECT_EQ(k4160_check_done(0) + k4160_check_done(1) + k4160_get_position(0) + k4160_get_position(1), 0);
  EXPECT_GT(k4160_get_position(2), 0);
  // The start, issued through either chip axis, starts both together.
  const double t0 = Now();
  ASSERT_EQ(k4160_start_move_all(1), 1);
  EXPECT_NEAR(WaitDone({0}) - t0, PointMoveTime(3000, 1000, 2000, 0.1, 0.1), 0.01);
  EXPECT_NEAR(WaitDone({1}) - t0, PointMoveTime(5000, 1000, 2000, 0.1, 0.1), 0.01);
  WaitDone({2});
  EXPECT_EQ(k4160_get_position(0), 3000);
  EXPECT_EQ(k4160_get_position(1), -5000);
  EXPECT_EQ(k4160_get_position(2), 4000);
  // A waiting move is dropped by a stop; a start then starts nothing.
  k4160_t_pmove(0, 1000, 0);
  EXPECT_EQ(k4160_check_done(0), 0);
  k4160_imd_stop(0);
  k4160_start_move_all(0);
  kpx4160_sim_advance(1.0);
  EXPECT_EQ(k4160_get_position(0), 3000);
  // Without the condition the move runs on its own start command.
  ASSERT_EQ(k4160_set_sync_option(0, 0, 0, 0, 0), 1);
  k4160_t_pmove(0, 1000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 4000);

  ASSERT_EQ(k4160_set_sync_option(1, 0, 0, 0, 0), 1);
  // The simultaneous stop takes the axis addressed and, in synchronous-stop
  // mode, the other chip axis, never another card's.
  for (uint16_t mode : {1, 0}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(k4160_set_sync_stop_mode(1, mode), 1);
    for (uint16_t a : {0, 1, 2}) k4160_t_vmove(a, 1);
    kpx4160_sim_advance(0.2);
    k4160_simultaneous_stop(0);
    EXPECT_EQ(k4160_check_done(0), 1);
    EXPECT_EQ(k4160_check_done(1), mode);
    EXPECT_EQ(k4160_check_done(2), 0);
    k4160_emg_stop();
  }
}

}  // namespace
}  // namespace kpx::test
