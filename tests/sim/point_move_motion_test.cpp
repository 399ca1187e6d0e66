// Point and continuous moves on the simulated card, checked against the
// chip's ramp-time laws: durations, final positions, present speed.
#include <gtest/gtest.h>

#include <cmath>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class PointMoveMotion : public SimMotionTest {};

TEST_F(PointMoveMotion, TrapezoidalAndSCurveMovesTakeTheirRampsAndRun) {
  OpenCards(1);
  struct Case {
    const char *name;
    bool s_curve;
    int32_t distance;
  } cases[] = {{"trapezoid", false, 10000}, {"trapezoid backwards", false, -7000}, {"s-curve", true, 10000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    kpx4160_sim_set_pcl_register(0, 1, 0xA3, 500);
    if (c.s_curve)
      k4160_set_s_profile(1, 1000, 2000, 0.1, 0.1, 100, 100);
    else
      k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
    // The symmetric moves ramp down with the acceleration's values.
    const double want = ReadLoadedProfile(0, 1).SymmetricMoveTime(std::fabs(c.distance), c.s_curve);

    const double t0 = Now();
    if (c.s_curve)
      k4160_s_pmove(1, c.distance, 0);
    else
      k4160_t_pmove(1, c.distance, 0);
    EXPECT_EQ(k4160_check_done(1), 0);
    const double took = WaitDone({1}) - t0;
    EXPECT_NEAR(took, want, want * 0.005);
    EXPECT_EQ(k4160_get_position(1), 500 + c.distance);
    EXPECT_EQ(k4160_get_position(0), 0);  // the other chip axis never moved
    EXPECT_EQ(k4160_read_current_speed(1), 0.0);
  }
}

TEST_F(PointMoveMotion, RunsAtTheMaximumSpeedBetweenTheRamps) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_t_pmove(0, 10000, 0);
  // Half way through the run the chip puts out the maximum speed, and the
  // position has grown by it.
  WaitFor([] { return kpx4160_sim_time() > 2.0; });
  EXPECT_EQ(k4160_read_current_speed(0), 2000.0);
  const int32_t p1 = k4160_get_position(0);
  const double t1 = Now();
  WaitFor([&] { return Now() > t1 + 0.5; });
  const double rate = (k4160_get_position(0) - p1) / (Now() - t1);
  EXPECT_NEAR(rate, 2000.0, 2000.0 * 0.01);
  EXPECT_EQ(k4160_axis_status(0) & 0x3, 0x3);
}

TEST_F(PointMoveMotion, ShortMoveTurnsBeforeTheMaximumSpeed) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  const LoadedProfile p = ReadLoadedProfile(0, 0);
  const double unit = p.unit;
  // Trapezoid whose ramps do not fit: it peaks where they meet. With
  // acceleration a = unit x 9830400 / (R + 1): vp^2 = fl^2 + a n.
  const double a = unit * 9830400.0 / (p.ur + 1.0);
  const double fl = p.fl * unit, n = 200;
  const double vp = std::sqrt(fl * fl + a * n);
  ASSERT_LT(vp, p.fh * unit);
  const double want = 2.0 * (vp - fl) / a;
  const double t0 = Now();
  k4160_t_pmove(0, 200, 0);
  EXPECT_NEAR(WaitDone({0}) - t0, want, want * 0.005);
  EXPECT_EQ(k4160_get_position(0), 200);
}

TEST_F(PointMoveMotion, AsymmetricMoveRampsDownAtItsOwnRate) {
  OpenCards(1);
  k4160_set_profile(0, 100, 100000, 0.5, 0.2);
  const LoadedProfile p = ReadLoadedProfile(0, 0);
  const double unit = p.unit;
  const double span = p.Span();
  const double want =
      PointMoveTime(1000000, p.fl * unit, p.fh * unit, TrapezoidRampTime(p.ur, span), TrapezoidRampTime(p.dr, span));
  const double t0 = Now();
  k4160_ex_t_pmove(0, 1000000, 0);
  EXPECT_NEAR(WaitDone({0}) - t0, want, want * 0.005);
  EXPECT_EQ(k4160_get_position(0), 1000000);

  // Ramp-down point too far out for the distance: the library splits the
  // move between the ramps; the chip still ends exactly on the target.
  k4160_ex_t_pmove(0, -3000, 0);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 997000);
}

