// The default state k4160_board_init leaves every card, axis and the vector
// profile in, and what k4160_board_rest restores.
#include <gtest/gtest.h>

#include <vector>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class BoardDefaults : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    motion::ClearAllProfiles();
  }
};

void ExpectDefaultRecord(uint16_t axis) {
  const motion::AxisProfile *p = motion::ProfileFor(axis);
  ASSERT_NE(p, nullptr);
  SCOPED_TRACE(axis);
  EXPECT_EQ(p->magnification, 1199u);
  EXPECT_EQ(p->start_speed, 1000u);
  EXPECT_EQ(p->max_speed, 2000u);
  EXPECT_EQ(p->accel_rate, 982u);
  EXPECT_EQ(p->decel_rate, 982u);
  EXPECT_EQ(p->range_mode, 0u);
  EXPECT_EQ(p->pulse_equivalent, 1.0);
  EXPECT_EQ(p->count_source, 0u);
}

TEST_F(BoardDefaults, InitLeavesEveryAxisAndTheVectorProfileInTheDefaultState) {
  kpx4160_sim_set_card_count(2);
  // Leftovers of an earlier program must not survive the defaults.
  motion::ProfileFor(3)->count_source = 7;
  motion::ProfileFor(3)->pulse_equivalent = 4.0;
  motion::ProfileFor(3)->range_mode = 1;  // a speed range left fixed
  ASSERT_EQ(k4160_board_init(), 2u);
  for (uint16_t axis = 0; axis < 4; ++axis) ExpectDefaultRecord(axis);
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(v.start_speed, 1000.0);
  EXPECT_EQ(v.max_speed, 5000.0);
  EXPECT_EQ(v.accel_time, 0.1);
  EXPECT_EQ(v.decel_time, 0.1);
  // The profile reached the chip: speed pre-registers of the last axis.
  EXPECT_EQ((kpx4160_sim_get_pcl_register(1, 1, 0x81) & 0xFFFFu), 1000u);
  EXPECT_EQ((kpx4160_sim_get_pcl_register(1, 1, 0x82) & 0xFFFFu), 2000u);
  EXPECT_EQ((kpx4160_sim_get_pcl_register(1, 1, 0x85) & 0xFFFFu), 1199u);
  // Outputs 15-20 read back on.
  EXPECT_EQ(k4160_read_outport(1) & 0xFC000u, 0xFC000u);
}

TEST_F(BoardDefaults, EachChipAxisSwitchesTheSixTerminalOutputsOnInOrder) {
  ASSERT_EQ(k4160_board_init(), 1u);
  std::vector<RegisterOp> terminals;
  for (const RegisterOp &o : Only(DecodedTrace(), Op::kCommand))
    if (o.code >= 0x10 && o.code <= 0x1F) terminals.push_back(o);
  std::vector<RegisterOp> once = {Command(0, 0, 0x1C), Command(0, 1, 0x1C), Command(0, 0, 0x1D),
                                  Command(0, 1, 0x1D), Command(0, 0, 0x1E), Command(0, 1, 0x1E)};
  std::vector<RegisterOp> want = once;
  want.insert(want.end(), once.begin(), once.end());
  EXPECT_EQ(terminals, want);
  EXPECT_EQ(kpx4160_sim_get_sub_status(0, 0) & 0x70u, 0x70u);
  EXPECT_EQ(kpx4160_sim_get_sub_status(0, 1) & 0x70u, 0x70u);
}

TEST_F(BoardDefaults, CardDefaultsComeBeforeTheChipAxesAreSetUp) {
  ASSERT_EQ(k4160_board_init(), 1u);
  const auto ops = DecodedTrace();
  // The latch mode's read-modify-write of PldConfig sits between the card's
  // PLD start-up writes and the first chip axis's start-up writes.
  size_t latch = ops.size(), first_chip = ops.size(), pld_startup = ops.size();
  for (size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].op == Op::kPldWrite && ops[i].code == 0x40 && pld_startup == ops.size()) pld_startup = i;
    if (ops[i].op == Op::kPldRead && ops[i].code == 0x78 && latch == ops.size()) latch = i;
    if (ops[i].op == Op::kPclWrite && ops[i].code == 0x9C && first_chip == ops.size()) first_chip = i;
  }
  ASSERT_LT(latch, ops.size());
  EXPECT_LT(pld_startup, latch);
  EXPECT_LT(latch, first_chip);
  EXPECT_NE(kpx4160_sim_get_pld_register(0, 0x78) & (1u << 7), 0u);
}

TEST_F(BoardDefaults, ResetRestoresOnlySpeedRangeAndPulseEquivalent) {
  ASSERT_EQ(k4160_board_init(), 1u);
  k4160_variety_speed_range(0, 1, 100000.0);  // fixed range
  k4160_set_profile(0, 500.0, 3000.0, 0.2, 0.3);
  k4160_set_equiv(0, 2.5);
  Set_cnt_src(0, 1);
  const motion::AxisProfile before = *motion::ProfileFor(0);
  ASSERT_EQ(before.range_mode, 1u);
  k4160_set_vector_profile(10.0, 20.0, 0.5, 0.5);

  k4160_board_rest();
  const motion::AxisProfile &after = *motion::ProfileFor(0);
  EXPECT_EQ(after.range_mode, 0u);
  EXPECT_EQ(after.pulse_equivalent, 1.0);
  EXPECT_EQ(after.start_speed, before.start_speed);
  EXPECT_EQ(after.max_speed, before.max_speed);
  EXPECT_EQ(after.accel_rate, before.accel_rate);
  EXPECT_EQ(after.decel_rate, before.decel_rate);
  EXPECT_EQ(after.magnification, before.magnification);
  EXPECT_EQ(after.count_source, 1u);
  EXPECT_EQ(motion::TheVectorProfile().start_speed, 10.0);
}

TEST_F(BoardDefaults, FailedSecondCardKeepsFirstCardDefaultsAndLeavesVectorProfileAlone) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT);
  ASSERT_EQ(k4160_board_init(), 1002u);
  ExpectDefaultRecord(0);
  ExpectDefaultRecord(1);
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(v.start_speed, 0.0);
  EXPECT_EQ(v.max_speed, 0.0);
  EXPECT_EQ(v.accel_time, 0.0);
  // Card 1's axes got nothing.
  EXPECT_EQ(motion::ProfileFor(2)->magnification, 0u);
  EXPECT_EQ(motion::ProfileFor(2)->pulse_equivalent, 0.0);
}

}  // namespace
}  // namespace kpx::test
