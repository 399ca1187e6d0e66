// Two-axis lines on the simulated card, checked against the geometry of the
// line and the ramp laws of the vector profile: end points, arrival of both
// axes together, the speed split between the axes, the path and the time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/motion_laws.h"
#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr double kPollStep = 50e-6;  // what each status poll adds in SimMotionTest
constexpr double kLogInterval = 1e-3;

class LineMotion : public SimMotionTest {
 protected:
  // Polls the done flags of both axes one after the other (each poll moves
  // virtual time on by one step) and notes when each was first seen done.
  void WaitBothDone(uint16_t a, uint16_t b, double &done_a, double &done_b) {
    done_a = done_b = -1.0;
    const double give_up = Now() + 60.0;
    while ((done_a < 0.0 || done_b < 0.0) && Now() < give_up) {
      if (done_a < 0.0 && k4160_check_done(a) == 1) done_a = Now();
      if (done_b < 0.0 && k4160_check_done(b) == 1) done_b = Now();
    }
    ASSERT_GE(done_a, 0.0) << "first axis still moving";
    ASSERT_GE(done_b, 0.0) << "second axis still moving";
  }
};

// A sample of both axes of a line at one instant.
struct PairSample {
  double time;
  double x, y;    // positions relative to the start
  double vx, vy;  // speeds
};

struct AxisId {
  uint16_t axis;
  unsigned card() const { return axis >> 1; }
  unsigned chip() const { return axis & 1; }
};

std::vector<PairSample> PairsFromLog(AxisId a, AxisId b, int32_t a0, int32_t b0) {
  std::vector<PairSample> out;
  PairSample cur{};
  bool have_a = false;
  const uint32_t n = kpx4160_sim_log_size();
  for (uint32_t i = 0; i < n; ++i) {
    kpx4160_sim_sample s{};
    EXPECT_EQ(kpx4160_sim_log_sample(i, &s), 0);
    if (s.card == a.card() && s.chip_axis == a.chip()) {
      cur = {s.time, static_cast<double>(s.position - a0), 0.0, s.speed, 0.0};
      have_a = true;
    } else if (have_a && s.card == b.card() && s.chip_axis == b.chip() && s.time == cur.time) {
      cur.y = static_cast<double>(s.position - b0);
      cur.vy = s.speed;
      out.push_back(cur);
      have_a = false;
    }
  }
  return out;
}

