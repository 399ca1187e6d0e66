// Two-axis lines and arcs on the simulated card, checked against their
// geometry and the vector profile: end points, both axes arriving together,
// the speed split between the axes, the distance of every sampled point
// from the line or circle, the path speed and the time.
#include <algorithm>
#include <cmath>
#include <vector>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

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
      {"other axis still", 0, 1, 0, 0, 0, -2500, 0, -2500, 0},
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
    double top = 0.0, slowest = vm, off_line = 0.0, share_error = 0.0;  // worst over the samples
    for (const auto &[sa, sb] : Pairs(c.a, c.b)) {
      const double x = sa.position - c.a0, y = sb.position - c.b0, speed = std::hypot(sa.speed, sb.speed);
      // Whole pulses of each axis's share: within a pulse per axis of the line.
      off_line = std::max(off_line, std::fabs(x * c.db - y * c.da) / length);
      if (speed == 0.0) continue;
      top = std::max(top, speed);
      slowest = std::min(slowest, speed);
      // Both axes share the path speed in the ratio of their distances, so arrive together.
      share_error = std::max(share_error, std::fabs(sa.speed / speed - std::abs(c.da) / length));
    }
    EXPECT_LE(off_line, (std::abs(c.da) + std::abs(c.db)) / length + 1e-9);
    EXPECT_LT(share_error, 1e-6) << "speeds out of the ratio of the distances";
    EXPECT_GE(slowest, v0 * 0.99);
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
      EXPECT_EQ(State(0, a).underruns, 0u);
      EXPECT_EQ(State(0, a).overruns, 0u);
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
    // Most of the way at the peak chord speed, whatever the chord's direction.
    EXPECT_GT(at_peak, pairs.size() * 0.8);
  }
}

}  // namespace
}  // namespace kpx::test
