// The user-unit layer: the pulse equivalent store, the truncation of unit
// values to pulses, and that every _unitmm function produces exactly the
// register traffic of its pulse function called with the converted values.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class Units : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    motion::ClearAllProfiles();  // profile records outlive a test
  }
  // Traffic of the pulse call and of the unit call from the same card state.
  void ExpectSameTraffic(const std::function<void()> &pulse_call, const std::function<int32_t()> &unit_call) {
    const CardState before = SaveCardState();
    kpx4160_sim_trace_clear();
    pulse_call();
    const auto want = DecodedTrace();
    ASSERT_FALSE(want.empty());
    RestoreCardState(before);
    kpx4160_sim_trace_clear();
    EXPECT_EQ(unit_call(), 1);
    EXPECT_EQ(DecodedTrace(), want);
  }
  // The registers a move reads and changes (mode word, logical position) of
  // both chip axes of card 0.
  struct CardState {
    uint32_t mode[2];
    uint32_t position[2];
  };
  static CardState SaveCardState() {
    CardState s{};
    for (unsigned a = 0; a < 2; ++a) {
      s.mode[a] = kpx4160_sim_get_pcl_register(0, a, 0xD7);
      s.position[a] = kpx4160_sim_get_pcl_register(0, a, 0xE3);
    }
    return s;
  }
  // Ends whatever the pulse call started and puts the registers back.
  static void RestoreCardState(const CardState &s) {
    kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0);
    for (unsigned a = 0; a < 2; ++a) {
      kpx4160_sim_set_pcl_register(0, a, 0x97, s.mode[a]);
      kpx4160_sim_set_pcl_register(0, a, 0xA3, s.position[a]);
    }
  }
  static double Equiv(uint16_t axis) {
    double e = -1;
    EXPECT_EQ(k4160_get_equiv(axis, &e), 1);
    return e;
  }
};

TEST_F(Units, EquivalentStoreRefusesTinyValues) {
  ASSERT_EQ(k4160_set_equiv(3, 400.0), 1);
  EXPECT_EQ(Equiv(3), 400.0);
  EXPECT_EQ(k4160_set_equiv(3, 0.0000005), 2);
  EXPECT_EQ(k4160_set_equiv(3, 0.0), 2);
  EXPECT_EQ(k4160_set_equiv(3, -1.0), 2);
  EXPECT_EQ(Equiv(3), 400.0);
  EXPECT_EQ(k4160_set_equiv(3, 0.000001), 1);
  EXPECT_EQ(Equiv(3), 0.000001);
  EXPECT_EQ(k4160_set_equiv(3, std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_TRUE(std::isnan(Equiv(3)));
  // Other axes keep theirs; it lives in the axis's profile record.
  ASSERT_EQ(k4160_set_equiv(29, 2.5), 1);
  EXPECT_EQ(motion::ProfileFor(29)->pulse_equivalent, 2.5);
  EXPECT_TRUE(std::isnan(motion::ProfileFor(3)->pulse_equivalent));

  // No record beyond axis 29: refused, nothing read or written.
  EXPECT_EQ(k4160_set_equiv(30, 1.0), 2);
  double e = 7.0;
  EXPECT_EQ(k4160_get_equiv(30, &e), 0);
  EXPECT_EQ(k4160_get_equiv(0xFFFF, &e), 0);
  EXPECT_EQ(e, 7.0);
  EXPECT_EQ(k4160_get_equiv(3, nullptr), -1);
}

TEST_F(Units, PositionsTruncateTowardZero) {
  OpenCards(1);
  ASSERT_EQ(k4160_set_equiv(1, 400), 1);
  EXPECT_EQ(k4160_set_position_unitmm(1, 2.5), 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0xA3), 1000u);
  ASSERT_EQ(k4160_set_equiv(1, 100), 1);
  EXPECT_EQ(k4160_set_position_unitmm(1, 0.29), 1);  // 28.999999999999996 pulses
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0xA3), 28u);
  ASSERT_EQ(k4160_set_equiv(1, 1), 1);
  EXPECT_EQ(k4160_set_position_unitmm(1, -1.5), 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0xA3), static_cast<uint32_t>(-1));

  ASSERT_EQ(k4160_set_equiv(0, 400), 1);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, static_cast<uint32_t>(-1000));
  double pos = 0;
  EXPECT_EQ(k4160_get_position_unitmm(0, &pos), 1);
  EXPECT_EQ(pos, -2.5);
  EXPECT_EQ(k4160_get_position_unitmm(0, nullptr), -1);
}

