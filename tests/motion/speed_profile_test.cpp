// Speed range choice, profile computation and the speed pre-register writes.
#include <gtest/gtest.h>

#include "motion/conversions.h"
#include "motion/profile_compute.h"
#include "motion/speed_range.h"
#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

using motion::AxisProfile;

class SpeedProfile : public MotionTest {};

struct Speeds {
  uint16_t start, max, accel, decel, mag;
};

void ExpectSpeeds(const AxisProfile &p, Speeds s) {
  EXPECT_EQ(p.start_speed, s.start);
  EXPECT_EQ(p.max_speed, s.max);
  EXPECT_EQ(p.accel_rate, s.accel);
  EXPECT_EQ(p.decel_rate, s.decel);
  EXPECT_EQ(p.magnification, s.mag);
}

TEST(Conversions, TruncationAndNonFiniteValues) {
  using motion::Trunc32;
  using motion::Trunc64;
  EXPECT_EQ(Trunc32(982.999), 982);
  EXPECT_EQ(Trunc32(-982.999), -982);
  EXPECT_EQ(Trunc32(2147483647.9), 2147483647);
  EXPECT_EQ(Trunc32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(Trunc32(2147483648.0), INT32_MIN);
  EXPECT_EQ(Trunc32(kNaN), INT32_MIN);
  EXPECT_EQ(Trunc32(kInf), INT32_MIN);
  EXPECT_EQ(Trunc32(-kInf), INT32_MIN);
  EXPECT_EQ(Trunc64(5e18), 5000000000000000000LL);
  EXPECT_EQ(Trunc64(9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(Trunc64(kNaN), INT64_MIN);
  EXPECT_EQ(motion::Low16(Trunc64(kNaN)), 0);
  EXPECT_EQ(motion::Low32(Trunc64(kInf)), 0u);
  EXPECT_EQ(motion::Low16(70000), 70000 - 65536);
}

TEST(SpeedRangeTable, BoundsAreInclusiveAndSearchedInOrder) {
  uint16_t code = 7, unit = 7;
  struct Case {
    double speed;
    uint16_t code, unit;
  } cases[] = {{0, 1199, 1},        {16383, 1199, 1},  {16383.5, 119, 10}, {163830, 119, 10}, {163830.1, 23, 50},
               {819150, 23, 50},    {3276600, 5, 200}, {3276601, 2, 400},  {6553200, 2, 400}, {6553201, 1, 600},
               {9829800, 1, 600}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.speed);
    ASSERT_EQ(motion::LookupSpeedRange(c.speed, &code, &unit), 0);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(unit, c.unit);
  }
  code = unit = 7;
  EXPECT_EQ(motion::LookupSpeedRange(9829800.5, &code, &unit), -2);
  EXPECT_EQ(motion::LookupSpeedRange(kInf, &code, &unit), -2);
  EXPECT_EQ(motion::LookupSpeedRange(kNaN, &code, &unit), -2);
  EXPECT_EQ(motion::LookupSpeedRange(-0.5, &code, &unit), -1);
  EXPECT_EQ(code, 7);  // failures leave the outputs alone
  EXPECT_EQ(unit, 7);
  EXPECT_EQ(motion::ClampToRange(0, 1, 16383), 1);
  EXPECT_EQ(motion::ClampToRange(16384, 1, 16383), 16383);
  EXPECT_EQ(motion::ClampToRange(500, 1, 16383), 500);
  EXPECT_EQ(motion::ClampToRange(INT32_MIN, 1, 16383), 1);
}

TEST_F(SpeedProfile, TrapezoidWorkedValuesAndRegisterOrder) {
  OpenCards(2);
  k4160_set_profile(3, 1000, 2000, 0.1, 0.1);
  ExpectSpeeds(Record(3), {1000, 2000, 982, 982, 1199});
  EXPECT_EQ(Record(3).speed_unit, 1.0);
  // Card 1, chip axis 1; one 16-bit write each, magnification last.
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite16(1, 1, 0x81, 1000), PclWrite16(1, 1, 0x82, 2000),
                                                     PclWrite16(1, 1, 0x83, 982), PclWrite16(1, 1, 0x84, 982),
                                                     PclWrite16(1, 1, 0x85, 1199)}));
  kpx4160_sim_trace_clear();
  k4160_set_profile(0, 100, 100000, 0.5, 0.2);
  ExpectSpeeds(Record(0), {10, 10000, 491, 195, 119});
  EXPECT_EQ(Record(0).speed_unit, 10.0);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite16(0, 0, 0x81, 10), PclWrite16(0, 0, 0x82, 10000),
                                                     PclWrite16(0, 0, 0x83, 491), PclWrite16(0, 0, 0x84, 195),
                                                     PclWrite16(0, 0, 0x85, 119)}));
  ExpectSpeeds(Record(3), {1000, 2000, 982, 982, 1199});  // other axis untouched
}

