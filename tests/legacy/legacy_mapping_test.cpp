// The older command set: each wrapper must put exactly the traffic on the card
// that the main-interface calls it stands for put there, and return what they
// return; the few calls with their own register work are checked at the bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/card_table.h"
#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

constexpr unsigned kSignalConfig1 = 0x9C;
constexpr unsigned kOperationMode = 0x97;
constexpr unsigned kLogicalPosition = 0xA3;

class LegacyTest : public SimTest {};

// The traffic of one call with the values of reads blanked: the main call
// runs second and may read back what the older call wrote.
std::vector<RegisterOp> TrafficOf(const std::function<double()> &call, double &result) {
  kpx4160_sim_trace_clear();
  result = call();
  std::vector<RegisterOp> ops = DecodedTrace();
  for (RegisterOp &o : ops)
    if (o.op != Op::kPclWrite && o.op != Op::kOtpw && o.op != Op::kPldWrite && o.op != Op::kCommand) o.value = 0;
  return ops;
}

struct Same {
  const char *what;
  std::function<double()> legacy, main;
};
template <typename F>
std::function<double()> V(F f) { return [f] { f(); return 0.0; }; }

TEST_F(LegacyTest, WrappersPutTheMainCallsTrafficOnTheCard) {
  OpenCards(2);
  // Odd axes and axes of card 1, so a lost axis bit or card shows.
  const Same rows[] = {
      {"V_move -v", V([] { V_move(3, 100, -2000, 0.1); }), V([] { k4160_set_profile(3, 100, 2000, 0.1, 0.1); k4160_t_vmove(3, 0); })},
      {"V_move v=0", V([] { V_move(1, 0, 0, 0.1); }), V([] { k4160_set_profile(1, 0, 0, 0.1, 0.1); k4160_t_vmove(1, 1); })},
      {"Sv_move -v", V([] { Sv_move(1, 10, -900, 0.2, 0.05); }), V([] { k4160_set_st_profile(1, 10, 900, 0.2, 0.2, 0.05, 0.05); k4160_s_vmove(1, 0); })},
      {"Sv_move v=0", V([] { Sv_move(1, 10, 0, 0.2, 0.05); }), V([] { k4160_set_st_profile(1, 10, 0, 0.2, 0.2, 0.05, 0.05); k4160_s_vmove(1, 1); })},
      {"Home_move v=0", V([] { Home_move(3, 0, 0, 0.1); }), V([] { k4160_set_profile(3, 0, 0, 0.1, 0.1); k4160_home_move(3, 1, 1); })},
      {"Home_move -v", V([] { Home_move(3, 50, -700, 0.1); }), V([] { k4160_set_profile(3, 50, 700, 0.1, 0.1); k4160_home_move(3, 2, 1); })},
      {"V_change", V([] { k4160_variety_speed_range(1, 1, 100000); V_change(1, -300); }),
       V([] { k4160_variety_speed_range(1, 1, 100000); k4160_change_speed(1, 300); })},
      {"Start_a_move", V([] { Start_a_move(1, -1000.9, 100, 2000, 0.1); }), V([] { k4160_set_profile(1, 100, 2000, 0.1, 0.1); k4160_t_pmove(1, -1000, 1); })},
      {"Start_r_move", V([] { Start_r_move(3, 1000.9, 100, -2000, 0.3); }), V([] { k4160_set_profile(3, 100, 2000, 0.3, 0.3); k4160_t_pmove(3, 1000, 0); })},
      {"Start_s_move", V([] { Start_s_move(1, 0.5, 10, 500, 0.1, 0.02); }), V([] { k4160_set_st_profile(1, 10, 500, 0.1, 0.1, 0.02, 0.02); k4160_s_pmove(1, 0, 1); })},
      {"Start_rs_move", V([] { Start_rs_move(3, -7.5, 10, 500, 0.1, 0.02); }), V([] { k4160_set_st_profile(3, 10, 500, 0.1, 0.1, 0.02, 0.02); k4160_s_pmove(3, -7, 0); })},
      {"Start_move_xy", V([] { Start_move_xy(0, 10.7, -3.2); }), V([] { k4160_t_line2(0, 10, 1, -3, 1); })},
      {"Decel_stop", V([] { Decel_stop(3, 0.2); }), V([] { k4160_decel_stop(3, 0.2); })},
      {"Set_command", V([] { Set_command(1, -77.99); }), V([] { k4160_set_position(1, -77); })},
      {"Get_command", [] { return Get_command(2); }, [] { return double(k4160_get_position(2)); }},
      {"Set_pls_outmode 1", V([] { Set_pls_outmode(3, 1); }), V([] { k4160_set_pulse_outmode(3, 4); })},
      {"Set_pls_outmode 2", V([] { Set_pls_outmode(3, 2); }), V([] { k4160_set_pulse_outmode(3, 2); })},
      {"Set_pls_outmode 3", V([] { Set_pls_outmode(3, 3); }), V([] { k4160_set_pulse_outmode(3, 5); })},
      {"Set_pls_outmode 6", V([] { Set_pls_outmode(3, 6); }), V([] { k4160_set_pulse_outmode(3, 6); })},
      {"Set_pls_iptmode 0", V([] { Set_pls_iptmode(1, 0); }), V([] { k4160_counter_config(1, 1); })},
      {"Set_pls_iptmode 2", V([] { Set_pls_iptmode(1, 2); }), V([] { k4160_counter_config(1, 3); })},
      {"Set_pls_iptmode 3", V([] { Set_pls_iptmode(1, 3); }), V([] { k4160_counter_config(1, 0); })},
      {"Set_alm_logic", V([] { Set_alm_logic(3, 1, 0); }), V([] { k4160_config_ALM_PIN(3, 1, 0); })},
      {"Set_erc_enable 5", V([] { Set_erc_enable(1, 5); }), V([] { k4160_config_ERC_PIN(1, 3, 0, 7, 1); })},
      {"Set_erc_enable 0", V([] { Set_erc_enable(1, 0); }), V([] { k4160_config_ERC_PIN(1, 0, 0, 7, 1); })},
      {"Set_inp_logic", V([] { Set_inp_logic(3, 1, 0); }), V([] { k4160_config_INP_PIN(3, 0, 1); })},
      {"Set_home_config", V([] { Set_home_config(3, 2, 1, 9, 0); }),
       V([] { k4160_config_home_mode(3, 2, 1); k4160_set_HOME_pin_logic(3, 1, 1); k4160_config_EZ_PIN(3, 0, 1); })},
      {"Out_bit", V([] { Out_bit(1, 3, 1); }), V([] { k4160_write_outbit(1, 3, 1); })},
      {"In_bit reads card 0", [] { return double(In_bit(3)); }, [] { return double(k4160_read_inbit(0, 3)); }},
      {"Motion_done", [] { return double(Motion_done(2)); }, [] { return double(k4160_check_done(2)); }},
  };
  kpx4160_sim_set_pld_register(0, 0x4C, 1u << 2);  // input bit 3 of card 0 on, card 1 off
  kpx4160_sim_set_pcl_register(1, 0, kLogicalPosition, 1234);
  for (const Same &row : rows) {
    SCOPED_TRACE(row.what);
    double got = 0, want = 0;
    const auto legacy = TrafficOf(row.legacy, got);
    const auto main = TrafficOf(row.main, want);
    EXPECT_FALSE(main.empty());
    EXPECT_EQ(legacy, main);
    EXPECT_EQ(got, want);
  }
  EXPECT_EQ(Get_command(2), 1234.0);
  EXPECT_EQ(In_bit(3), 1u);
  EXPECT_EQ(Motion_done(2), 1u);
}