TEST_F(PointMoveMotion, ContinuousMovesRunUntilStoppedInTheirDirection) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  k4160_t_vmove(0, 0);                 // negative, ramping up
  MOTION_default_const_vmove(1, 1);    // positive, at the start speed
  WaitFor([] { return kpx4160_sim_time() > 1.0; });
  EXPECT_EQ(k4160_read_current_speed(0), 2000.0);
  EXPECT_EQ(k4160_read_current_speed(1), 1000.0);
  EXPECT_LT(k4160_get_position(0), -1500);
  EXPECT_NEAR(k4160_get_position(1), 1000.0 * Now(), 2.0);
  EXPECT_EQ(k4160_check_done(0), 0);
  EXPECT_EQ(k4160_check_done(1), 0);

  // The immediate stop ends the move where it is.
  k4160_imd_stop(1);
  const int32_t at = k4160_get_position(1);
  EXPECT_EQ(k4160_check_done(1), 1);
  WaitFor([] { return kpx4160_sim_time() > 1.5; });
  EXPECT_EQ(k4160_get_position(1), at);
  EXPECT_EQ(k4160_check_done(0), 0);

  // The emergency stop ends every axis at once.
  k4160_emg_stop();
  EXPECT_EQ(k4160_check_done(0), 1);
  EXPECT_EQ(k4160_read_current_speed(0), 0.0);
}

TEST_F(PointMoveMotion, DeceleratingStopEndsWithinTheRequestedTime) {
  OpenCards(1);
  for (bool s_curve : {false, true}) {
    SCOPED_TRACE(s_curve);
    if (s_curve) {
      k4160_set_s_profile(0, 1000, 2000, 0.1, 0.1, 100, 100);
      k4160_s_vmove(0, 1);
    } else {
      k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
      k4160_t_vmove(0, 1);
    }
    const double t_run = Now() + 0.5;
    WaitFor([&] { return Now() > t_run; });
    ASSERT_EQ(k4160_read_current_speed(0), 2000.0);
    const int32_t p0 = k4160_get_position(0);
    const double t0 = Now();
    k4160_decel_stop(0, 0.05);
    const double took = WaitDone({0}) - t0;
    EXPECT_LE(took, 0.05 + 1e-4);
    EXPECT_GE(took, 0.05 * 0.99);
    // Slowing from 2000 to 1000 pulses/s covers the mean speed times the time.
    EXPECT_NEAR(k4160_get_position(0) - p0, 1500 * took, 3.0);
  }
}

TEST_F(PointMoveMotion, SpeedChangeOnTheFlyRampsToTheNewSpeed) {
  OpenCards(1);
  k4160_variety_speed_range(0, 1, 100000);  // fixed range, unit 10
  k4160_set_profile(0, 1000, 50000, 0.1, 0.1);
  k4160_t_vmove(0, 1);
  WaitFor([] { return kpx4160_sim_time() > 0.3; });
  EXPECT_EQ(k4160_read_current_speed(0), 50000.0);
  k4160_change_speed(0, 20000);
  const double t0 = Now();
  WaitFor([&] { return Now() > t0 + 0.2; });
  EXPECT_EQ(k4160_read_current_speed(0), 20000.0);
  k4160_change_speed(0, 80000);
  WaitFor([&] { return Now() > t0 + 0.5; });
  EXPECT_EQ(k4160_read_current_speed(0), 80000.0);
  EXPECT_EQ(k4160_check_done(0), 0);
}

TEST_F(PointMoveMotion, AbsoluteTargetsAndANewDistanceInFlight) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_set_position(0, 1200);
  k4160_t_pmove(0, 5000, 1);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 5000);
  // A longer distance while the move runs: the chip goes on to it.
  k4160_t_pmove(0, 3000, 0);
  WaitFor([] { return k4160_get_position(0) > 6000; });
  k4160_reset_target_position(0, 6000);
  WaitDone({0});
  EXPECT_EQ(k4160_get_position(0), 11000);
}

TEST_F(PointMoveMotion, EncodersFollowTheOutputWithTheirRatio) {
  OpenCards(1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  // Without an encoder the counters hold what they were set to.
  k4160_t_pmove(1, 400, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), 0);
  EXPECT_EQ(k4160_get_encoder_pcl(1), 0);

  ASSERT_EQ(kpx4160_sim_set_encoder(0, 1, 4.0), 0);
  k4160_set_encoder(1, -100);
  k4160_set_encoder_pcl(1, 50);
  k4160_t_pmove(1, -1000, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), -4100);
  EXPECT_EQ(k4160_get_encoder_pcl(1), -3950);
  EXPECT_EQ(k4160_get_position(1), -600);
  // The PLD counter is 28 bits wide and wraps like one.
  k4160_set_encoder(1, -134217727);
  k4160_t_pmove(1, -1, 0);
  WaitDone({1});
  EXPECT_EQ(k4160_get_encoder(1), 134217725);
}

}  // namespace
}  // namespace kpx::test
