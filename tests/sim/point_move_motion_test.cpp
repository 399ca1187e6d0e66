// Single-axis moves on the simulated card, in virtual time, checked against
// the profile asked for (a ramp from the start to the maximum speed in the
// acceleration time, a run, a ramp down in the deceleration time) rather
// than against the register values the library chose.
#include <functional>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class PointMoveMotion : public SimMotionTest {};

TEST_F(PointMoveMotion, MovesEndOnTheirTargetsAfterTheProfiledTime) {
  OpenCards(1);
  enum Kind { kT, kS, kExT };
  struct Case {
    const char *name;
    Kind kind;
    uint16_t axis, abs;
    double fh, ta, td;
    int32_t start, arg, end;
    double want;  // seconds, < 0: not timed
  } cases[] = {
      {"trapezoid", kT, 1, 0, 2000, 0.1, 0.1, 500, 10000, 10500, PointMoveTime(10000, 1000, 2000, 0.1, 0.1)},
      {"trapezoid down", kT, 1, 0, 2000, 0.1, 0.1, 0, -7000, -7000, PointMoveTime(7000, 1000, 2000, 0.1, 0.1)},
      {"s-curve", kS, 0, 0, 2000, 0.1, 0.1, 0, 10000, 10000, PointMoveTime(10000, 1000, 2000, 0.1, 0.1)},
      {"short: turns early", kT, 0, 0, 2000, 0.1, 0.1, 0, 200, 200, PeakedMoveTime(200, 1000, 2000, 0.1)},
      {"absolute", kT, 0, 1, 2000, 0.1, 0.1, 1200, 5000, 5000, PointMoveTime(3800, 1000, 2000, 0.1, 0.1)},
      {"asymmetric", kExT, 0, 0, 1e5, 0.5, 0.2, 0, 1000000, 1000000, PointMoveTime(1e6, 1000, 1e5, 0.5, 0.2)},
      // Ramp-down point beyond the distance: split between the ramps, still exact.
      {"asymmetric, short", kExT, 0, 0, 1e5, 0.5, 0.2, 0, -3000, -3000, -1.0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const uint16_t other = c.axis ^ 1;
    k4160_set_position(c.axis, c.start);
    k4160_set_position(other, 0);
    if (c.kind == kS)
      k4160_set_s_profile(c.axis, 1000, c.fh, c.ta, c.td, 100, 100);
    else
      k4160_set_profile(c.axis, 1000, c.fh, c.ta, c.td);
    const double t0 = Now();
    if (c.kind == kT) k4160_t_pmove(c.axis, c.arg, c.abs);
    if (c.kind == kS) k4160_s_pmove(c.axis, c.arg, c.abs);
    if (c.kind == kExT) k4160_ex_t_pmove(c.axis, c.arg, c.abs);
    EXPECT_EQ(k4160_check_done(c.axis), 0);
    const double took = WaitDone({c.axis}) - t0;
    if (c.want > 0) { EXPECT_NEAR(took, c.want, c.want * 0.005 + 1e-4); }
    EXPECT_EQ(k4160_get_position(c.axis), c.end);
    EXPECT_EQ(k4160_get_position(other), 0);
    EXPECT_EQ(k4160_read_current_speed(c.axis), 0.0);
  }
}

TEST_F(PointMoveMotion, ContinuousMovesStopsSpeedChangesAndEncoders) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  const double t_start = Now();
  k4160_t_vmove(0, 0);               // down, ramping up
  MOTION_default_const_vmove(1, 1);  // up, at the start speed
  kpx4160_sim_advance(1.0);
  EXPECT_EQ(k4160_read_current_speed(0), 2000.0);
  EXPECT_EQ(k4160_read_current_speed(1), 1000.0);
  // 0.1 s of ramp at a mean of 1500 pulses/s, then 2000 pulses/s.
  EXPECT_NEAR(k4160_get_position(0), -(2000.0 * (Now() - t_start) - 50.0), 3.0);
  EXPECT_NEAR(k4160_get_position(1), 1000.0 * (Now() - t_start), 2.0);
  k4160_imd_stop(1);  // ends where it is
  const int32_t at = k4160_get_position(1);
  EXPECT_EQ(k4160_check_done(1), 1);
  kpx4160_sim_advance(0.5);
  EXPECT_EQ(k4160_get_position(1), at);
  EXPECT_EQ(k4160_check_done(0), 0);
  k4160_emg_stop();  // ends every axis
  EXPECT_EQ(k4160_check_done(0), 1);
  EXPECT_EQ(k4160_read_current_speed(0), 0.0);

  // A decelerating stop from 2000 to 1000 pulses/s takes the time asked and
  // covers the mean speed times it, trapezoidal or S-curve.
  for (bool s_curve : {false, true}) {
    SCOPED_TRACE(s_curve);
    s_curve ? k4160_set_s_profile(0, 1000, 2000, 0.1, 0.1, 100, 100) : k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
    s_curve ? k4160_s_vmove(0, 1) : k4160_t_vmove(0, 1);
    kpx4160_sim_advance(0.5);
    ASSERT_EQ(k4160_read_current_speed(0), 2000.0);
    const int32_t p0 = k4160_get_position(0);
    const double t0 = Now();
    k4160_decel_stop(0, 0.05);
    const double took = WaitDone({0}) - t0;
    EXPECT_NEAR(took, 0.05, 5e-4);
    EXPECT_NEAR(k4160_get_position(0) - p0, 1500 * 0.05, 3.0);
  }

  // A new distance while a move runs counts from where the move began.
  k4160_set_position(0, 5000);
  k4160_t_pmove(0, 3000, 0);
  WaitFor([] { return k4160_get_position(0) > 6000; });
  k4160_reset_target_position(0, 6000);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 11000);

  // Speed changes on the fly, in a fixed range of unit 10.
  k4160_variety_speed_range(0, 1, 100000);
  k4160_set_profile(0, 1000, 50000, 0.1, 0.1);
  k4160_t_vmove(0, 1);
  for (double speed : {50000.0, 20000.0, 80000.0}) {
    if (speed != 50000.0) k4160_change_speed(0, speed);
    kpx4160_sim_advance(0.3);
    EXPECT_EQ(k4160_read_current_speed(0), speed);
  }
  // Encoders: nothing counted without one; with ratio 4 both counters follow
  // from where they were set, the PLD's wrapping at 28 bits.
  k4160_t_pmove(1, 400, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), 0);
  ASSERT_EQ(kpx4160_sim_set_encoder(0, 1, 4.0), 0);
  k4160_set_encoder(1, -100);
  k4160_set_encoder_pcl(1, 50);
  k4160_t_pmove(1, -1000, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), -4100);
  EXPECT_EQ(k4160_get_encoder_pcl(1), -3950);
  k4160_set_encoder(1, -134217727);
  k4160_t_pmove(1, -1, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), 134217725);
}

