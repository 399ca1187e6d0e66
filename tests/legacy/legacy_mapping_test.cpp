// The older command set: each wrapper must put exactly the traffic on the card
// that the main-interface calls it stands for put there; the few calls with
// their own register work are checked at the bits, and the blocking moves must
// hold the caller until the axis reports done.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "core/card_table.h"
#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using namespace std::chrono_literals;
constexpr unsigned kSignalConfig1 = 0x9C, kOperationMode = 0x97, kLogicalPosition = 0xA3;

class LegacyTest : public SimTest {};

// The traffic of one call with the values of reads blanked: the main call
// runs second and may read back what the older call wrote.
std::vector<RegisterOp> TrafficOf(const std::function<void()> &call) {
  kpx4160_sim_trace_clear();
  call();
  std::vector<RegisterOp> ops = DecodedTrace();
  for (RegisterOp &o : ops)
    if (o.op != Op::kPclWrite && o.op != Op::kOtpw && o.op != Op::kPldWrite && o.op != Op::kCommand) o.value = 0;
  return ops;
}

TEST_F(LegacyTest, WrappersPutTheMainCallsTrafficOnTheCard) {
  for (unsigned cards : {1u, 3u, 0u}) {  // Board_init reports the cards it opened
    kpx4160_sim_set_card_count(cards);
    EXPECT_EQ(Board_init(), cards);
    Board_close();
  }
  EXPECT_EQ(kpx4160_sim_open_handles() + core::InitCount, 0u);
  OpenCards(2);
  k4160_variety_speed_range(1, 1, 1e5);
  // Odd axes and axes of card 1, so a lost axis bit or card shows; each older call, then the main calls.
  const std::function<void()> rows[][2] = {
      {[] { V_move(3, 100, -2000, 0.1); }, [] { k4160_set_profile(3, 100, 2000, 0.1, 0.1); k4160_t_vmove(3, 0); }},
      {[] { V_move(1, 0, 0, 0.1); }, [] { k4160_set_profile(1, 0, 0, 0.1, 0.1); k4160_t_vmove(1, 1); }},
      {[] { Sv_move(1, 10, -90, 0.2, 0.05); },
       [] { k4160_set_st_profile(1, 10, 90, 0.2, 0.2, 0.05, 0.05); k4160_s_vmove(1, 0); }},
      {[] { Home_move(3, 0, 0, 0.1); }, [] { k4160_set_profile(3, 0, 0, 0.1, 0.1); k4160_home_move(3, 1, 1); }},
      {[] { Home_move(3, 50, -700, 0.1); }, [] { k4160_set_profile(3, 50, 700, 0.1, 0.1); k4160_home_move(3, 2, 1); }},
      {[] { V_change(1, -300); }, [] { k4160_change_speed(1, 300); }},  // axis 1 in a fixed speed range
      {[] { Start_a_move(1, -10.9, 1, 20, 1); }, [] { k4160_set_profile(1, 1, 20, 1, 1); k4160_t_pmove(1, -10, 1); }},
      {[] { Start_r_move(3, 10.9, 1, -20, 2); }, [] { k4160_set_profile(3, 1, 20, 2, 2); k4160_t_pmove(3, 10, 0); }},
      {[] { Start_s_move(1, 0.5, 10, 500, 0.1, 0.02); },
       [] { k4160_set_st_profile(1, 10, 500, 0.1, 0.1, 0.02, 0.02); k4160_s_pmove(1, 0, 1); }},
      {[] { Start_rs_move(3, -7.5, 10, 500, 0.1, 0.02); },
       [] { k4160_set_st_profile(3, 10, 500, 0.1, 0.1, 0.02, 0.02); k4160_s_pmove(3, -7, 0); }},
      {[] { Start_move_xy(0, 10.7, -3.2); }, [] { k4160_t_line2(0, 10, 1, -3, 1); }},
      // Extreme card and mode numbers: the unsigned products address the axes of the numbers they wrap to.
      {[] { Start_move_xy(INT32_MIN + 1, 0, 0); }, [] { Start_move_xy(1, 0, 0); }},
      {[] { Set_pls_iptmode(0, INT32_MAX); }, [] { Set_pls_iptmode(0, -1); }},
      {[] { Decel_stop(3, 0.2); }, [] { k4160_decel_stop(3, 0.2); }},
      {[] { Set_command(1, -77.99); }, [] { k4160_set_position(1, -77); }},
      {[] { Set_pls_outmode(3, 1); }, [] { k4160_set_pulse_outmode(3, 4); }},
      {[] { Set_pls_outmode(3, 3); }, [] { k4160_set_pulse_outmode(3, 5); }},
      {[] { Set_pls_iptmode(1, 0); }, [] { k4160_counter_config(1, 1); }},
      {[] { Set_pls_iptmode(1, 2); }, [] { k4160_counter_config(1, 3); }},
      {[] { Set_pls_iptmode(1, 3); }, [] { k4160_counter_config(1, 0); }},
      {[] { Set_alm_logic(3, 1, 0); }, [] { k4160_config_ALM_PIN(3, 1, 0); }},
      {[] { Set_erc_enable(1, 5); }, [] { k4160_config_ERC_PIN(1, 3, 0, 7, 1); }},
      {[] { Set_erc_enable(1, 0); }, [] { k4160_config_ERC_PIN(1, 0, 0, 7, 1); }},
      {[] { Set_inp_logic(3, 1, 0); }, [] { k4160_config_INP_PIN(3, 0, 1); }},
      {[] { Set_home_config(3, 2, 1, 9, 0); },
       [] { k4160_config_home_mode(3, 2, 1); k4160_set_HOME_pin_logic(3, 1, 1); k4160_config_EZ_PIN(3, 0, 1); }},
      {[] { Out_bit(1, 3, 1); }, [] { k4160_write_outbit(1, 3, 1); }},
      {[] { Get_command(2); }, [] { k4160_get_position(2); }},
      {[] { In_bit(3); }, [] { k4160_read_inbit(0, 3); }},  // card 0 only
      {[] { Motion_done(2); }, [] { k4160_check_done(2); }}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto main = TrafficOf(rows[i][1]);
    EXPECT_FALSE(main.empty()) << "row " << i;
    EXPECT_EQ(TrafficOf(rows[i][0]), main) << "row " << i;
  }
  kpx4160_sim_set_pld_register(0, 0x4C, 1u << 2);  // input bit 3 of card 0 on, card 1 off
  kpx4160_sim_set_pcl_register(1, 0, kLogicalPosition, 1234);
  EXPECT_EQ(std::tuple(Get_command(2), In_bit(3), Motion_done(2)), std::tuple(1234.0, 1u, 1));
  // The interrupt functions of the older interface answer 0 and touch nothing.
  void *handler = nullptr;
  kpx4160_sim_trace_clear();
  Set_int_control(0, 1), Set_int_disable(0), Set_int_enable(0, &handler), Set_int_factor(0, 0xFFFF);
  EXPECT_EQ(Get_int_status(-1) | Get_irq_channel(7) | Get_irq_status(1 << 20) | Get_out_status(0), 0);
  EXPECT_EQ(std::tuple(kpx4160_sim_trace_size(), handler, Get_board_base(3)), std::tuple(0u, nullptr, 1));
}