TEST_F(SpeedProfile, TrapezoidDegenerateInputs) {
  OpenCards(1);
  // Start above maximum: constant speed at the start speed.
  k4160_set_profile(0, 3000, 2000, 0.1, 0.1);
  ExpectSpeeds(Record(0), {3000, 3000, 1, 1, 1199});
  // A zero deceleration time takes the acceleration time.
  k4160_set_profile(0, 1000, 2000, 0.1, 0);
  ExpectSpeeds(Record(0), {1000, 2000, 982, 982, 1199});
  // Start speed 0 never gives a 0 register.
  k4160_set_profile(0, 0, 2000, 0.1, 0.1);
  EXPECT_EQ(Record(0).start_speed, 1);
  // Negative, NaN and infinite times clamp to the steepest rate, huge to 16383.
  k4160_set_profile(1, 1000, 2000, -1.0, kNaN);
  ExpectSpeeds(Record(1), {1000, 2000, 1, 1, 1199});
  k4160_set_profile(1, 1000, 2000, kInf, 100.0);
  ExpectSpeeds(Record(1), {1000, 2000, 1, 16383, 1199});
  // A quotient beyond 32 bits is out of range too: lower bound, not upper.
  k4160_set_profile(1, 1000, 2000, 1e9, 1e9);
  ExpectSpeeds(Record(1), {1000, 2000, 1, 1, 1199});
  // A NaN start speed: lo/unit is not finite and clamps to 1.
  k4160_set_profile(1, kNaN, 2000, 0.1, 0.1);
  EXPECT_EQ(Record(1).start_speed, 1);
}

TEST_F(SpeedProfile, SpeedOutsideTableKeepsRecordButRewritesIt) {
  OpenCards(1);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  for (double bad : {9829801.0, -5.0, kInf, kNaN}) {
    SCOPED_TRACE(bad);
    kpx4160_sim_trace_clear();
    k4160_set_profile(0, -10, bad, 0.3, 0.3);
    ExpectSpeeds(Record(0), {1000, 2000, 982, 982, 1199});
    EXPECT_EQ(Only(DecodedTrace(), Op::kPclWrite),
              (std::vector<RegisterOp>{PclWrite16(0, 0, 0x81, 1000), PclWrite16(0, 0, 0x82, 2000),
                                       PclWrite16(0, 0, 0x83, 982), PclWrite16(0, 0, 0x84, 982),
                                       PclWrite16(0, 0, 0x85, 1199)}));
  }
  // 9829800 itself is in the table: code 1, unit 600.
  k4160_set_profile(0, 600, 9829800, 0.1, 0.1);
  EXPECT_EQ(Record(0).magnification, 1);
  EXPECT_EQ(Record(0).max_speed, 16383);
}