// Each unit call against the pulse call it stands for, from the same state.
TEST_F(Units, UnitCallsPutThePulseCallsTrafficOnTheCard) {
  OpenCards(1);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  const struct { double e0, e1; std::function<void()> pulse; std::function<int32_t()> unit; } rows[] = {
      {1, 8, [] { k4160_set_encoder(1, -25); }, [] { return k4160_set_encoder_unitmm(1, -3.2); }},
      {400, 1, [] { k4160_set_profile(0, 1000, 2000, 0.1, 0.1); k4160_t_pmove(0, 1200, 0); },
       [] { k4160_set_profile(0, 1000, 2000, 0.1, 0.1); return k4160_t_pmove_unitmm(0, 3, 0); }},
      {400, 1, [] { k4160_t_pmove(0, -1200, 1); }, [] { return k4160_t_pmove_unitmm(0, -3, 1); }},
      {400, 1, [] { k4160_ex_t_pmove(0, 2000, 0); }, [] { return k4160_ex_t_pmove_unitmm(0, 5, 0); }},
      {400, 1, [] { k4160_s_pmove(0, 400, 0); }, [] { return k4160_s_pmove_unitmm(0, 1, 0); }},
      {400, 1, [] { k4160_ex_s_pmove(0, -800, 0); }, [] { return k4160_ex_s_pmove_unitmm(0, -2, 0); }},
      {400, 1, [] { k4160_reset_target_position(0, 1100); }, [] { return k4160_reset_target_position_unitmm(0, 2.75); }},
      {400, 200, [] { k4160_t_line2(0, 400, 1, 200, 0); }, [] { return k4160_t_line2_unitmm(0, 1, 1, 1, 0); }},
      {400, 200, [] { k4160_t_line2(1, -600, 0, 800, 1); }, [] { return k4160_t_line2_unitmm(1, -3, 0, 2, 1); }},
      {1, 400, [] { k4160_set_profile(1, 400, 4000, 0.2, 0.3); }, [] { return k4160_set_profile_unitmm(1, 1, 10, 0.2, 0.3); }},
      // S sections are whole pulses per second: 0.29 x 100 gives 28.
      {1, 100, [] { k4160_set_s_profile(1, 100, 1000, 0.2, 0.3, 28, 50); },
       [] { return k4160_set_s_profile_unitmm(1, 1, 10, 0.2, 0.3, 0.29, 0.5); }},
      {1, 100, [] { k4160_set_st_profile(1, 100, 1000, 0.2, 0.3, 0.05, 0.07); },
       [] { return k4160_set_st_profile_unitmm(1, 1, 10, 0.2, 0.3, 0.05, 0.07); }},
  };
  for (const auto &row : rows) {
    ASSERT_EQ(k4160_set_equiv(0, row.e0), 1);
    ASSERT_EQ(k4160_set_equiv(1, row.e1), 1);
    ExpectSameTraffic(row.pulse, row.unit);
  }
  // The traffic itself holds the converted distance, and counts read back in units.
  ASSERT_EQ(k4160_set_equiv(0, 400), 1);
  kpx4160_sim_trace_clear();
  k4160_t_pmove_unitmm(0, 3, 0);
  EXPECT_EQ(Only(DecodedTrace(), Op::kPclWrite).front(), PclWrite32(0, 0, 0x80, 1200));
  ASSERT_EQ(k4160_set_equiv(1, 8.0), 1);
  kpx4160_sim_set_pld_register(0, 0x10, 0x0FFFFFE7);  // -25 in the 28-bit count of chip axis 1
  double units = 0;
  EXPECT_EQ(k4160_get_encoder_unitmm(1, &units), 1);
  EXPECT_EQ(units, -25 / 8.0);
  EXPECT_EQ(k4160_get_encoder_unitmm(1, nullptr), -1);
}

