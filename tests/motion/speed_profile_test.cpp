// Speed range choice and the speed pre-registers every profile setter loads.
// Expected register values are worked out by hand from the chip's rules:
// unit = 1200 / (M + 1) pulses/s for magnification code M; a straight ramp of
// rate R over a span of D units takes (R + 1) * 2D / 19660800 s, an S ramp with
// section S takes (R + 1) * (D + 2S) / 9830400 s; every register is truncated
// and clamped to 1..16383 (sections 1..8191); what is not finite clamps low.
#include <gtest/gtest.h>

#include "motion/speed_range.h"
#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

class SpeedProfile : public MotionTest {};

TEST(SpeedRangeTable, BoundsAreInclusiveAndSearchedInOrder) {
  const struct { double speed; int32_t result; uint16_t code, unit; } rows[] = {
      {0, 0, 1199, 1},       {16383, 0, 1199, 1},    {16383.5, 0, 119, 10},
      {163830, 0, 119, 10},  {163830.1, 0, 23, 50},  {819150, 0, 23, 50},
      {819151, 0, 5, 200},   {3276600, 0, 5, 200},   {3276601, 0, 2, 400},
      {6553200, 0, 2, 400},  {6553201, 0, 1, 600},   {9829800, 0, 1, 600},
      {9829800.5, -2, 7, 7}, {kNaN, -2, 7, 7},       {-0.5, -1, 7, 7},
  };
  for (const auto &row : rows) {
    uint16_t code = 7, unit = 7;  // a refused speed leaves the outputs alone
    EXPECT_EQ(motion::LookupSpeedRange(row.speed, &code, &unit), row.result) << row.speed;
    EXPECT_EQ(code, row.code) << row.speed;
    EXPECT_EQ(unit, row.unit) << row.speed;
  }
}

// Axis 3 is card 1, chip axis 1. Each row: the calls, then the pre-registers
// they load in this order: start 0x81, max 0x82, accel 0x83, decel 0x84,
// S sections 0x89 / 0x8A (S profiles only), magnification 0x85 last.
struct ProfileRow {
  void (*set)();
  uint16_t start, max, accel, decel, mag;
  int s_accel = -1, s_decel = -1;
};

void Fixed(uint16_t mode, double speed) { k4160_variety_speed_range(3, mode, speed); }
void Profile(double start, double max) { k4160_set_profile(3, start, max, 0.1, 0.1); }

TEST_F(SpeedProfile, PreRegistersOfEverySetter) {
  OpenCards(2);
  const ProfileRow rows[] = {
      {[] { k4160_set_profile(3, 1000, 2000, 0.1, 0.1); }, 1000, 2000, 982, 982, 1199},
      {[] { k4160_set_profile(3, 100, 100000, 0.5, 0.2); }, 10, 10000, 491, 195, 119},  // unit 10
      {[] { k4160_set_profile(3, 3000, 2000, 0.1, 0.1); }, 3000, 3000, 1, 1, 1199},  // start above max
      {[] { k4160_set_profile(3, 0, 2000, 0.1, 0.1); }, 1, 2000, 490, 490, 1199},
      {[] { k4160_set_profile(3, 1000, 2000, -1.0, kNaN); }, 1000, 2000, 1, 1, 1199},
      {[] { k4160_set_profile(3, 1000, 2000, kInf, 100.0); }, 1000, 2000, 1, 16383, 1199},
      {[] { k4160_set_profile(3, 1000, 2000, 0.1, 0); }, 1000, 2000, 982, 982, 1199},  // decel 0: accel's
      {[] { k4160_set_profile(3, -10, 9829801, 0.3, 0.3); }, 1000, 2000, 982, 982, 1199},  // no range: reloaded
      {[] { k4160_set_profile(3, 600, 9829800, 0.1, 0.1); }, 1, 16383, 59, 59, 1},
      {[] { k4160_set_s_profile(3, 1000, 2000, 0.1, 0.1, 100, 100); }, 1000, 2000, 818, 818, 1199, 100, 100},
      {[] { k4160_set_s_profile(3, 100, 100000, 0.5, 0.2, 1000, 20000); }, 10, 10000, 481, 139, 119, 100, 2000},
      {[] { k4160_set_s_profile(3, 1000, 2000, 0.1, 0, 100, 100); }, 1000, 2000, 818, 1, 1199, 100, 100},
      {[] { k4160_set_s_profile(3, 1000, 2000, 0.1, 0.1, -50, 100000); }, 1000, 2000, 980, 55, 1199, 1, 8191},
      {[] { k4160_set_s_profile(3, 2000, 2000, 0.1, 0.1, 500, 500); }, 2000, 2000, 1, 1, 1199, 1, 1},
      // Sections from times: trunc(s_time / 2 / (ramp time - s_time) / unit + start).
      {[] { k4160_set_st_profile(3, 1000, 2000, 0.1, 0.2, 0.05, 0.1); }, 1000, 2000, 326, 654, 1199, 1000, 1000},
      {[] { k4160_set_st_profile(3, 10000, 16000, 0.1, 0.1, 0.1, 0); }, 10000, 16000, 162, 42, 1199, 1, 8191},
      {[] { k4160_set_st_profile(3, 1000, 1000.5, 0.1, 0.1, 0.01, 0.01); }, 1000, 1000, 1, 1, 1199, 1, 1},
      // A fixed range caps the speeds and keeps its unit; it writes nothing itself.
      {[] { Fixed(1, 100000); Profile(1000, 200000); }, 100, 10000, 98, 98, 119},
      {[] { Fixed(0, 6553600); Profile(1000, 2000); }, 1000, 2000, 982, 982, 1199},
      {[] { Fixed(1, 8000000); Profile(600, 8000000); }, 1, 10922, 89, 89, 1},
      // Refused: mode above 1, NaN, below 1 pulse/s; the fixed unit-600 range stays.
      {[] { Fixed(2, 50000); Profile(1200, 2400); }, 2, 4, 16383, 16383, 1},
      {[] { Fixed(1, kNaN); Profile(1200, 2400); }, 2, 4, 16383, 16383, 1},
      {[] { Fixed(0, 0.99); Profile(1200, 2400); }, 2, 4, 16383, 16383, 1},
      {[] { Fixed(1, 1.0); Profile(1200, 2400); }, 1, 1, 1, 1, 1199},
      // The older computation: unit = max / 16384 + 1 (7.10 here, truncated to 7
      // for the speeds), magnification trunc(19660800 / (unit x 16384) - 1).
      {[] { k4160_variety_speed_range_org(3, 1, 100000); Profile(1000, 2000); }, 142, 285, 6880, 6880, 167},
      {[] { k4160_variety_speed_range_org(3, 1, 1e12); Profile(4010, 8020); }, 10, 20, 16383, 16383, 1},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const ProfileRow &r = rows[i];
    Ops want{PclWrite16(1, 1, 0x81, r.start), PclWrite16(1, 1, 0x82, r.max), PclWrite16(1, 1, 0x83, r.accel),
             PclWrite16(1, 1, 0x84, r.decel)};
    if (r.s_accel >= 0) want.push_back(PclWrite16(1, 1, 0x89, r.s_accel));
    if (r.s_decel >= 0) want.push_back(PclWrite16(1, 1, 0x8A, r.s_decel));
    want.push_back(PclWrite16(1, 1, 0x85, r.mag));
    kpx4160_sim_trace_clear();
    r.set();
    EXPECT_EQ(DecodedTrace(), want) << "row " << i;
  }
}

}  // namespace
}  // namespace kpx::test
