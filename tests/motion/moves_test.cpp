// Point and continuous moves: exact register traffic, mode-word masks,
// absolute targets and ramp-down points.
#include <gtest/gtest.h>

#include "motion/profile_compute.h"
#include "motion/ramp_down.h"
#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

class Moves : public MotionTest {
 protected:
  void DefaultProfile(uint16_t axis) { k4160_set_profile(axis, 1000, 2000, 0.1, 0.1); }
  void SetMode(uint32_t card, uint32_t chip_axis, uint32_t mode) {
    kpx4160_sim_set_pcl_register(card, chip_axis, 0xD7, mode);
    kpx4160_sim_trace_clear();
  }
};

using Ops = std::vector<RegisterOp>;

TEST_F(Moves, SymmetricTrapezoidStepOrder) {
  OpenCards(1);
  DefaultProfile(1);
  SetMode(0, 1, 0xFFFFFFFF);
  k4160_t_pmove(1, 1000, 0);
  EXPECT_EQ(DecodedTrace(), (Ops{PclWrite32(0, 1, 0x80, 1000), PclWrite32(0, 1, 0x86, 0),
                                 PclWrite16(0, 1, 0x84, 982), PclRead(0, 1, 0xD7, 0xFFFFFFFF),
                                 PclWrite32(0, 1, 0x87, 0xFBFF5BC1), Command(0, 1, 0x53)}));
  // The symmetric move leaves the record's deceleration values alone.
  EXPECT_EQ(Record(1).decel_rate, 982);
}

TEST_F(Moves, SymmetricSCurveStepOrderLoadsAccelerationSection) {
  OpenCards(1);
  k4160_set_s_profile(0, 1000, 2000, 0.1, 0.3, 100, 300);
  ASSERT_NE(Record(0).accel_rate, Record(0).decel_rate);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 1200);
  SetMode(0, 0, 0xFFFFFFFF);
  k4160_s_pmove(0, 5000, 1);
  EXPECT_EQ(DecodedTrace(),
            (Ops{PclWrite32(0, 0, 0x86, 0), PclWrite16(0, 0, 0x84, Record(0).accel_rate),
                 PclWrite16(0, 0, 0x8A, 100), PclRead(0, 0, 0xE3, 1200), PclWrite32(0, 0, 0x80, 3800),
                 PclRead(0, 0, 0xD7, 0xFFFFFFFF), PclWrite32(0, 0, 0x87, 0xFBFFDFC1), Command(0, 0, 0x53)}));
  EXPECT_EQ(Record(0).s_decel_section, 300);
}

TEST_F(Moves, ModeWordMasksOfEveryPointMove) {
  OpenCards(1);
  DefaultProfile(0);
  struct Case {
    void (*move)(uint16_t, int32_t, uint16_t);
    uint32_t from_ones, from_zero;
  } cases[] = {{k4160_t_pmove, 0xFBFF5BC1, 0x41},
               {k4160_s_pmove, 0xFBFFDFC1, 0x441},
               {k4160_ex_t_pmove, 0xFBFFFBC1, 0x2041},
               {k4160_ex_s_pmove, 0xFBFFFFC1, 0x2441}};
  for (const Case &c : cases) {
    SetMode(0, 0, 0xFFFFFFFF);
    c.move(0, 100, 0);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x87), c.from_ones);
    SetMode(0, 0, 0);
    c.move(0, 100, 0);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x87), c.from_zero);
    // In-position enable (bit 9) and bit 7 survive, bit 26 is cleared.
    SetMode(0, 0, 0x04000280);
    c.move(0, 100, 0);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x87) & 0x04000280u, 0x280u);
    // The mode goes to the pre-register only.
    EXPECT_EQ(Only(DecodedTrace(), Op::kPclWrite).back().code, 0x87u);
  }
}

TEST_F(Moves, AbsoluteTargetOnlyForModeOne) {
  OpenCards(1);
  DefaultProfile(0);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 1200);
  for (uint16_t mode : {uint16_t{0}, uint16_t{2}, uint16_t{0xFFFF}}) {
    kpx4160_sim_trace_clear();
    k4160_t_pmove(0, 5000, mode);
    const Ops reads = Only(DecodedTrace(), Op::kPclRead);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].code, 0xD7u);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x80), 5000u);
  }
  // The difference wraps in 32 bits.
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, 100);
  k4160_ex_t_pmove(0, INT32_MIN, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x80), 0x7FFFFF9Cu);
  kpx4160_sim_set_pcl_register(0, 0, 0xE3, static_cast<uint32_t>(-300));
  k4160_ex_s_pmove(0, -1000, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x80), static_cast<uint32_t>(-700));
}