TEST_F(Units, VectorProfileAndFixedRangeInUnits) {
  OpenCards(1);
  ASSERT_EQ(k4160_set_equiv(1, 400), 1);
  EXPECT_EQ(k4160_set_vector_profile_unitmm(1, 1, 10, 0.2, 0.3), 1);
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(v.start_speed, 400);
  EXPECT_EQ(v.max_speed, 4000);
  EXPECT_EQ(v.accel_time, 0.2);
  EXPECT_EQ(v.decel_time, 0.3);
  // Fixing the range at 250 units/s is fixing it at 100000 pulses/s: unit 10.
  EXPECT_EQ(k4160_variety_speed_range_unitmm(1, 1, 250), 1);
  EXPECT_EQ(motion::ProfileFor(1)->range_mode, 1);
  EXPECT_EQ(motion::ProfileFor(1)->magnification, 119);
  EXPECT_EQ(motion::ProfileFor(1)->fixed_max_speed, 100000);
}

TEST_F(Units, PresentSpeedInUnitsPerSecond) {
  OpenCards(1);
  ASSERT_EQ(k4160_set_equiv(0, 4), 1);
  kpx4160_sim_set_pcl_register(0, 0, 0xD5, 119);   // 10 pulses/s per count
  kpx4160_sim_set_pcl_register(0, 0, 0xF5, 1234);
  const double pulses = k4160_read_current_speed(0);
  ASSERT_GT(pulses, 0);
  double units = 0;
  EXPECT_EQ(k4160_read_current_speed_unitmm(0, &units), 1);
  EXPECT_EQ(units, pulses / 4);
  EXPECT_EQ(k4160_read_current_speed_unitmm(0, nullptr), -1);
}

TEST_F(Units, AxesWithoutRecordsAreRefusedAndStubsDoNothing) {
  OpenCards(1);
  double d = 3.0;
  EXPECT_EQ(k4160_get_position_unitmm(30, &d), 0);
  EXPECT_EQ(k4160_get_encoder_unitmm(31, &d), 0);
  EXPECT_EQ(k4160_read_current_speed_unitmm(40, &d), 0);
  EXPECT_EQ(d, 3.0);
  EXPECT_EQ(k4160_set_position_unitmm(30, 1), 0);
  EXPECT_EQ(k4160_set_encoder_unitmm(30, 1), 0);
  EXPECT_EQ(k4160_t_pmove_unitmm(30, 1, 0), 0);
  EXPECT_EQ(k4160_ex_t_pmove_unitmm(30, 1, 0), 0);
  EXPECT_EQ(k4160_s_pmove_unitmm(30, 1, 0), 0);
  EXPECT_EQ(k4160_ex_s_pmove_unitmm(30, 1, 0), 0);
  EXPECT_EQ(k4160_reset_target_position_unitmm(30, 1), 0);
  EXPECT_EQ(k4160_variety_speed_range_unitmm(30, 1, 100), 0);
  EXPECT_EQ(k4160_set_profile_unitmm(30, 1, 2, 0.1, 0.1), 0);
  EXPECT_EQ(k4160_set_s_profile_unitmm(30, 1, 2, 0.1, 0.1, 1, 1), 0);
  EXPECT_EQ(k4160_set_st_profile_unitmm(30, 1, 2, 0.1, 0.1, 0.01, 0.01), 0);
  EXPECT_EQ(k4160_t_line2_unitmm(0, 1, 30, 1, 0), 0);
  EXPECT_EQ(k4160_t_line2_unitmm(30, 1, 1, 1, 0), 0);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  EXPECT_EQ(k4160_set_vector_profile_unitmm(30, 1, 2, 0.1, 0.1), 0);
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 5000);

  EXPECT_EQ(k4160_t_line3_unitmm(), 1);
  EXPECT_EQ(k4160_t_line4_unitmm(), 1);
  EXPECT_EQ(Get_board_base(3), 1);
  EXPECT_TRUE(DecodedTrace().empty());
}

}  // namespace
}  // namespace kpx::test
