// The blocking moves of the older command set on the simulated card in
// virtual time: each returns once its move is done, after the time the ramp
// laws give (plus at most one of its millisecond polling pauses), with the
// axes where the move sends them.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

// The blocking moves pause a millisecond between their done polls, and each
// poll itself moves virtual time on by a step.
constexpr double kPollSlack = 1e-3 + 2 * 50e-6;

class LegacyMotion : public SimMotionTest {};

TEST_F(LegacyMotion, BlockingPointMovesReturnOnDoneAtTheirEndPoints) {
  OpenCards(1);
  struct Case {
    const char *name;
    int32_t axis;
    bool s_curve;
    double start_at;  // position before the move
    double end_at;    // where the move must leave the axis
    std::function<void()> move;
  } cases[] = {
      {"A_move", 0, false, 250, 5000, [] { A_move(0, 5000.7, 1000, 2000, 0.1); }},
      {"R_move", 1, false, 250, -2750, [] { R_move(1, -3000.9, 1000, 2000, 0.1); }},
      {"S_move", 0, true, -400, 3000, [] { S_move(0, 3000, 1000, 2000, 0.1, 0.02); }},
      {"Rs_move", 1, true, 0, 4000, [] { Rs_move(1, 4000, 1000, 2000, 0.1, 0.02); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Set_command(c.axis, c.start_at);
    const double t0 = Now();
    c.move();
    const double took = Now() - t0;
    EXPECT_EQ(k4160_check_done(static_cast<uint16_t>(c.axis)), 1);
    EXPECT_EQ(k4160_get_position(static_cast<uint16_t>(c.axis)), static_cast<int32_t>(c.end_at));
    EXPECT_EQ(Get_command(c.axis), c.end_at);
    // The time of the move itself, from what the move loaded: symmetric
    // ramps of the acceleration's rate (and S section).
    const double want =
        ReadLoadedProfile(0, static_cast<unsigned>(c.axis)).SymmetricMoveTime(std::fabs(c.end_at - c.start_at), c.s_curve);
    EXPECT_GE(took, want * 0.995);
    EXPECT_LE(took, want * 1.005 + kPollSlack);
  }
}

TEST_F(LegacyMotion, MoveXyAndWaitForDoneReturnOnceBothAxesHaveArrived) {
  OpenCards(2);
  // Move_xy runs a line of card 1's two axes (axes 2 and 3) to an absolute
  // point at the vector profile.
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  Set_command(2, 1000);
  Set_command(3, 1000);
  double t0 = Now();
  Move_xy(1, 4000.2, -3000.8);  // distances 3000 and -4000 after truncation
  double took = Now() - t0;
  EXPECT_EQ(k4160_check_done(2), 1);
  EXPECT_EQ(k4160_check_done(3), 1);
  EXPECT_EQ(k4160_get_position(2), 4000);
  EXPECT_EQ(k4160_get_position(3), -3000);
  EXPECT_EQ(k4160_get_position(0), 0);  // card 0 untouched
  const double want = PointMoveTime(5000, 1000, 5000, 0.1, 0.1);
  EXPECT_GE(took, want * 0.995);
  EXPECT_LE(took, want * 1.005 + kPollSlack);

  // The starting forms return at once; Wait_for_done holds until the end.
  Start_r_move(0, 2000, 1000, 2000, 0.1);
  Start_move_xy(1, 0, 0);
  EXPECT_EQ(Motion_done(0), 0);
  EXPECT_EQ(Motion_done(2), 0);
  t0 = Now();
  Wait_for_done(0);
  took = Now() - t0;
  EXPECT_EQ(Motion_done(0), 1);
  EXPECT_EQ(k4160_get_position(0), 2000);
  EXPECT_LE(took, ReadLoadedProfile(0, 0).SymmetricMoveTime(2000) * 1.005 + kPollSlack);
  Wait_for_done(2);
  Wait_for_done(3);
  EXPECT_EQ(k4160_get_position(2), 0);
  EXPECT_EQ(k4160_get_position(3), 0);
}

}  // namespace
}  // namespace kpx::test