TEST_F(LegacyTest, SignalBitsCountSourceAndIoStatus) {
  OpenCards(2);
  // Set_sd_logic and Set_sd_stop_mode change only their bits (4-6 of SignalConfig1, 8 of the
  // operation mode) of chip axis 1 of card 1; bits 4-6 and bit 0 start clear so a stray bit shows.
  const uint32_t sc1 = 0x5A5A5A0Au, mode = 0x12345600u, other = kpx4160_sim_get_pcl_register(1, 0, kSignalConfig1);
  kpx4160_sim_set_pcl_register(1, 1, kSignalConfig1, sc1);
  kpx4160_sim_set_pcl_register(1, 1, kOperationMode, mode);
  const struct { std::function<void()> call; uint32_t sc1, mode; } rows[] = {
      {[] { Set_sd_logic(3, 1, 5, 1); }, sc1 | 0x60u, mode | 0x100u},
      {[] { Set_sd_stop_mode(3, 0); }, sc1 | 0x70u, mode | 0x100u},
      {[] { Set_sd_logic(3, 0, 0, 2); }, sc1 | 0x10u, mode},  // only enable == 1 enables
      {[] { Set_sd_stop_mode(3, 1); }, sc1, mode},
      {[] { Set_sd_logic(-1, 1, 1, 1), Set_sd_stop_mode(-1, 0); }, sc1, mode}};  // no chip axis: nothing
  for (const auto &row : rows) {
    row.call();
    EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kSignalConfig1), row.sc1);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kOperationMode), row.mode);
    EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, kSignalConfig1), other);
  }
  // The count source switches Get_position and Set_position between the command and encoder counters.
  kpx4160_sim_set_pld_register(1, 0x10, 0x0FFFFFFEu);  // encoder count of chip axis 1: -2 in 28 bits
  kpx4160_sim_set_pcl_register(1, 1, kLogicalPosition, 555);
  EXPECT_EQ(Get_position(3), 555.0);
  Set_cnt_src(3, 1);
  EXPECT_EQ(std::pair(Get_position(3), Get_position(1)), std::pair(-2.0, 0.0));  // the source is per axis
  Set_position(3, 42.7);
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x18), 42u);  // the encoder preset of chip axis 1
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kLogicalPosition), 555u);
  Set_cnt_src(3, 0);
  Set_position(3, 9.0);
  for (int32_t axis : {-1, 30, 1000}) Set_cnt_src(axis, 1);  // axes outside the table keep no count source
  EXPECT_EQ(Get_position(3), 9.0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, kLogicalPosition), 9u);
  // Get_io_status gathers sub-status bits and extended status bits (register 0xB1, read code 0xF1).
  const struct { bool rsts; uint32_t source; uint16_t expected; } cases[] = {
      {false, 1u << 15, 0x000C}, {false, 1u << 14, 0x0010}, {true, 1u << 10, 0x0020}, {false, 1u << 11, 0x0040},
      {true, 1u << 9, 0x0400}, {true, 1u << 15, 0x0800}, {false, 0x37FFu, 0}, {true, ~0x8600u, 0}};
  for (const auto &c : cases) {
    kpx4160_sim_set_sub_status(0, 1, c.rsts ? 0 : static_cast<uint16_t>(c.source));
    kpx4160_sim_set_pcl_register(0, 1, 0xB1, c.rsts ? c.source : 0);
    EXPECT_EQ(Get_io_status(1), c.expected) << std::hex << c.source;
  }
  kpx4160_sim_trace_clear();  // the test move writes the chip directly, in this order
  vtr_test_move(1, 1300, 5000);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite32(0, 1, 0x87, 0x41), PclWrite32(0, 1, 0x80, 5000),
                                                    PclWrite16(0, 1, 0x85, 1), PclWrite16(0, 1, 0x81, 2),
                                                    PclWrite16(0, 1, 0x82, 2), Command(0, 1, 0x50)}));
}