TEST_F(LegacyTest, BoardInitReportsTheCardsItOpened) {
  for (unsigned cards : {1u, 3u}) {
    kpx4160_sim_set_card_count(cards);
    EXPECT_EQ(Board_init(), cards);
    EXPECT_EQ(core::InitCount, 1u);
    Board_close();
    EXPECT_EQ(core::InitCount, 0u);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  }
  kpx4160_sim_set_card_count(0);
  EXPECT_EQ(Board_init(), 0u);
}

TEST_F(LegacyTest, SdLogicAndStopModeChangeOnlyTheirBits) {
  OpenCards(2);
  // Bits 4-6 (stop mode, option, logic) and bit 0 clear: a stray bit shows.
  const uint32_t sc1 = 0x5A5A5A0Au, mode = 0x12345600u & ~0x100u;
  const uint32_t other = kpx4160_sim_get_pcl_register(1, 0, kSignalConfig1);
  kpx4160_sim_set_pcl_register(1, 1, kSignalConfig1, sc1);
  kpx4160_sim_set_pcl_register(1, 1, kOperationMode, mode);
  Set_sd_logic(3, 1, 5, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kSignalConfig1), sc1 | 0x60u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kOperationMode), mode | 0x100u);
  Set_sd_logic(3, 0, 0, 2);  // only enable == 1 enables
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kSignalConfig1), sc1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kOperationMode), mode);
  Set_sd_stop_mode(3, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kSignalConfig1), sc1 | 0x10u);
  Set_sd_stop_mode(3, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kSignalConfig1), sc1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, kSignalConfig1), other);
  // Negative axes address no chip axis: nothing reaches the card.
  kpx4160_sim_trace_clear();
  Set_sd_logic(-1, 1, 1, 1);
  Set_sd_stop_mode(-1, 0);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(LegacyTest, CountSourceSwitchesPositionBetweenCounters) {
  OpenCards(2);
  constexpr unsigned kEncoderCount1 = 0x10, kEncoderPreset1 = 0x18;  // PLD, chip axis 1
  kpx4160_sim_set_pld_register(1, kEncoderCount1, 0x0FFFFFFEu);      // -2 in 28 bits
  kpx4160_sim_set_pcl_register(1, 1, kLogicalPosition, 555);
  EXPECT_EQ(Get_position(3), 555.0);
  Set_cnt_src(3, 1);
  EXPECT_EQ(Get_position(3), -2.0);
  EXPECT_EQ(Get_position(1), 0.0) << "the source is per axis";
  Set_position(3, 42.7);
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, kEncoderPreset1), 42u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kLogicalPosition), 555u);
  Set_cnt_src(3, 0);
  Set_position(3, 9.0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kLogicalPosition), 9u);
  // Axes outside the table keep no count source and read the command counter.
  for (int32_t axis : {-1, 30, 1000}) Set_cnt_src(axis, 1);
  EXPECT_EQ(Get_position(3), 9.0);
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
}

