// The older command set: argument conversions and mode translations onto the
// main interface, checked at the registers they end in.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

constexpr unsigned kSignalConfig1 = 0x9C;
constexpr unsigned kOperationMode = 0x97;
constexpr unsigned kOperationModePre = 0x87;
constexpr unsigned kDistancePre = 0x80;
constexpr unsigned kCounterConfig = 0x40;
constexpr unsigned kLogicalPosition = 0xA3;

class LegacyTest : public SimTest {};

TEST_F(LegacyTest, ModeTranslationsEndInTheChipAndPldCodes) {
  OpenCards(1);
  // Pulse output: older mode 1 -> mode 4 -> code 4; 2 -> 2 -> 2; 3 -> mode 5 -> code 7;
  // other values pass through the main table (6 -> code 5).
  const struct { int32_t legacy; uint32_t code; } outmodes[] = {{1, 4}, {2, 2}, {3, 7}, {0, 0}, {6, 5}, {7, 6}};
  for (const auto &m : outmodes) {
    Set_pls_outmode(1, m.legacy);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, kSignalConfig1) & 0x7u, m.code) << "legacy mode " << m.legacy;
  }
  // Count input: 0, 1, 2, 3 -> 1, 2, 3, 0 in bits 0-1 of chip axis 1's byte.
  const struct { int32_t legacy; uint32_t mode; } inmodes[] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
  for (const auto &m : inmodes) {
    Set_pls_iptmode(1, m.legacy);
    const uint32_t cc = kpx4160_sim_get_pld_register(0, kCounterConfig);
    EXPECT_EQ((cc >> 8) & 0x3u, m.mode) << "legacy mode " << m.legacy;
    EXPECT_EQ(cc & 0xFFu, 0x38u) << "chip axis 0's byte untouched";
  }
}

TEST_F(LegacyTest, SdLogicAndStopModeChangeOnlyTheirBits) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 0, kSignalConfig1, 0xFFFFFF9Fu & ~0x10u);
  kpx4160_sim_set_pcl_register(0, 0, kOperationMode, 0x12345600u & ~0x100u);
  Set_sd_logic(0, 1, 5, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1), (0xFFFFFF9Fu & ~0x10u) | 0x60u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kOperationMode), (0x12345600u & ~0x100u) | 0x100u);
  Set_sd_logic(0, 0, 0, 2);  // only enable == 1 enables
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1), 0xFFFFFF9Fu & ~0x10u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kOperationMode), 0x12345600u & ~0x100u);
  Set_sd_stop_mode(0, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1), 0xFFFFFF9Fu);
  Set_sd_stop_mode(0, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1), 0xFFFFFF9Fu & ~0x10u);

  // Negative axes address no chip axis: nothing reaches the card.
  kpx4160_sim_trace_clear();
  Set_sd_logic(-1, 1, 1, 1);
  Set_sd_stop_mode(-1, 0);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(LegacyTest, InpLogicSwapsItsArgumentsAndErcUsesFixedCodes) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 0, kOperationMode, 0x200u);
  Set_inp_logic(0, 1, 0);  // logic 1, enable 0
  EXPECT_NE(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1) & (1u << 22), 0u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kOperationMode) & (1u << 9), 0u);
  Set_erc_enable(0, 5);
  // mode 3 in bits 10-11, logic 0 -> bit 15 set, code3 7 in bits 12-14, code2 1 in bits 16-17.
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1) & 0x3FC00u, (3u << 10) | (1u << 15) | (7u << 12) | (1u << 16));
  Set_erc_enable(0, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, kSignalConfig1) & 0x3FC00u, (1u << 15) | (7u << 12) | (1u << 16));
}