// The blocking moves of the older command set: each returns once its move is
// done, after the profiled time plus at most one of its millisecond pauses
// between done polls, with the axes where the move sends them.
class LegacyMotion : public SimMotionTest {};

TEST_F(LegacyMotion, BlockingMovesReturnOnDoneAtTheirEndPoints) {
  OpenCards(2);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  struct Case {
    const char *name;
    int32_t axis, axis2;  // axis2 >= 0: the other axis of a line
    double start, end, end2, want;
    std::function<void()> move;
  } cases[] = {
      {"A_move", 0, -1, 250, 5000, 0, PointMoveTime(4750, 1000, 2000, 0.1, 0.1),
       [] { A_move(0, 5000.7, 1000, 2000, 0.1); }},
      {"R_move", 1, -1, 250, -2750, 0, PointMoveTime(3000, 1000, 2000, 0.1, 0.1),
       [] { R_move(1, -3000.9, 1000, 2000, 0.1); }},
      {"S_move", 0, -1, -400, 3000, 0, PointMoveTime(3400, 1000, 2000, 0.1, 0.1),
       [] { S_move(0, 3000, 1000, 2000, 0.1, 0.02); }},
      {"Rs_move", 1, -1, 0, 4000, 0, PointMoveTime(4000, 1000, 2000, 0.1, 0.1),
       [] { Rs_move(1, 4000, 1000, 2000, 0.1, 0.02); }},
      {"Move_xy", 2, 3, 1000, 4000, -3000, PointMoveTime(5000, 1000, 5000, 0.1, 0.1),
       [] { Move_xy(1, 4000.2, -3000.8); }},
      {"Start_r_move, Wait_for_done", 0, -1, 0, 2000, 0, PointMoveTime(2000, 1000, 2000, 0.1, 0.1), [] {
         Start_r_move(0, 2000, 1000, 2000, 0.1);
         EXPECT_EQ(Motion_done(0), 0);
         Wait_for_done(0);
       }},
      {"Start_move_xy, Wait_for_done", 2, 3, 0, 1500, 2000, PointMoveTime(2500, 1000, 5000, 0.1, 0.1), [] {
         Start_move_xy(1, 1500, 2000);
         EXPECT_EQ(Motion_done(2), 0);
         Wait_for_done(2);
         Wait_for_done(3);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Set_command(c.axis, c.start);
    if (c.axis2 >= 0) Set_command(c.axis2, c.start);
    const double t0 = Now();
    c.move();
    const double took = Now() - t0;
    EXPECT_EQ(Motion_done(c.axis), 1);
    EXPECT_EQ(k4160_get_position(static_cast<uint16_t>(c.axis)), c.end);
    EXPECT_EQ(Get_command(c.axis), c.end);
    if (c.axis2 >= 0) { EXPECT_EQ(k4160_get_position(static_cast<uint16_t>(c.axis2)), c.end2); }
    EXPECT_GE(took, c.want * 0.995);
    EXPECT_LE(took, c.want * 1.005 + 1e-3 + 2 * 50e-6);
  }
}

}  // namespace
}  // namespace kpx::test
