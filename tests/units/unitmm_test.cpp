// The user-unit layer: the pulse equivalent store, the truncation of unit
// values to pulses, and that every _unitmm function produces exactly the
// register traffic of its pulse function called with the converted values.
// Axes 30 and above have no profile record and so no equivalent: refused.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using Units = SimTest;

TEST_F(Units, EquivalentStoreAndConversionsBetweenUnitsAndPulses) {
  OpenCards(1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Axis, value, result, the axis's equivalent read back afterwards.
  const struct { uint16_t axis; double value; int32_t result; double stored; } rows[] = {
      {3, 400.0, 1, 400.0}, {3, 0.0000005, 2, 400.0}, {3, 0.0, 2, 400.0}, {3, -1.0, 2, 400.0},
      {3, 0.000001, 1, 0.000001}, {29, 2.5, 1, 2.5}, {3, nan, 1, nan}, {30, 1.0, 2, 7.0}, {0xFFFF, 1.0, 2, 7.0}};
  for (const auto &row : rows) {
    double e = 7.0;
    EXPECT_EQ(k4160_set_equiv(row.axis, row.value), row.result) << row.axis << " " << row.value;
    EXPECT_EQ(k4160_get_equiv(row.axis, &e), row.axis < 30 ? 1 : 0) << row.axis;
    EXPECT_TRUE(e == row.stored || (std::isnan(e) && std::isnan(row.stored))) << row.axis << " " << e;
  }
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_get_equiv(3, nullptr) + k4160_set_position_unitmm(30, 1), -1);
  EXPECT_EQ(k4160_variety_speed_range_unitmm(30, 1, 1) + k4160_set_vector_profile_unitmm(30, 1, 2, 0.1, 0.1), 0);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  // Positions written truncate toward zero; positions, encoder counts and present speed read back in
  // units; the vector profile and a fixed speed range are given in units.
  const struct { double e, units; int32_t pulses; } positions[] = {
      {400, 2.5, 1000}, {100, 0.29, 28} /* 28.999999999999996 pulses */, {1, -1.5, -1}};
  for (const auto &row : positions) {
    ASSERT_EQ(k4160_set_equiv(1, row.e), 1);
    EXPECT_EQ(k4160_set_position_unitmm(1, row.units), 1);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0xA3), static_cast<uint32_t>(row.pulses)) << row.units;
  }
  ASSERT_EQ(k4160_set_equiv(0, 4) + k4160_set_equiv(1, 8), 2);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, static_cast<uint32_t>(-1000));
  kpx4160_sim_set_pld_register(0, 0x10, 0x0FFFFFE7);  // -25 in the 28-bit count of chip axis 1
  kpx4160_sim_set_pcl_register(0, 0, 0xD5, 119);      // 10 pulses/s per count
  kpx4160_sim_set_pcl_register(0, 0, 0xF5, 1234);
  const struct { int32_t (*get)(uint16_t axis, double *value); uint16_t axis; double units; } reads[] = {
      {k4160_get_position_unitmm, 0, -250}, {k4160_get_encoder_unitmm, 1, -25 / 8.0},
      {k4160_read_current_speed_unitmm, 0, 12340 / 4.0}};
  for (const auto &r : reads) {
    double units = 0, untouched = 3;
    EXPECT_EQ(r.get(r.axis, &units), 1);
    EXPECT_EQ(units, r.units);
    EXPECT_EQ(r.get(r.axis, nullptr) + r.get(30, &untouched) + r.get(31, &untouched), -1);  // 30 up: refused
    EXPECT_EQ(untouched, 3);
  }
  ASSERT_EQ(k4160_set_equiv(1, 400), 1);
  EXPECT_EQ(k4160_set_vector_profile_unitmm(1, 1, 10, 0.2, 0.3), 1);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 4000.0);
  // Fixing the range at 250 units/s is fixing it at 100000 pulses/s: unit 10.
  EXPECT_EQ(k4160_variety_speed_range_unitmm(1, 1, 250), 1);
  const motion::AxisProfile &p = *motion::ProfileFor(1);
  EXPECT_EQ(std::tuple(p.range_mode, p.magnification, p.fixed_max_speed), std::tuple(1, 119, 100000.0));
}

