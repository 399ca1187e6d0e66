// The chip's one-deep pre-buffer on the simulated card: a move started while
// another runs waits, is reported in main status bit 14, and starts the
// instant the running one ends; a start while the buffer is full is lost.
#include <gtest/gtest.h>

#include <cmath>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr double kPollStep = 50e-6;
constexpr uint16_t kPrebufferBit = 1u << 14;

class PrebufferMotion : public SimMotionTest {};

TEST_F(PrebufferMotion, QueuedPointMoveStartsWhereTheFirstEndsAndAThirdIsLost) {
  OpenCards(1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  const double t_first = ReadLoadedProfile(0, 1).SymmetricMoveTime(4000);
  const double t_second = ReadLoadedProfile(0, 1).SymmetricMoveTime(3000);
  k4160_set_position(1, 100);
  ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);

  const double t0 = Now();
  k4160_t_pmove(1, 4000, 0);
  EXPECT_EQ(k4160_prebuff_status(1), 0);
  WaitFor([&] { return Now() > t0 + 0.5; });
  // Second move while the first runs: it waits in the pre-buffer.
  k4160_t_pmove(1, 3000, 0);
  EXPECT_EQ(k4160_prebuff_status(1), 1);
  EXPECT_EQ(k4160_axis_status(1) & kPrebufferBit, kPrebufferBit);
  EXPECT_EQ(k4160_axis_status(0) & kPrebufferBit, 0);  // the other chip axis has nothing queued
  EXPECT_EQ(State(0, 1).pending, 1u);
  EXPECT_LT(k4160_get_position(1), 100 + 4000);  // the first is still running
  // Third start while the pre-buffer is full: not taken, counted.
  k4160_t_pmove(1, 500, 0);
  EXPECT_EQ(State(0, 1).overruns, 1u);
  EXPECT_EQ(k4160_prebuff_status(1), 1);

  // The queue empties when the first move ends, and the axis goes straight
  // on with the second: never done in between.
  double switched = -1.0;
  bool seen_done = false;
  while (Now() < t0 + 10.0) {
    if (k4160_prebuff_status(1) == 0) {
      switched = Now();
      break;
    }
    seen_done = seen_done || k4160_check_done(1) == 1;
  }
  ASSERT_GE(switched, 0.0);
  EXPECT_FALSE(seen_done);
  EXPECT_NEAR(switched - t0, t_first, 2 * kPollStep);
  EXPECT_EQ(k4160_check_done(1), 0);
  // Just past the hand-over the axis is near the first move's end point
  // and at the start speed of the second.
  EXPECT_NEAR(k4160_get_position(1), 100 + 4000, 1000.0 * 4 * kPollStep + 1.0);
  EXPECT_LT(k4160_read_current_speed(1), 1100.0);

  const double took = WaitDone({1}) - t0;
  EXPECT_NEAR(took, t_first + t_second, 2 * kPollStep + (t_first + t_second) * 1e-4);
  EXPECT_EQ(k4160_get_position(1), 100 + 4000 + 3000);
  const kpx4160_sim_axis_state s = State(0, 1);
  EXPECT_EQ(s.moves_started, 2u);
  EXPECT_EQ(s.underruns, 0u);
  EXPECT_EQ(s.overruns, 1u);
  EXPECT_EQ(k4160_prebuff_status(1), 0);
  // The other chip axis never moved.
  EXPECT_EQ(k4160_get_position(0), 0);
  EXPECT_EQ(State(0, 0).moves_started, 0u);
}

TEST_F(PrebufferMotion, ChainedLinesRunBackToBackAndAStartOnAnIdleAxisIsAnUnderrun) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);
  const double t0 = Now();
  k4160_t_line2(0, 3000, 1, 4000, 0);
  k4160_t_line2(0, -6000, 1, 8000, 0);  // queued on both axes at once
  EXPECT_EQ(k4160_prebuff_status(0), 1);
  EXPECT_EQ(k4160_prebuff_status(1), 1);
  const double took = WaitDone({0, 1}) - t0;
  const double want = PointMoveTime(5000, 1000, 5000, 0.1, 0.1) + PointMoveTime(10000, 1000, 5000, 0.1, 0.1);
  EXPECT_NEAR(took, want, want * 0.005);
  EXPECT_EQ(k4160_get_position(0), -3000);
  EXPECT_EQ(k4160_get_position(1), 12000);
  for (unsigned a = 0; a < 2; ++a) {
    SCOPED_TRACE(a);
    const kpx4160_sim_axis_state s = State(0, a);
    EXPECT_EQ(s.moves_started, 2u);
    EXPECT_EQ(s.underruns, 0u);
    EXPECT_EQ(s.overruns, 0u);
  }
  // A further line only after both have stopped: the chain ran dry.
  k4160_t_line2(0, 100, 1, 100, 0);
  WaitDone({0, 1});
  EXPECT_EQ(State(0, 0).underruns, 1u);
  EXPECT_EQ(State(0, 1).underruns, 1u);
  EXPECT_EQ(k4160_get_position(0), -2900);
  EXPECT_EQ(k4160_get_position(1), 12100);
}

}  // namespace
}  // namespace kpx::test