TEST_F(LegacyTest, PositionsAreTruncatedTowardZero) {
  OpenCards(1);
  const struct { double position; int32_t pulses; } cases[] = {{1000.9, 1000}, {-1000.9, -1000}, {0.5, 0}};
  for (const auto &c : cases) {
    kpx4160_sim_trace_clear();
    Start_a_move(1, c.position, 1000, 2000, 0.1);
    const auto writes = Only(OnAxis(DecodedTrace(), 0, 1), Op::kPclWrite);
    bool found = false;
    for (const auto &w : writes)
      if (w.code == kDistancePre) {
        EXPECT_EQ(static_cast<int32_t>(w.value), c.pulses) << c.position;
        found = true;
      }
    EXPECT_TRUE(found);
  }
  Set_command(0, -77.99);
  EXPECT_EQ(static_cast<int32_t>(kpx4160_sim_get_pcl_register(0, 0, kLogicalPosition)), -77);
}

TEST_F(LegacyTest, ContinuousMoveTakesSpeedMagnitudeAndSignAsDirection) {
  OpenCards(1);
  kpx4160_sim_trace_clear();
  V_move(0, 100, -2000, 0.1);
  const auto ops = OnAxis(DecodedTrace(), 0, 0);
  // Direction 0 puts 0x08 into the operation mode written to the register
  // itself, then the accelerating start.
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops.back(), Command(0, 0, 0x53));
  const auto &mode = ops[ops.size() - 2];
  EXPECT_EQ(mode.code, kOperationMode);
  EXPECT_EQ(mode.value & 0x7Fu, 0x08u);
  // The profile was loaded for 2000 pulses/s, not -2000: same registers as a
  // profile set with +2000 directly.
  std::vector<RegisterOp> legacy_profile;
  for (const auto &op : ops)
    if (op.op == Op::kPclWrite && op.code >= 0x81 && op.code <= 0x85) legacy_profile.push_back(op);
  kpx4160_sim_trace_clear();
  k4160_set_profile(0, 100, 2000, 0.1, 0.1);
  std::vector<RegisterOp> direct;
  for (const auto &op : OnAxis(DecodedTrace(), 0, 0))
    if (op.op == Op::kPclWrite && op.code >= 0x81 && op.code <= 0x85) direct.push_back(op);
  EXPECT_EQ(legacy_profile, direct);
  EXPECT_FALSE(direct.empty());
}

TEST_F(LegacyTest, CountSourceSwitchesPositionBetweenCounters) {
  OpenCards(1);
  constexpr unsigned kEncoderCount1 = 0x10;   // PLD encoder count, chip axis 1
  constexpr unsigned kEncoderPreset1 = 0x18;  // PLD encoder preset, chip axis 1
  kpx4160_sim_set_pld_register(0, kEncoderCount1, 0x0FFFFFFEu);  // -2 in 28 bits
  kpx4160_sim_set_pcl_register(0, 1, kLogicalPosition, 555);
  EXPECT_EQ(Get_position(1), 555.0);
  Set_cnt_src(1, 1);
  EXPECT_EQ(Get_position(1), -2.0);
  EXPECT_EQ(Get_command(1), 555.0);
  Set_position(1, 42.7);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, kEncoderPreset1), 42u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, kLogicalPosition), 555u);
  Set_cnt_src(1, 0);
  Set_position(1, 9.0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, kLogicalPosition), 9u);
  // Axes outside the table keep no count source and read the command counter.
  Set_cnt_src(-1, 1);
  Set_cnt_src(30, 1);
  Set_cnt_src(1000, 1);
  EXPECT_EQ(Get_position(1), 9.0);
}

TEST_F(LegacyTest, InBitAlwaysReadsCardZero) {
  OpenCards(2);
  constexpr unsigned kInputPort = 0x4C;
  kpx4160_sim_set_pld_register(0, kInputPort, 1u << 2);
  kpx4160_sim_set_pld_register(1, kInputPort, 0);
  EXPECT_EQ(In_bit(3), 1u);
  kpx4160_sim_set_pld_register(0, kInputPort, 0);
  kpx4160_sim_set_pld_register(1, kInputPort, 1u << 2);
  EXPECT_EQ(In_bit(3), 0u);
}