TEST_F(SpeedProfile, SCurveWorkedValuesAndRegisterOrder) {
  OpenCards(1);
  k4160_set_s_profile(1, 1000, 2000, 0.1, 0.1, 100, 100);
  const AxisProfile &p = Record(1);
  ExpectSpeeds(p, {1000, 2000, 818, 818, 1199});
  EXPECT_EQ(p.s_accel_section, 100);
  EXPECT_EQ(p.s_decel_section, 100);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite16(0, 1, 0x81, 1000), PclWrite16(0, 1, 0x82, 2000),
                                                     PclWrite16(0, 1, 0x83, 818), PclWrite16(0, 1, 0x84, 818),
                                                     PclWrite16(0, 1, 0x89, 100), PclWrite16(0, 1, 0x8A, 100),
                                                     PclWrite16(0, 1, 0x85, 1199)}));
  // Different sections per ramp, in units of the magnification (unit 10).
  k4160_set_s_profile(1, 100, 100000, 0.5, 0.2, 1000, 20000);
  EXPECT_EQ(p.magnification, 119);
  EXPECT_EQ(p.s_accel_section, 100);
  EXPECT_EQ(p.s_decel_section, 2000);
  EXPECT_EQ(p.accel_rate, 481);  // 0.5 x 9830400 / (200 + 9990) - 1
  EXPECT_EQ(p.decel_rate, 139);  // 0.2 x 9830400 / (4000 + 9990) - 1
  // No substitution of a zero deceleration time: the steepest rate.
  k4160_set_s_profile(1, 1000, 2000, 0.1, 0, 100, 100);
  EXPECT_EQ(p.decel_rate, 1);
  EXPECT_EQ(p.accel_rate, 818);
  // Sections clamp to 1..8191.
  k4160_set_s_profile(1, 1000, 2000, 0.1, 0.1, -50, 100000);
  EXPECT_EQ(p.s_accel_section, 1);
  EXPECT_EQ(p.s_decel_section, 8191);
  // Constant speed also sets both sections to 1.
  k4160_set_s_profile(1, 2000, 2000, 0.1, 0.1, 500, 500);
  ExpectSpeeds(p, {2000, 2000, 1, 1, 1199});
  EXPECT_EQ(p.s_accel_section, 1);
  EXPECT_EQ(p.s_decel_section, 1);
}

TEST_F(SpeedProfile, SCurveSectionsGivenAsTimes) {
  OpenCards(1);
  // Span 1000 units: section = trunc(s_time x 0.5 / (t - s_time) / unit + start).
  k4160_set_st_profile(0, 1000, 2000, 0.1, 0.2, 0.05, 0.1);
  const AxisProfile &p = Record(0);
  EXPECT_EQ(p.s_accel_section, 1000);   // 0.05 x 0.5 / 0.05 / 1 + 1000 = 1000.5
  EXPECT_EQ(p.s_decel_section, 1000);   // 0.1 x 0.5 / 0.1 + 1000
  EXPECT_EQ(p.accel_rate, 326);         // 0.1 x 9830400 / 3000 - 1 = 326.68
  EXPECT_EQ(p.decel_rate, 654);         // 0.2 x 9830400 / 3000 - 1 = 654.36
  EXPECT_EQ(Only(DecodedTrace(), Op::kPclWrite).size(), 7u);
  // Start speed above 8191 units clamps the section; an S time equal to the
  // ramp time divides by zero and still gives a clamped value.
  k4160_set_st_profile(0, 10000, 16000, 0.1, 0.1, 0.1, 0.0);
  EXPECT_EQ(p.s_accel_section, 1);     // inf + start is not finite: lower bound
  EXPECT_EQ(p.s_decel_section, 8191);  // 0 / 0.1 + 10000 -> 8191
  // The span is truncated to whole units before the constant-speed test:
  // 0.5 pulses/s of span is a constant-speed profile here.
  k4160_set_st_profile(0, 1000, 1000.5, 0.1, 0.1, 0.01, 0.01);
  ExpectSpeeds(p, {1000, 1000, 1, 1, 1199});
  EXPECT_EQ(p.s_accel_section, 1);
}