// Each unit call against the pulse call it stands for, from the same state (the mode word and
// logical position a move reads and changes are put back in between); the same unit call with
// axis 30 is refused and touches nothing.
TEST_F(Units, UnitCallsPutThePulseCallsTrafficOnTheCard) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  const struct { uint16_t axis; double e0, e1; void (*pulse)(); int32_t (*unit)(int); } rows[] = {
      {1, 1, 8, [] { k4160_set_encoder(1, -25); }, [](int a) { return k4160_set_encoder_unitmm(a, -3.2); }},
      {0, 400, 1, [] { k4160_t_pmove(0, -1200, 1); }, [](int a) { return k4160_t_pmove_unitmm(a, -3, 1); }},
      {0, 400, 1, [] { k4160_ex_t_pmove(0, 2000, 0); }, [](int a) { return k4160_ex_t_pmove_unitmm(a, 5, 0); }},
      {0, 400, 1, [] { k4160_s_pmove(0, 400, 0); }, [](int a) { return k4160_s_pmove_unitmm(a, 1, 0); }},
      {0, 400, 1, [] { k4160_ex_s_pmove(0, -800, 0); }, [](int a) { return k4160_ex_s_pmove_unitmm(a, -2, 0); }},
      {0, 400, 1, [] { k4160_reset_target_position(0, 1100); },
       [](int a) { return k4160_reset_target_position_unitmm(a, 2.75); }},
      {1, 4, 2, [] { k4160_t_line2(0, 4, 1, 2, 0); }, [](int a) { return k4160_t_line2_unitmm(0, 1, a, 1, 0); }},
      {1, 4, 2, [] { k4160_t_line2(1, -6, 0, 8, 1); }, [](int a) { return k4160_t_line2_unitmm(a, -3, 0, 2, 1); }},
      {1, 1, 400, [] { k4160_set_profile(1, 400, 4000, 0.2, 0.3); },
       [](int a) { return k4160_set_profile_unitmm(a, 1, 10, 0.2, 0.3); }},
      // S sections are whole pulses per second: 0.29 x 100 gives 28.
      {1, 1, 100, [] { k4160_set_s_profile(1, 100, 1000, 0.2, 0.3, 28, 50); },
       [](int a) { return k4160_set_s_profile_unitmm(a, 1, 10, 0.2, 0.3, 0.29, 0.5); }},
      {1, 1, 100, [] { k4160_set_st_profile(1, 100, 1000, 0.2, 0.3, 0.05, 0.07); },
       [](int a) { return k4160_set_st_profile_unitmm(a, 1, 10, 0.2, 0.3, 0.05, 0.07); }}};
  uint32_t mode[2], position[2];
  for (unsigned a = 0; a < 2; ++a)
    mode[a] = kpx4160_sim_get_pcl_register(0, a, 0xD7), position[a] = kpx4160_sim_get_pcl_register(0, a, 0xE3);
  const auto traffic_of = [&](const std::function<int32_t()> &call, int32_t result) {
    kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0);  // ends whatever the last call started
    for (unsigned a = 0; a < 2; ++a)
      kpx4160_sim_set_pcl_register(0, a, 0x97, mode[a]), kpx4160_sim_set_pcl_register(0, a, 0xA3, position[a]);
    kpx4160_sim_trace_clear();
    EXPECT_EQ(call(), result);
    return DecodedTrace();
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    ASSERT_EQ(k4160_set_equiv(0, rows[i].e0) + k4160_set_equiv(1, rows[i].e1), 2);
    const auto want = traffic_of([&] { return rows[i].pulse(), 1; }, 1);
    EXPECT_FALSE(want.empty()) << "row " << i;
    EXPECT_EQ(traffic_of([&] { return rows[i].unit(rows[i].axis); }, 1), want) << "row " << i;
    EXPECT_TRUE(traffic_of([&] { return rows[i].unit(30); }, 0).empty()) << "row " << i;
  }
}

}  // namespace
}  // namespace kpx::test