TEST_F(LineMotion, LinesEndOnTheirDistancesTogetherAtTheProfiledPathSpeed) {
  OpenCards(2);
  // Path speeds along the line; the acceleration time serves both ramps.
  const double v0 = 1000, vm = 5000, ta = 0.1;
  struct Case {
    const char *name;
    uint16_t a, b;
    int32_t da, db;
  } cases[] = {
      {"3-4-5 line", 0, 1, 3000, -4000},
      {"one axis still", 0, 1, 0, 6000},
      {"other axis still", 0, 1, -2500, 0},
      {"uneven ratio", 0, 1, 7000, 2500},
      {"axes on two cards", 1, 2, -6000, 4500},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    k4160_set_vector_profile(v0, vm, ta, 0.5);  // the deceleration time is not used by a line
    const int32_t a0 = k4160_get_position(c.a), b0 = k4160_get_position(c.b);
    const AxisId ia{c.a}, ib{c.b};
    const double da = std::abs(c.da), db = std::abs(c.db);
    const double length = std::hypot(da, db);
    // Ramp up from the start speed to the maximum within ta, run, and ramp
    // down the same way (all along the path; both ramps fit here).
    ASSERT_GT(length, (v0 + vm) * ta);
    const double want = PointMoveTime(length, v0, vm, ta, ta);

    ASSERT_EQ(kpx4160_sim_log_start(kLogInterval), 0);
    const double t0 = Now();
    k4160_t_line2(c.a, c.da, c.b, c.db, 0);
    double done_a, done_b;
    WaitBothDone(c.a, c.b, done_a, done_b);
    kpx4160_sim_log_stop();

    EXPECT_EQ(k4160_get_position(c.a), a0 + c.da);
    EXPECT_EQ(k4160_get_position(c.b), b0 + c.db);
    // Both arrive together: the later one is seen done no more than one
    // poll after the earlier (the polls alternate between the axes).
    EXPECT_LE(std::fabs(done_a - done_b), kPollStep + 1e-9);
    const double took = std::max(done_a, done_b) - t0;
    EXPECT_NEAR(took, want, want * 0.005);

    const std::vector<PairSample> path = PairsFromLog(ia, ib, a0, b0);
    ASSERT_GT(path.size(), 100u);
    // Worst case over the samples of each law, with the time it happened.
    int moving = 0;
    double top = 0.0, slowest = vm, off_line = 0.0, t_off = 0.0, share_error = 0.0, t_share = 0.0;
    for (const PairSample &p : path) {
      // Each axis puts out whole pulses of its share: the point stays within
      // a pulse per axis of the straight line from start to end.
      const double off = std::fabs(p.x * c.db - p.y * c.da) / length;
      if (off > off_line) {
        off_line = off;
        t_off = p.time;
      }
      const double speed = std::hypot(p.vx, p.vy);
      if (speed == 0.0) continue;
      ++moving;
      top = std::max(top, speed);
      slowest = std::min(slowest, speed);
      // The axes share the path speed in the ratio of their distances.
      const double err = std::max(std::fabs(p.vx / speed - da / length), std::fabs(p.vy / speed - db / length));
      if (err > share_error) {
        share_error = err;
        t_share = p.time;
      }
    }
    EXPECT_LE(off_line, (da + db) / length + 1e-9) << "off the line at t = " << t_off;
    EXPECT_LT(share_error, 1e-6) << "speeds out of the distance ratio at t = " << t_share;
    EXPECT_GE(slowest, v0 * 0.99);
    EXPECT_NEAR(top, vm, vm * 0.005);
    EXPECT_GT(moving, 0.9 * want / kLogInterval);
    // Direction of travel: each axis moves toward its own end point.
    const PairSample &mid = path[path.size() / 2];
    EXPECT_EQ(mid.x > 0, c.da > 0);
    EXPECT_EQ(mid.y > 0, c.db > 0);
  }
}

TEST_F(LineMotion, AbsoluteLineFromAnOffsetStartAndAShortLineThatPeaksEarly) {
  OpenCards(1);
  k4160_set_position(0, 1500);
  k4160_set_position(1, -700);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  const double t0 = Now();
  k4160_t_line2(0, -1500, 1, 3300, 1);  // to (-1500, 3300): distances -3000 and 4000
  const double took = WaitDone({0, 1}) - t0;
  EXPECT_EQ(k4160_get_position(0), -1500);
  EXPECT_EQ(k4160_get_position(1), 3300);
  const double want = PointMoveTime(5000, 1000, 5000, 0.1, 0.1);
  EXPECT_NEAR(took, want, want * 0.005);

  // A line too short for both ramps turns where they meet: along the path
  // the acceleration is (vm - v0) / ta, so the peak v satisfies
  // v^2 = v0^2 + a L and the move takes 2 (v - v0) / a.
  const double a = (5000.0 - 1000.0) / 0.1;
  const double length = 250.0;  // 150 / 200
  const double vp = std::sqrt(1000.0 * 1000.0 + a * length);
  ASSERT_LT(vp, 5000.0);
  const double want_short = 2.0 * (vp - 1000.0) / a;
  const double t1 = Now();
  k4160_t_line2(0, 150, 1, -200, 0);
  const double took_short = WaitDone({0, 1}) - t1;
  EXPECT_NEAR(took_short, want_short, want_short * 0.005 + 2 * kPollStep);
  EXPECT_EQ(k4160_get_position(0), -1350);
  EXPECT_EQ(k4160_get_position(1), 3100);
}

}  // namespace
}  // namespace kpx::test
