// Arcs on the simulated card, checked against the circle they stand for:
// the sampled path's distance from the true circle, the end point, the
// chord count and the pre-buffer keeping every chord fed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Fine enough that the path is sampled about twice per pulse of travel at
// the arc's peak speed of 4600 pulses/s (0.46 pulse between samples).
constexpr double kLogInterval = 1e-4;
// A sample may lie this far from the chord it runs on (plus rounding noise).
constexpr double kHalfPulse = 0.5 + 1e-9;

class ArcMotion : public SimMotionTest {};

struct Point {
  double x, y;
};

double DistanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// The chord ends the arc is cut into, relative to the start (0, 0), for a
// counter-clockwise arc about (cx, cy): one angle step apart from the start
// angle, each point of the circle truncated toward zero to whole pulses, and
// the last chord to the target itself.
std::vector<Point> ChordEnds(double cx, double cy, double r, double step, uint32_t chords, Point target) {
  std::vector<Point> ends{{0.0, 0.0}};
  double a = std::atan2(-cy, -cx);
  for (uint32_t i = 1; i < chords; ++i) {
    a += step;
    ends.push_back({std::trunc(cx + r * std::cos(a)), std::trunc(cy + r * std::sin(a))});
  }
  ends.push_back(target);
  return ends;
}

struct PathError {
  double max_off_circle = 0.0;  // largest distance of a sample from the circle
  double at_angle = 0.0;        // where (radians about the centre)
  double max_off_chords = 0.0;  // largest distance of a sample from the chord it runs on
  double ends_off_circle = 0.0;  // largest distance of a chord end from the circle (for the report)
  size_t samples = 0;
  size_t stalled_mid_arc = 0;  // samples at rest between the first and the last move
};

// Walks the motion log of chip axes 0 and 1 of card 0 (positions relative
// to x0, y0): every sample's distance from the circle about (cx, cy) of
// radius r, and from the nearest of the chords around its angle.
PathError MeasurePath(double x0, double y0, double cx, double cy, double r, double step, const std::vector<Point> &ends) {
  PathError e;
  const uint32_t n = kpx4160_sim_log_size();
  std::vector<std::array<double, 3>> points;  // x, y, path speed
  for (uint32_t i = 0; i + 1 < n; ++i) {
    kpx4160_sim_sample sx{}, sy{};
    if (kpx4160_sim_log_sample(i, &sx) != 0 || sx.card != 0 || sx.chip_axis != 0) continue;
    // The log holds chip axis 1 right after chip axis 0 of the same instant.
    if (kpx4160_sim_log_sample(i + 1, &sy) != 0 || sy.chip_axis != 1 || sy.time != sx.time) {
      ADD_FAILURE() << "log sample " << i + 1 << " is not the y axis at " << sx.time;
      break;
    }
    points.push_back({sx.position - x0, sy.position - y0, std::hypot(sx.speed, sy.speed)});
  }
  size_t first = points.size(), last = 0;
  for (size_t i = 0; i < points.size(); ++i)
    if (points[i][2] > 0.0) {
      first = std::min(first, i);
      last = i;
    }
  const double a0 = std::atan2(-cy, -cx);
  const size_t segments = ends.size() - 1;
  for (size_t i = 0; i < points.size(); ++i) {
    const Point p{points[i][0], points[i][1]};
    const double angle = std::atan2(p.y - cy, p.x - cx);
    const double off = std::fabs(std::hypot(p.x - cx, p.y - cy) - r);
    if (off > e.max_off_circle) {
      e.max_off_circle = off;
      e.at_angle = angle;
    }
    // Chord index from the angle swept so far; the first and the last
    // chord are looked at too (a full turn ends where it started).
    const double swept = std::fmod(angle - a0 + 4.0 * kPi, 2.0 * kPi);
    const auto k = static_cast<size_t>(std::min(swept / step, static_cast<double>(segments - 1)));
    double near = std::min(DistanceToSegment(p, ends[0], ends[1]), DistanceToSegment(p, ends[segments - 1], ends[segments]));
    for (size_t s = k > 2 ? k - 2 : 0; s <= std::min(k + 2, segments - 1); ++s)
      near = std::min(near, DistanceToSegment(p, ends[s], ends[s + 1]));
    e.max_off_chords = std::max(e.max_off_chords, near);
    if (i > first && i < last && points[i][2] == 0.0) ++e.stalled_mid_arc;
  }
  for (const Point &q : ends) e.ends_off_circle = std::max(e.ends_off_circle, std::fabs(std::hypot(q.x - cx, q.y - cy) - r));
  e.samples = points.size();
  return e;
}