TEST_F(LegacyTest, IoStatusGathersSubStatusAndExtendedStatusBits) {
  OpenCards(1);
  constexpr unsigned kRsts = 0xB1;  // extended status, read code 0xF1
  const struct { bool rsts; uint32_t source; uint16_t expected; } cases[] = {
      {false, 1u << 15, 0x000C}, {false, 1u << 14, 0x0010}, {true, 1u << 10, 0x0020},
      {false, 1u << 11, 0x0040}, {true, 1u << 9, 0x0400},   {true, 1u << 15, 0x0800},
      {false, 0x37FFu, 0},       {true, ~((1u << 9) | (1u << 10) | (1u << 15)), 0},
  };
  for (const auto &c : cases) {
    kpx4160_sim_set_sub_status(0, 1, c.rsts ? 0 : static_cast<uint16_t>(c.source));
    kpx4160_sim_set_pcl_register(0, 1, kRsts, c.rsts ? c.source : 0);
    EXPECT_EQ(Get_io_status(1), c.expected) << std::hex << c.source;
  }
  // Extended status first, then the sub-status.
  kpx4160_sim_trace_clear();
  Get_io_status(1);
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].op, Op::kPclRead);
  EXPECT_EQ(ops[0].code, 0xF1u);
  EXPECT_EQ(ops[1].op, Op::kSstsw);
}

TEST_F(LegacyTest, TestMoveWritesTheChipDirectlyInOrder) {
  OpenCards(1);
  kpx4160_sim_trace_clear();
  vtr_test_move(1, 1300, 5000);
  const std::vector<RegisterOp> expected = {
      PclWrite32(0, 1, kOperationModePre, 0x41), PclWrite32(0, 1, kDistancePre, 5000),
      PclWrite16(0, 1, 0x85, 1),                 PclWrite16(0, 1, 0x81, 2),
      PclWrite16(0, 1, 0x82, 2),                 Command(0, 1, 0x50),
  };
  EXPECT_EQ(DecodedTrace(), expected);
}

TEST_F(LegacyTest, StubsShareOneBodyPerGroup) {
  OpenCards(1);
  for (int n : {-1, 0, 7, 1 << 20}) {
    EXPECT_EQ(Get_int_status(n), 0);
    EXPECT_EQ(Get_irq_channel(n), 0);
    EXPECT_EQ(Get_irq_status(n), 0);
    EXPECT_EQ(Get_out_status(n), 0);
  }
  kpx4160_sim_trace_clear();
  void *handler = nullptr;
  Set_int_control(0, 1);
  Set_int_disable(0);
  Set_int_enable(0, &handler);
  Set_int_factor(0, 0xFFFF);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_EQ(handler, nullptr);
  const auto addr = [](auto f) { return reinterpret_cast<const void *>(f); };
  EXPECT_EQ(addr(&Get_irq_channel), addr(&Get_int_status));
  EXPECT_EQ(addr(&Get_irq_status), addr(&Get_int_status));
  EXPECT_EQ(addr(&Get_out_status), addr(&Get_int_status));
  EXPECT_EQ(addr(&Set_int_control), addr(&k4160_t_line3));
  EXPECT_EQ(addr(&k4160_t_line4), addr(&k4160_t_line3));
  EXPECT_EQ(addr(&Set_int_disable), addr(&Set_int_control));
  EXPECT_EQ(addr(&Set_int_enable), addr(&Set_int_control));
  EXPECT_EQ(addr(&Set_int_factor), addr(&Set_int_control));
  EXPECT_EQ(Get_board_base(3), 1);
  EXPECT_EQ(addr(&Get_board_base), addr(&k4160_t_line3_unitmm));
  EXPECT_EQ(addr(&k4160_t_line4_unitmm), addr(&k4160_t_line3_unitmm));
}

}  // namespace
}  // namespace kpx::test