// Main-status reads of the decoded trace as (card, chip axis) pairs, once there are n of them (10 s at most).
std::vector<std::pair<uint32_t, uint32_t>> StatusPolls(size_t n) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  for (std::vector<std::pair<uint32_t, uint32_t>> polls;; polls.clear(), std::this_thread::sleep_for(1ms)) {
    for (const RegisterOp &o : Only(DecodedTrace(), Op::kMainStatus)) polls.emplace_back(o.card, o.chip_axis);
    if (polls.size() >= n || std::chrono::steady_clock::now() > end) return polls;
  }
}

// The blocking moves poll the main status of their axis (held busy from the test) until it is
// done; Move_xy asks the second axis only once the first is done, and waits for both.
TEST_F(LegacyTest, ThreadedBlockingMovesReturnOnlyOnceTheAxisIsDone) {
  OpenCards(1);
  const std::function<void()> moves[] = {
      [] { A_move(1, 500, 100, 1000, 0.1); }, [] { R_move(1, -500, 100, 1000, 0.1); }, [] { Wait_for_done(1); },
      [] { S_move(1, 500, 100, 1000, 0.1, 0.02); }, [] { Rs_move(1, 500, 100, 1000, 0.1, 0.02); },
      [] { Move_xy(0, 100, 200); }};
  for (const auto &move : moves) {
    const uint32_t axis = &move == &moves[5] ? 0 : 1;
    kpx4160_sim_set_main_status(0, 0, 1), kpx4160_sim_set_main_status(0, 1, 1);
    kpx4160_sim_trace_clear();
    auto done = std::async(std::launch::async, move);
    const auto polls = StatusPolls(20);
    ASSERT_GE(polls.size(), 20u);
    EXPECT_EQ(done.wait_for(20ms), std::future_status::timeout) << "returned while the axis was busy";
    for (const auto &p : polls) EXPECT_EQ(p, std::pair(0u, axis));  // only the moving (first) axis
    kpx4160_sim_set_main_status(0, axis, 0);
    EXPECT_TRUE(axis == 1 || (StatusPolls(polls.size() + 40).size() >= polls.size() + 40 &&
                              done.wait_for(20ms) != std::future_status::ready));
    kpx4160_sim_set_main_status(0, 1, 0);
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  }
}

}  // namespace
}  // namespace kpx::test
