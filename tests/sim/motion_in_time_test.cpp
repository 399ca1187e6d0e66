// Moves on the simulated card in virtual time: single-axis moves, the
// blocking moves of the older command set, moves queued in the pre-buffer,
// synchronised starts and stops, two-axis lines and arcs. Times are checked against the profile
// asked for (a ramp from the start to the maximum speed in the acceleration
// time, a run, a ramp down in the deceleration time), not against the
// register values the library chose.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class PointMoveMotion : public SimMotionTest {};

TEST_F(PointMoveMotion, MovesEndOnTheirTargetsAfterTheProfiledTime) {
  OpenCards(1);
  const auto kT = k4160_t_pmove, kS = k4160_s_pmove, kExT = k4160_ex_t_pmove;
  struct Case {
    const char *name;
    void (*move)(uint16_t axis, int32_t distance, uint16_t absolute);
    uint16_t axis, abs;
    double fh, ta, td;
    int32_t start, arg, end;
    double want;  // seconds, < 0: not timed
  } cases[] = {
      {"trapezoid", kT, 1, 0, 2000, 0.1, 0.1, 500, 10000, 10500, PointMoveTime(10000, 1000, 2000, 0.1, 0.1)},
      {"s-curve", kS, 0, 0, 2000, 0.1, 0.1, 0, 10000, 10000, PointMoveTime(10000, 1000, 2000, 0.1, 0.1)},
      {"short: turns early", kT, 0, 0, 2000, 0.1, 0.1, 0, 200, 200, PeakedMoveTime(200, 1000, 2000, 0.1)},
      {"absolute", kT, 0, 1, 2000, 0.1, 0.1, 1200, 5000, 5000, PointMoveTime(3800, 1000, 2000, 0.1, 0.1)},
      {"asymmetric", kExT, 0, 0, 1e5, 0.5, 0.2, 0, 1000000, 1000000, PointMoveTime(1e6, 1000, 1e5, 0.5, 0.2)},
      // Ramp-down point beyond the distance: split between the ramps, still exact.
      {"asymmetric, short", kExT, 0, 0, 1e5, 0.5, 0.2, 0, -3000, -3000, -1.0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    k4160_set_position(c.axis, c.start);
    k4160_set_position(c.axis ^ 1, 0);
    c.move == kS ? k4160_set_s_profile(c.axis, 1000, c.fh, c.ta, c.td, 100, 100)
                 : k4160_set_profile(c.axis, 1000, c.fh, c.ta, c.td);
    const double t0 = Now();
    c.move(c.axis, c.arg, c.abs);
    EXPECT_EQ(k4160_check_done(c.axis), 0);
    const double took = WaitDone({c.axis}) - t0;
    if (c.want > 0) { EXPECT_NEAR(took, c.want, c.want * 0.005 + 1e-4); }
    EXPECT_EQ(k4160_get_position(c.axis), c.end);
    EXPECT_EQ(k4160_get_position(c.axis ^ 1), 0);  // the other chip axis never moved
  }
}

TEST_F(PointMoveMotion, ContinuousMovesStopsAndSpeedChanges) {
  OpenCards(1);
  for (uint16_t a : {0, 1}) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  const double t0 = Now();
  k4160_t_vmove(0, 0);               // down, ramping up: 0.1 s at a mean of 1500 pulses/s, then 2000
  MOTION_default_const_vmove(1, 1);  // up, at the start speed
  kpx4160_sim_advance(1.0);
  EXPECT_EQ(k4160_read_current_speed(0) + k4160_read_current_speed(1), 3000.0);
  EXPECT_NEAR(k4160_get_position(0), -(2000.0 * (Now() - t0) - 50.0), 3.0);
  EXPECT_NEAR(k4160_get_position(1), 1000.0 * (Now() - t0), 2.0);
  k4160_imd_stop(1);  // ends at once
  EXPECT_EQ(k4160_check_done(0) * 10 + k4160_check_done(1), 1);
  k4160_emg_stop();  // ends every axis
  EXPECT_EQ(k4160_check_done(0), 1);
  // A decelerating stop from 2000 to 1000 pulses/s, trapezoidal or S-curve,
  // takes the time asked and covers the mean speed times it.
  for (bool s_curve : {false, true}) {
    s_curve ? k4160_set_s_profile(0, 1000, 2000, 0.1, 0.1, 100, 100) : k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
    s_curve ? k4160_s_vmove(0, 1) : k4160_t_vmove(0, 1);
    kpx4160_sim_advance(0.5);
    const int32_t p0 = k4160_get_position(0);
    const double t1 = Now();
    k4160_decel_stop(0, 0.05);
    EXPECT_NEAR(WaitDone({0}) - t1, 0.05, 5e-4) << s_curve;
    EXPECT_NEAR(k4160_get_position(0) - p0, 1500 * 0.05, 3.0) << s_curve;
  }
  // Speed changes on the fly, in a fixed range of unit 10.
  k4160_variety_speed_range(0, 1, 100000);
  k4160_set_profile(0, 1000, 50000, 0.1, 0.1);
  k4160_t_vmove(0, 1);
  for (double speed : {50000.0, 20000.0, 80000.0}) {
    if (speed != 50000.0) k4160_change_speed(0, speed);
    kpx4160_sim_advance(0.3);
    EXPECT_EQ(k4160_read_current_speed(0), speed);
  }
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
    int32_t axis, axis2;  // axis2 >= 0: the other axis of a line at the vector profile
    double start, end, end2, length;
    std::function<void()> move;
  } cases[] = {
      {"A_move", 0, -1, 250, 5000, 0, 4750, [] { A_move(0, 5000.7, 1000, 2000, 0.1); }},
      {"R_move", 1, -1, 250, -2750, 0, 3000, [] { R_move(1, -3000.9, 1000, 2000, 0.1); }},
      {"S_move", 0, -1, -400, 3000, 0, 3400, [] { S_move(0, 3000, 1000, 2000, 0.1, 0.02); }},
      {"Rs_move", 1, -1, 0, 4000, 0, 4000, [] { Rs_move(1, 4000, 1000, 2000, 0.1, 0.02); }},
      {"Move_xy", 2, 3, 1000, 4000, -3000, 5000, [] { Move_xy(1, 4000.2, -3000.8); }},
      {"Start_r_move", 0, -1, 0, 2000, 0, 2000, [] {
         Start_r_move(0, 2000, 1000, 2000, 0.1);
         EXPECT_EQ(Motion_done(0), 0);
         Wait_for_done(0);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Set_command(c.axis, c.start);
    if (c.axis2 >= 0) Set_command(c.axis2, c.start);
    const double t0 = Now();
    c.move();
    const double took = Now() - t0, want = PointMoveTime(c.length, 1000, c.axis2 >= 0 ? 5000 : 2000, 0.1, 0.1);
    EXPECT_EQ(Motion_done(c.axis), 1);
    EXPECT_EQ(Get_command(c.axis), c.end);
    if (c.axis2 >= 0) { EXPECT_EQ(Get_command(c.axis2), c.end2); }
    EXPECT_GE(took, want * 0.995);
    EXPECT_LE(took, want * 1.005 + 1e-3 + 2 * kPollStep);
  }
}

// Moves that wait: in the chip's one-deep pre-buffer
// (shown in main status bit 14, started the instant the running move ends,
// a further start while it is full lost), and for the simultaneous start
// and stop of the axes set up for it.
class PrebufferMotion : public SimMotionTest {};

TEST_F(PrebufferMotion, QueuedMovesStartWhereTheRunningOnesEnd) {
  OpenCards(1);
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  const double t_first = PointMoveTime(4000, 1000, 2000, 0.1, 0.1);
  k4160_set_position(1, 100);
  const double t0 = Now();
  k4160_t_pmove(1, 4000, 0);
  kpx4160_sim_advance(0.5);
  k4160_t_pmove(1, 3000, 0);  // waits in the pre-buffer
  EXPECT_EQ(k4160_prebuff_status(1), 1);
  EXPECT_EQ(k4160_axis_status(1) & 0x4000, 0x4000);
  k4160_t_pmove(1, 500, 0);  // the pre-buffer is full: lost
  EXPECT_EQ(State(0, 1).overruns, 1u);
  // The queue empties when the first move ends and the axis goes straight
  // on, never done in between, near the first end point at the start speed.
  bool seen_done = false;
  while (k4160_prebuff_status(1) == 1 && Now() < t0 + 10.0) seen_done = seen_done || k4160_check_done(1) == 1;
  EXPECT_FALSE(seen_done);
  EXPECT_NEAR(Now() - t0, t_first, 2 * kPollStep + t_first * 1e-3);
  EXPECT_NEAR(k4160_get_position(1), 100 + 4000, 1.0 + 1000.0 * 4 * kPollStep);
  EXPECT_NEAR(WaitDone({1}) - t0, t_first + PointMoveTime(3000, 1000, 2000, 0.1, 0.1), 0.01);
  EXPECT_EQ(k4160_get_position(1), 100 + 4000 + 3000);
  EXPECT_EQ(State(0, 1).moves_started, 2u);
}

class SyncMotion : public SimMotionTest {};

TEST_F(SyncMotion, StartConditionsWaitForTheSimultaneousStartAndStopsTakeTheSyncAxes) {
  OpenCards(2);
  for (uint16_t a = 0; a < 4; ++a) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  for (uint16_t a : {0, 1}) ASSERT_EQ(k4160_set_sync_option(a, 0, 0, 1, 0), 1);  // wait for the start
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
  for (uint16_t a : {0, 1}) ASSERT_EQ(k4160_set_sync_option(a, 0, 0, 0, 0), 1);
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

// Two-axis lines and arcs, checked against their
// geometry and the vector profile: end points, both axes arriving together,
// the speed split between the axes, the distance of every sampled point
// from the line or circle, the path speed and the time.
class PathMotion : public SimMotionTest {
 protected:
  // The motion log as pairs of samples of axes a and b taken at one instant.
  static std::vector<std::pair<kpx4160_sim_sample, kpx4160_sim_sample>> Pairs(uint16_t a, uint16_t b) {
    std::vector<std::pair<kpx4160_sim_sample, kpx4160_sim_sample>> out;
    kpx4160_sim_sample sa{}, s{};
    for (uint32_t i = 0; kpx4160_sim_log_sample(i, &s) == 0; ++i) {
      if (s.card * 2 + s.chip_axis == a) sa = s;
      if (s.card * 2 + s.chip_axis == b && s.time == sa.time) out.push_back({sa, s});
    }
    return out;
  }
};

TEST_F(PathMotion, LinesEndTogetherOnTheirDistancesAtTheProfiledPathSpeed) {
  OpenCards(2);
  const double v0 = 1000, vm = 5000, ta = 0.1;  // the deceleration time is not used by a line
  struct Case {
    const char *name;
    uint16_t a, b, abs;
    int32_t a0, b0, ta_, tb;  // start positions; arguments of the line
    int32_t da, db;           // distances it covers
  } cases[] = {
      {"3-4-5 line", 0, 1, 0, 0, 0, 3000, -4000, 3000, -4000},
      {"one axis still", 0, 1, 0, 0, 0, 0, 6000, 0, 6000},
      {"uneven ratio", 0, 1, 0, 0, 0, 7000, 2500, 7000, 2500},
      {"axes on two cards", 1, 2, 0, 0, 0, -6000, 4500, -6000, 4500},
      {"absolute from an offset", 0, 1, 1, 1500, -700, -1500, 3300, -3000, 4000},
      {"too short for the ramps", 0, 1, 0, 0, 0, 150, -200, 150, -200},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    k4160_set_position(c.a, c.a0);
    k4160_set_position(c.b, c.b0);
    k4160_set_vector_profile(v0, vm, ta, 0.5);
    const double length = std::hypot(c.da, c.db);
    const bool fits = length > (v0 + vm) * ta;
    const double want = fits ? PointMoveTime(length, v0, vm, ta, ta) : PeakedMoveTime(length, v0, vm, ta);
    const double peak = fits ? vm : std::sqrt(v0 * v0 + (vm - v0) / ta * length);

    ASSERT_EQ(kpx4160_sim_log_start(1e-3), 0);
    const double t0 = Now();
    k4160_t_line2(c.a, c.ta_, c.b, c.tb, c.abs);
    EXPECT_NEAR(WaitDone({c.a, c.b}) - t0, want, want * 0.005 + 2 * kPollStep);
    kpx4160_sim_log_stop();
    EXPECT_EQ(k4160_get_position(c.a), c.a0 + c.da);
    EXPECT_EQ(k4160_get_position(c.b), c.b0 + c.db);
    double top = 0.0, off_line = 0.0, share_error = 0.0;  // worst over the samples
    for (const auto &[sa, sb] : Pairs(c.a, c.b)) {
      const double x = sa.position - c.a0, y = sb.position - c.b0, speed = std::hypot(sa.speed, sb.speed);
      // Whole pulses of each axis's share: within a pulse per axis of the line.
      off_line = std::max(off_line, std::fabs(x * c.db - y * c.da) / length);
      if (speed == 0.0) continue;
      top = std::max(top, speed);
      // Both axes share the path speed in the ratio of their distances, so arrive together.
      share_error = std::max(share_error, std::fabs(sa.speed / speed - std::abs(c.da) / length));
    }
    EXPECT_LE(off_line, (std::abs(c.da) + std::abs(c.db)) / length + 1e-9);
    EXPECT_LT(share_error, 1e-6) << "speeds out of the ratio of the distances";
    EXPECT_NEAR(top, peak, peak * 0.01);
  }
}

TEST_F(PathMotion, ArcsFollowTheCircleChordByChordAndEndOnTheTarget) {
  OpenCards(1);
  constexpr double kPi = 3.14159265358979323846, r = 10000.0;
  // Chords of 2.8284 x sqrt(0.01 r) pulses (about 28 here); with the vector
  // profile 1000 -> 5000 the chords climb in tenths of the difference and
  // hold 1000 + 9 x 400 = 4600 pulses/s along the path.
  const double step = 2.8284 * std::sqrt(0.01 * r) / r;
  struct Case {
    const char *name;
    int32_t cx, cy, tx, ty;  // centre and target relative to the start (0, 0)
    double sweep;
  } cases[] = {
      {"quarter turn", 0, 10000, 10000, 10000, kPi / 2},
      {"half turn", 10000, 0, 20000, 0, kPi},
      {"full turn", 10000, 0, 0, 0, 2 * kPi},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const uint16_t axes[2] = {0, 1};
    const int32_t centre[2] = {c.cx, c.cy}, target[2] = {c.tx, c.ty};
    k4160_set_position(0, 0);
    k4160_set_position(1, 0);
    k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
    ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);
    ASSERT_EQ(kpx4160_sim_log_start(1e-3), 0);
    ASSERT_EQ(k4160_arc_move(axes, target, centre, 1), 1);
    WaitDone({0, 1});
    kpx4160_sim_log_stop();
    EXPECT_EQ(k4160_get_position(0), c.tx);
    EXPECT_EQ(k4160_get_position(1), c.ty);
    for (unsigned a = 0; a < 2; ++a) {
      // Every chord taken, each one queued before the one before it ended.
      EXPECT_EQ(State(0, a).moves_started, static_cast<uint32_t>((c.sweep + 1e-9) / step));
      EXPECT_EQ(State(0, a).underruns + State(0, a).overruns, 0u);
    }
    // A sample lies off the circle by at most the sag of a chord spanning
    // up to two steps, plus the truncation of its ends to whole pulses
    // (sqrt 2) and half a pulse of interpolation along it.
    const double bound = r * (1.0 - std::cos(step)) + std::sqrt(2.0) + 0.5;
    const auto pairs = Pairs(0, 1);
    ASSERT_GT(pairs.size(), 1000u);
    double off = 0.0;
    size_t at_peak = 0;
    for (const auto &[sx, sy] : pairs) {
      off = std::max(off, std::fabs(std::hypot(sx.position - c.cx, sy.position - c.cy) - r));
      at_peak += std::fabs(std::hypot(sx.speed, sy.speed) - 4600.0) < 4600.0 * 0.005;
    }
    EXPECT_LT(off, bound);
    std::printf("%s: farthest sample %.2f pulses off the circle (bound %.2f)\n", c.name, off, bound);
    // Most of the way at the peak chord speed, whatever the chord's direction.
    EXPECT_GT(at_peak, pairs.size() * 0.8);
  }
}

}  // namespace
}  // namespace kpx::test