TEST_F(SpeedProfile, FixedRangeCapsSpeedsAndKeepsMagnification) {
  OpenCards(1);
  k4160_variety_speed_range(0, 1, 100000);
  AxisProfile &p = Record(0);
  EXPECT_EQ(p.range_mode, 1);
  EXPECT_EQ(p.magnification, 119);
  EXPECT_EQ(p.speed_unit, 10.0);
  EXPECT_EQ(p.fixed_speed_unit, 10.0);
  EXPECT_EQ(p.fixed_max_speed, 100000.0);
  EXPECT_TRUE(DecodedTrace().empty());  // no register write
  k4160_set_profile(0, 1000, 200000, 0.1, 0.1);
  ExpectSpeeds(p, {100, 10000, 98, 98, 119});
  // Back to automatic: the next profile chooses the range again.
  k4160_variety_speed_range(0, 0, 6553600);
  EXPECT_EQ(p.range_mode, 0);
  EXPECT_EQ(p.fixed_max_speed, 100000.0);  // stays, unused
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  ExpectSpeeds(p, {1000, 2000, 982, 982, 1199});

  k4160_variety_speed_range(1, 1, 8000000);
  EXPECT_EQ(Record(1).fixed_max_speed, 6553600.0);
  EXPECT_EQ(Record(1).magnification, 1);
  EXPECT_EQ(Record(1).speed_unit, 600.0);
}

TEST_F(SpeedProfile, FixedRangeRefusalsAndFailedLookup) {
  OpenCards(1);
  motion::ClearAllProfiles();  // undo the board defaults: a record never given a range
  AxisProfile &p = Record(0);
  // Never given a range: above the table sets the mode and the cap only.
  k4160_variety_speed_range(0, 1, 10000000);
  EXPECT_EQ(p.range_mode, 1);
  EXPECT_EQ(p.fixed_max_speed, 6553600.0);
  EXPECT_EQ(p.magnification, 0);
  EXPECT_EQ(p.speed_unit, 0.0);
  EXPECT_EQ(p.fixed_speed_unit, 0.0);
  // A profile on a fixed range of unit 0 clamps instead of dividing into UB.
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  EXPECT_EQ(p.start_speed, 1);
  EXPECT_EQ(p.max_speed, 1);
  EXPECT_EQ(p.accel_rate, 1);

  kpx4160_sim_trace_clear();
  k4160_variety_speed_range(1, 1, 100000);
  const AxisProfile before = Record(1);
  for (auto [mode, speed] : {std::pair<uint16_t, double>{1, 0.5}, {2, 50000}, {0, 0.99}, {1, kNaN}}) {
    k4160_variety_speed_range(1, mode, speed);
    EXPECT_EQ(Record(1).range_mode, before.range_mode);
    EXPECT_EQ(Record(1).fixed_max_speed, before.fixed_max_speed);
    EXPECT_EQ(Record(1).magnification, before.magnification);
  }
  // The older computation: unit 100000 / 16384 + 1, magnification from it.
  k4160_variety_speed_range_org(1, 1, 100000);
  EXPECT_DOUBLE_EQ(Record(1).speed_unit, 100000.0 / 16384.0 + 1.0);
  EXPECT_EQ(Record(1).fixed_speed_unit, Record(1).speed_unit);
  EXPECT_EQ(Record(1).magnification, 167);  // trunc(19660800 / (7.1035 x 16384) - 1)
  k4160_variety_speed_range_org(1, 1, 6553600);
  EXPECT_EQ(Record(1).magnification, 1);  // 19660800 / 6569984 - 1 = 1.99
  k4160_variety_speed_range_org(1, 1, 1e12);  // capped at 6553600
  EXPECT_EQ(Record(1).fixed_max_speed, 6553600.0);
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(SpeedProfile, VectorProfileStoredUnchecked) {
  k4160_set_vector_profile(1000, 5000, 0.1, -0.2);
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(v.start_speed, 1000.0);
  EXPECT_EQ(v.max_speed, 5000.0);
  EXPECT_EQ(v.accel_time, 0.1);
  EXPECT_EQ(v.decel_time, -0.2);
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(SpeedProfile, NothingReachesAClosedCard) {
  // The record is computed, the writes are dropped by the accessors.
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  EXPECT_EQ(Record(0).accel_rate, 982);
  EXPECT_TRUE(DecodedTrace().empty());
}

}  // namespace
}  // namespace kpx::test
