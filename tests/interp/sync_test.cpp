// Multi-axis point moves and the synchronisation options.
#include <gtest/gtest.h>

#include "io/field_harness.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class SyncMoves : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

TEST_F(SyncMoves, RejectionsWriteNothing) {
  const uint16_t axes[] = {0, 1};
  const uint16_t far_axes[] = {0, 30};
  const int32_t dist[] = {1000, -500};
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_set_t_move_all(0, axes, dist, 0), -1);
  EXPECT_EQ(k4160_set_t_move_all(2, nullptr, dist, 0), -1);
  EXPECT_EQ(k4160_set_t_move_all(2, axes, nullptr, 0), -1);
  EXPECT_EQ(k4160_set_t_move_all(2, axes, dist, 2), -1);
  EXPECT_EQ(k4160_set_t_move_all(2, far_axes, dist, 0), -1);  // the first axis is not touched either
  EXPECT_EQ(k4160_set_sync_option(1, 2, 0, 0, 0), -1);
  EXPECT_EQ(k4160_set_sync_option(1, 0, 2, 0, 0), -1);
  EXPECT_EQ(k4160_set_sync_option(1, 0, 0, 4, 0), -1);
  EXPECT_EQ(k4160_set_sync_stop_mode(1, 2), -1);
  EXPECT_TRUE(DecodedTrace().empty());
}

TEST_F(SyncMoves, MoveAllProgramsEachAxisCompletelyInListOrder) {
  k4160_set_profile(2, 1000.0, 2000.0, 0.1, 0.1);
  k4160_set_profile(1, 1000.0, 2000.0, 0.2, 0.2);
  const uint16_t rate2 = static_cast<uint16_t>(kpx4160_sim_get_pcl_register(1, 0, 0x83) & 0xFFFF);
  const uint16_t rate1 = static_cast<uint16_t>(kpx4160_sim_get_pcl_register(0, 1, 0x83) & 0xFFFF);
  ASSERT_NE(rate1, rate2);
  kpx4160_sim_set_pcl_register(1, 0, 0x97, 0xFFFFFFFF);
  kpx4160_sim_set_pcl_register(0, 1, 0x97, 0x030C0000);  // sync fields pass through
  kpx4160_sim_set_pcl_register(1, 0, 0xE3, 250);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, static_cast<uint32_t>(-100));
  kpx4160_sim_trace_clear();
  const uint16_t axes[] = {2, 1};
  const int32_t dist[] = {1000, -500};
  EXPECT_EQ(k4160_set_t_move_all(2, axes, dist, 0), 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{
                                PclWrite32(1, 0, 0x80, 1000), PclWrite32(1, 0, 0x86, 0), PclWrite16(1, 0, 0x84, rate2),
                                PclRead(1, 0, 0xD7, 0xFFFFFFFF), PclWrite32(1, 0, 0x87, 0xFBFF5BC1), Command(1, 0, 0x53),
                                PclWrite32(0, 1, 0x80, static_cast<uint32_t>(-500)), PclWrite32(0, 1, 0x86, 0),
                                PclWrite16(0, 1, 0x84, rate1), PclRead(0, 1, 0xD7, 0x030C0000),
                                PclWrite32(0, 1, 0x87, 0x030C0041), Command(0, 1, 0x53)}));
  // Absolute targets: the logical position is read first and subtracted.
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_set_t_move_all(2, axes, dist, 1), 1);
  const auto writes = Only(DecodedTrace(), Op::kPclWrite);
  const auto reads = Only(DecodedTrace(), Op::kPclRead);
  ASSERT_EQ(reads.size(), 4u);
  EXPECT_EQ(reads[0], PclRead(1, 0, 0xE3, 250));
  EXPECT_EQ(writes[0], PclWrite32(1, 0, 0x80, 750));
  EXPECT_EQ(reads[2], PclRead(0, 1, 0xE3, static_cast<uint32_t>(-100)));
  EXPECT_EQ(writes[4], PclWrite32(0, 1, 0x80, static_cast<uint32_t>(-400)));
}

// The list form programs each axis exactly as a single relative or absolute
// point move of that axis does.
TEST_F(SyncMoves, MoveAllMatchesSinglePointMoves) {
  k4160_set_profile(0, 1000.0, 2000.0, 0.1, 0.1);
  k4160_set_profile(1, 500.0, 8000.0, 0.3, 0.3);
  for (uint16_t posi_mode : {uint16_t{0}, uint16_t{1}}) {
    SCOPED_TRACE(posi_mode);
    auto prepare = [] {
      kpx4160_sim_set_pcl_register(0, 0, 0x97, 0x0F0CA5FF);
      kpx4160_sim_set_pcl_register(0, 1, 0x97, 0x3000000);
      kpx4160_sim_set_pcl_register(0, 0, 0xE3, 77);
      kpx4160_sim_set_pcl_register(0, 1, 0xE3, static_cast<uint32_t>(-9));
      kpx4160_sim_trace_clear();
    };
    prepare();
    k4160_t_pmove(0, 1000, posi_mode);
    k4160_t_pmove(1, -500, posi_mode);
    const auto singles = DecodedTrace();
    prepare();
    const uint16_t axes[] = {0, 1};
    const int32_t dist[] = {1000, -500};
    EXPECT_EQ(k4160_set_t_move_all(2, axes, dist, posi_mode), 1);
    EXPECT_EQ(DecodedTrace(), singles);
    EXPECT_FALSE(singles.empty());
  }
}

TEST_F(SyncMoves, StartAllIssuesSimultaneousStart) {
  EXPECT_EQ(k4160_start_move_all(3), 1);
  EXPECT_EQ(k4160_start_move_all(40), 1);  // no such card: nothing reaches a card, still 1
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(1, 1, 0x06)}));
}

TEST_F(SyncMoves, SyncFieldsInOperationModeAndSignalConfig1) {
  RunPclFieldSteps(0x97, {
      {"flag1, mode 3", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_option(a, 1, 0, 3, 9), 1); return Change{0x030C0000, 0x010C0000}; }},
      {"flag2, mode 1", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_option(a, 0, 1, 1, 0), 1); return Change{0x030C0000, 0x02040000}; }},
      {"mode 4 rejected", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_option(a, 1, 1, 4, 0), -1); return Change{0, 0}; }},
      {"all off", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_option(a, 0, 0, 0, 0), 1); return Change{0x030C0000, 0}; }},
      {"SD enable next to them", [](uint16_t a) { k4160_config_SD_PIN(a, 1, 0, 0); return Change{B(8), B(8)}; }},
  });
  RunPclFieldSteps(0x9C, {
      {"sync stop 1", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_stop_mode(a, 1), 1); return Change{B(19), B(19)}; }},
      {"CSTA beside it", [](uint16_t a) { k4160_config_CSTA_PIN(a, 1); return Change{B(18), B(18)}; }},
      {"sync stop 0", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_stop_mode(a, 0), 1); return Change{B(19), 0}; }},
      {"sync stop 2 rejected", [](uint16_t a) { EXPECT_EQ(k4160_set_sync_stop_mode(a, 2), -1); return Change{0, 0}; }},
  });
}

}  // namespace
}  // namespace kpx::test