TEST_F(ArcMotion, HalfAndFullTurnFollowTheCircleAndEndOnTheTarget) {
  OpenCards(1);
  const double r = 10000.0;
  // The chord generator's angle step for this radius: chords of
  // 2.8284 x sqrt(0.01 r) pulses, about 28 at r = 10000.
  const double step = 2.8284 * std::sqrt(0.01 * r) / r;
  struct Case {
    const char *name;
    int32_t tx, ty;  // target relative to the start
    double sweep;
  } cases[] = {{"half turn", 20000, 0, 6.283185308 - kPi}, {"full turn", 0, 0, 6.283185308}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    // Every arc starts from the board's own vector profile.
    k4160_board_close();
    ASSERT_EQ(k4160_board_init(), 1u);
    const int32_t x0 = k4160_get_position(0), y0 = k4160_get_position(1);
    const uint16_t axes[2] = {0, 1};
    const int32_t centre[2] = {x0 + 10000, y0};
    const int32_t target[2] = {x0 + c.tx, y0 + c.ty};
    const auto chords = static_cast<uint32_t>(c.sweep / step);

    ASSERT_EQ(kpx4160_sim_clear_run_counts(), 0);
    ASSERT_EQ(kpx4160_sim_log_start(kLogInterval), 0);
    ASSERT_EQ(k4160_arc_move(axes, target, centre, 1), 1);
    WaitDone({0, 1});
    kpx4160_sim_log_stop();

    EXPECT_EQ(k4160_get_position(0), target[0]);
    EXPECT_EQ(k4160_get_position(1), target[1]);
    for (unsigned a = 0; a < 2; ++a) {
      SCOPED_TRACE(a);
      const kpx4160_sim_axis_state s = State(0, a);
      // Every chord was taken, one after the other with no gap between.
      EXPECT_EQ(s.moves_started, chords);
      EXPECT_EQ(s.underruns, 0u);
      EXPECT_EQ(s.overruns, 0u);
    }

    // How far a sampled point can lie from the circle:
    //  - the chord itself sags below the circle by r (1 - cos(theta / 2));
    //    every chord spans one angle step except the last, which spans what
    //    is left of the sweep (less than two steps);
    //  - each chord end is truncated to whole pulses on both axes, less
    //    than a pulse on each, so the chord between two truncated ends lies
    //    less than sqrt(2) from the chord between the exact ends;
    //  - along each chord the interpolator keeps the short axis within
    //    half a pulse of the straight line, so a sample lies at most half a
    //    pulse from its chord.
    const double sag = r * (1.0 - std::cos(step));  // chord of two steps: the worst case
    const double bound = sag + std::sqrt(2.0) + kHalfPulse;
    const std::vector<Point> ends = ChordEnds(10000.0, 0.0, r, step, chords, {double(c.tx), double(c.ty)});
    const PathError e = MeasurePath(x0, y0, 10000.0, 0.0, r, step, ends);
    ASSERT_GT(e.samples, 1000u);
    EXPECT_EQ(e.stalled_mid_arc, 0u) << "the arc stopped between chords";
    EXPECT_LE(e.max_off_chords, kHalfPulse);
    EXPECT_LT(e.max_off_circle, bound) << "at angle " << e.at_angle;
    std::printf("[ %s ] r = %.0f, %u chords, chord sag %.4f pulse (last chord %.4f); chord ends off the circle "
                "up to %.3f; samples off their chord up to %.3f, off the circle up to %.3f pulse at %.3f rad "
                "(bound %.3f)\n",
                c.name, r, chords, r * (1.0 - std::cos(step / 2.0)), r * (1.0 - std::cos((c.sweep - (chords - 1) * step) / 2.0)),
                e.ends_off_circle, e.max_off_chords, e.max_off_circle, e.at_angle, bound);
  }
}

TEST_F(ArcMotion, ArcRunsAtItsPeakChordSpeedBetweenTheRamps) {
  OpenCards(1);
  // Vector profile 1000 -> 5000: the chords climb in tenths of the
  // difference and hold 1000 + 9 x 400 = 4600 pulses/s along the path.
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  const uint16_t axes[2] = {0, 1};
  const int32_t centre[2] = {0, 10000};
  const int32_t target[2] = {10000, 10000};  // a quarter turn counter-clockwise
  ASSERT_EQ(kpx4160_sim_log_start(1e-3), 0);
  ASSERT_EQ(k4160_arc_move(axes, target, centre, 1), 1);
  WaitDone({0, 1});
  kpx4160_sim_log_stop();
  EXPECT_EQ(k4160_get_position(0), 10000);
  EXPECT_EQ(k4160_get_position(1), 10000);
  // Over the middle of the run (no ramp chord), the path speed is the peak
  // chord speed, whatever the direction of the chord.
  std::vector<double> speeds;
  const uint32_t n = kpx4160_sim_log_size();
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    kpx4160_sim_sample sx{}, sy{};
    kpx4160_sim_log_sample(i, &sx);
    kpx4160_sim_log_sample(i + 1, &sy);
    speeds.push_back(std::hypot(sx.speed, sy.speed));
  }
  ASSERT_GT(speeds.size(), 1000u);
  const size_t quarter = speeds.size() / 4;
  for (size_t i = quarter; i < speeds.size() - quarter; ++i)
    ASSERT_NEAR(speeds[i], 4600.0, 4600.0 * 0.005) << "sample " << i;
  // The quarter turn of 15708 pulses at that speed, plus the ramps.
  EXPECT_GT(Now(), 15708.0 / 4600.0);
}

}  // namespace
}  // namespace kpx::test