TEST_F(Moves, AsymmetricTrapezoidRampDownPoints) {
  OpenCards(1);
  DefaultProfile(0);
  SetMode(0, 0, 0);
  k4160_ex_t_pmove(0, 10000, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 149u);
  // No write of 0x84 or 0x8A: the asymmetric move uses the profile's own.
  EXPECT_EQ(DecodedTrace(), (Ops{PclWrite32(0, 0, 0x80, 10000), PclWrite32(0, 0, 0x86, 149),
                                 PclRead(0, 0, 0xD7, 0), PclWrite32(0, 0, 0x87, 0x2041), Command(0, 0, 0x53)}));
  // Ramps that do not fit share the distance by rate + 1.
  k4160_ex_t_pmove(0, 200, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 100u);
  k4160_ex_t_pmove(0, -200, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 100u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x86), 100u);

  k4160_set_profile(0, 100, 100000, 0.5, 0.2);  // start 10, max 10000, rates 491 / 195, code 119
  k4160_ex_t_pmove(0, 1000000, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 9969u);
  k4160_ex_t_pmove(0, 1000, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 284u);  // 1000 x 196 / 688, not an even split
}

TEST_F(Moves, AsymmetricSCurveRampDownPoints) {
  OpenCards(1);
  k4160_set_s_profile(0, 1000, 2000, 0.1, 0.1, 100, 100);
  k4160_ex_s_pmove(0, 10000, 0);
  EXPECT_EQ(Record(0).ramp_down_point, 149u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x86), 149u);
  // Sections of 0 (never an S profile): S-shaped throughout, twice the
  // straight ramp's distance.
  DefaultProfile(1);
  ASSERT_EQ(Record(1).s_decel_section, 0);
  k4160_ex_s_pmove(1, 10000, 0);
  EXPECT_EQ(Record(1).ramp_down_point, 299u);
  k4160_ex_s_pmove(1, 300, 0);
  EXPECT_EQ(Record(1).ramp_down_point, 150u);
}

TEST_F(Moves, RampDownPointCapAndMostNegativeDistance) {
  OpenCards(1);
  motion::AxisProfile &p = Record(0);
  p = {};
  p.start_speed = 1;
  p.max_speed = 16383;
  p.accel_rate = p.decel_rate = 16383;
  p.magnification = 0;  // a 268 million pulse ramp
  for (int32_t distance : {INT32_MAX, INT32_MIN, -INT32_MAX}) {
    k4160_ex_t_pmove(0, distance, 0);
    EXPECT_EQ(p.ramp_down_point, 0xFFFFFFu);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x86), 0xFFFFFFu);
    k4160_ex_s_pmove(0, distance, 0);
    EXPECT_EQ(p.ramp_down_point, 0xFFFFFFu);
  }
  // -2147483648 counts as 2147483648 pulses: short ramps fit as they are.
  DefaultProfile(0);
  motion::ComputeRampDownPoint(p, INT32_MIN);
  EXPECT_EQ(p.ramp_down_point, 149u);
  motion::ComputeSRampDownPoint(p, INT32_MIN);
  EXPECT_EQ(p.ramp_down_point, 299u);
  // A zero distance leaves nothing to decelerate over.
  motion::ComputeRampDownPoint(p, 0);
  EXPECT_EQ(p.ramp_down_point, 0u);
}