TEST_F(LegacyTest, TestMoveWritesTheChipDirectlyInOrder) {
  OpenCards(1);
  vtr_test_move(1, 1300, 5000);
  const std::vector<RegisterOp> expected = {
      PclWrite32(0, 1, 0x87, 0x41), PclWrite32(0, 1, 0x80, 5000), PclWrite16(0, 1, 0x85, 1),
      PclWrite16(0, 1, 0x81, 2),    PclWrite16(0, 1, 0x82, 2),    Command(0, 1, 0x50),
  };
  EXPECT_EQ(DecodedTrace(), expected);
}

TEST_F(LegacyTest, StubsAnswerZeroAndTouchNothing) {
  OpenCards(1);
  for (int n : {-1, 0, 7, 1 << 20}) {
    EXPECT_EQ(Get_int_status(n), 0);
    EXPECT_EQ(Get_irq_channel(n), 0);
    EXPECT_EQ(Get_irq_status(n), 0);
    EXPECT_EQ(Get_out_status(n), 0);
  }
  void *handler = nullptr;
  Set_int_control(0, 1);
  Set_int_disable(0);
  Set_int_enable(0, &handler);
  Set_int_factor(0, 0xFFFF);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_EQ(handler, nullptr);
  EXPECT_EQ(Get_board_base(3), 1);
}

}  // namespace
}  // namespace kpx::test