TEST_F(Moves, ContinuousMovesWriteRunningModeRegister) {
  OpenCards(1);
  SetMode(0, 0, 0xFFFFFFFF);
  k4160_t_vmove(0, 0);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(0, 0, 0xD7, 0xFFFFFFFF), PclWrite32(0, 0, 0x97, 0xFBFFDB88),
                                 Command(0, 0, 0x53)}));
  SetMode(0, 1, 0xFFFFFFFF);
  k4160_s_vmove(1, 1);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(0, 1, 0xD7, 0xFFFFFFFF), PclWrite32(0, 1, 0x97, 0xFBFFDF80),
                                 Command(0, 1, 0x53)}));
  SetMode(0, 1, 0x200);
  k4160_s_vmove(1, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x97), 0x608u);
  SetMode(0, 0, 0x04002441);
  MOTION_default_const_vmove(0, 1);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(0, 0, 0xD7, 0x04002441), PclWrite32(0, 0, 0x97, 0), Command(0, 0, 0x50)}));
  // A direction above 1 touches nothing.
  kpx4160_sim_trace_clear();
  for (uint16_t dir : {uint16_t{2}, uint16_t{0xFFFF}}) {
    k4160_t_vmove(0, dir);
    k4160_s_vmove(0, dir);
    MOTION_default_const_vmove(0, dir);
  }
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(Moves, ResetTargetAndPulseLoop) {
  OpenCards(1);
  k4160_reset_target_position(1, -5);
  EXPECT_EQ(DecodedTrace(), (Ops{PclWrite32(0, 1, 0x90, 0xFFFFFFFB)}));

  DefaultProfile(1);
  kpx4160_sim_set_pld_register(0, 0x10, 1005);  // chip axis 1's PLD encoder count
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 1000);
  SetMode(0, 1, 0);
  EXPECT_EQ(k4160_pulse_loop(1), 1u);
  EXPECT_EQ(DecodedTrace(), (Ops{PldRead(0, 0x10, 1005), PclRead(0, 1, 0xE3, 1000), PclWrite32(0, 1, 0x80, 5),
                                 PclWrite32(0, 1, 0x86, 0), PclWrite16(0, 1, 0x84, 982), PclRead(0, 1, 0xD7, 0),
                                 PclWrite32(0, 1, 0x87, 0x41), Command(0, 1, 0x53)}));
  // A negative 28-bit count against a positive position.
  kpx4160_sim_set_pld_register(0, 0x10, 0x0FFFFFF6);  // -10
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 20);
  EXPECT_EQ(k4160_pulse_loop(1), 1u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x80), static_cast<uint32_t>(-30));
}

// Axes 30 and 31 exist on card 15 but have no profile record: every call
// that needs one reaches no card; a stop that needs none still does.
TEST_F(Moves, AxisNumbersOfThirtyAndAboveAreRefused) {
  OpenCards(16);
  EXPECT_EQ(motion::ProfileFor(29), &Record(29));
  EXPECT_EQ(motion::ProfileFor(14, 1), &Record(29));
  EXPECT_EQ(motion::ProfileFor(15, 0), nullptr);
  EXPECT_EQ(motion::ProfileFor(0, 2), nullptr);
  DefaultProfile(29);
  kpx4160_sim_trace_clear();
  k4160_t_pmove(29, 10, 0);
  EXPECT_FALSE(OnAxis(DecodedTrace(), 14, 1).empty());
  kpx4160_sim_trace_clear();
  for (uint16_t axis : {uint16_t{30}, uint16_t{31}, uint16_t{0xFFFF}}) {
    EXPECT_EQ(motion::ProfileFor(axis), nullptr);
    k4160_variety_speed_range(axis, 1, 1000);
    k4160_variety_speed_range_org(axis, 1, 1000);
    k4160_set_profile(axis, 1000, 2000, 0.1, 0.1);
    k4160_set_s_profile(axis, 1000, 2000, 0.1, 0.1, 10, 10);
    k4160_set_st_profile(axis, 1000, 2000, 0.1, 0.1, 0.01, 0.01);
    motion::ComputeTrapezoidProfile(static_cast<uint16_t>(axis >> 1), axis & 1, 1, 2, 3, 4);
    motion::WriteProfileRegisters(static_cast<uint16_t>(axis >> 1), axis & 1);
    k4160_t_pmove(axis, 10, 1);
    k4160_s_pmove(axis, 10, 1);
    k4160_ex_t_pmove(axis, 10, 1);
    k4160_ex_s_pmove(axis, 10, 1);
    k4160_t_vmove(axis, 1);
    k4160_s_vmove(axis, 1);
    MOTION_default_const_vmove(axis, 1);
    EXPECT_EQ(k4160_pulse_loop(axis), 0u);
    k4160_decel_stop(axis, 0.1);
    k4160_change_speed(axis, 100);
  }
  EXPECT_TRUE(DecodedTrace().empty());
  k4160_imd_stop(31);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(15, 1, 0x49)}));
}

}  // namespace
}  // namespace kpx::test
