// Signals of the simulated card acting on motion (end limit switches, the
// home switch, soft limits through the comparators, the latch of the
// counters on a latch event, the interrupt at the end of a move), and the
// simulator's own services: machine files, the virtual clock, the motion
// log. A decelerating stop from 2000 to 1000 pulses/s in 0.1 s covers 150
// pulses.
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr uint16_t kPlusEl = 1u << 9, kMinusEl = 1u << 10, kHome = 1u << 11;
constexpr double kStop = 150.0;

class AxisSignalsMotion : public SimMotionTest {
 protected:
  void SetUp() override {
    SimMotionTest::SetUp();
    OpenCards(1);
    for (uint16_t a : {0, 1}) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  }
  static uint16_t Switches() { return k4160_axis_io_status(0) & (kPlusEl | kMinusEl | kHome); }
};

TEST_F(AxisSignalsMotion, LimitsHomeAndLatchActOnTheAxis) {
  // A latch event copies the counters and raises the flag.
  ASSERT_EQ(kpx4160_sim_set_encoder(0, 1, 2.0), 0);
  Run(1, [] { k4160_t_pmove(1, 777, 0); });
  ASSERT_EQ(kpx4160_sim_latch_event(0, 1), 0);  // latch not enabled on the card
  EXPECT_EQ(k4160_get_latch_value(1), 0);
  EXPECT_EQ(k4160_get_latch_flag(0), 0u);
  k4160_config_LTC_PIN(1, 1, 0);
  k4160_set_latch_trigger_source(1, 1);
  ASSERT_EQ(kpx4160_sim_latch_event(0, 1), 0);
  EXPECT_EQ(k4160_get_latch_value(1), 1554);  // the PLD's encoder count, 2 x 777
  EXPECT_EQ(k4160_get_latch_flag(0), 0x2u);
  EXPECT_EQ(k4160_get_latch_value(0), 0);
  EXPECT_EQ(k4160_get_rcun_latch_value(1, 1), 777u);   // the chip's logical position
  EXPECT_EQ(k4160_get_rcun_latch_value(1, 2), 1554u);  // and its encoder counter
  k4160_reset_latch_flag(0);
  EXPECT_EQ(k4160_get_latch_flag(0), 0u);

  // End limits on chip axis 0.
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, -3000, 5000, 1), 0);
  EXPECT_EQ(Run(0, [] { k4160_t_pmove(0, 10000, 0); }), 5000);  // ends on the switch
  EXPECT_EQ(Switches(), kPlusEl);
  EXPECT_EQ(Run(0, [] { k4160_t_vmove(0, 1); }, 1.0), 5000);  // further up: no move at all
  k4160_t_vmove(0, 0);  // down: leaves it and runs into the minus limit
  WaitFor([] { return k4160_get_position(0) < 4000; });
  EXPECT_EQ(Switches(), 0);
  EXPECT_EQ(Run(0, [] {}), -3000);
  EXPECT_EQ(Switches(), kMinusEl);
  // In decelerating EL mode the ramp starts at the switch at full speed.
  k4160_config_EL_MODE(0, 1);
  EXPECT_NEAR(Run(0, [] { k4160_t_vmove(0, 1); }), 5000 + kStop, 3.0);
  EXPECT_EQ(Switches(), kPlusEl);
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, 0, 0, 0), 0);
  k4160_set_position(0, 0);

  // Home: a constant-speed search ends exactly on the switch; a point move
  // passes over it; an accelerating search starts its decelerating stop there.
  ASSERT_EQ(kpx4160_sim_set_home_switch(0, 0, 1234, 1), 0);
  EXPECT_EQ(Run(0, [] { k4160_home_move(0, 1, 0); }), 1234);
  EXPECT_EQ(Switches(), kHome);
  EXPECT_EQ(Run(0, [] { k4160_t_pmove(0, 3000, 0); }), 4234);
  EXPECT_EQ(Switches(), 0);
  EXPECT_NEAR(Run(0, [] { k4160_home_move(0, 2, 1); }), 1234 - kStop, 3.0);

  // Soft limits through the comparators of chip axis 1.
  k4160_set_softlimit_data(1, -1000, 5000);
  k4160_config_softlimit(1, 0);  // stop at once
  k4160_enable_softlimit(1, 1);
  EXPECT_EQ(Run(1, [] { k4160_t_vmove(1, 1); }), 5000);
  EXPECT_EQ(Run(1, [] { k4160_t_pmove(1, -20000, 0); }), -1000);
  k4160_config_softlimit(1, 1);  // a decelerating stop
  EXPECT_NEAR(Run(1, [] { k4160_t_vmove(1, 1); }), 5000 + kStop, 3.0);
  k4160_enable_softlimit(1, 0);  // off: past both
  EXPECT_NEAR(Run(1, [] { k4160_t_pmove(1, 10000, 0); }), 15000 + kStop, 3.0);
}

// Interrupts at the end of a move on the simulated card: with the chip's
// end-of-operation event enabled on an axis, every move that ends there
// interrupts its card once, and the library's interrupt thread of that card
// calls the application callback with the card number. Every wait is
// bounded, so a lost interrupt fails the test instead of hanging it.
using namespace std::chrono_literals;

class ThreadedMoveInterrupt : public SimMotionTest {};

std::atomic<unsigned> g_calls[2];  // callback calls per card

TEST_F(ThreadedMoveInterrupt, EveryFinishedMoveCallsTheCallbackOnceWithItsCard) {
  OpenCards(2);
  g_calls[0] = g_calls[1] = 0;
  k4160_set_board_isr([](uint16_t card) { ++g_calls[card & 1]; });
  for (uint16_t a : {0, 2}) k4160_set_int_factor(a, 1);  // the end-of-operation event, on card 0 and on card 1
  for (uint16_t card : {0, 1}) ASSERT_EQ(k4160_set_int_enable(card), 0);
  for (uint16_t a : {0, 1, 2}) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  struct Case {
    uint16_t axis;
    int moves;              // started back to back (the second through the pre-buffer)
    unsigned card0, card1;  // calls so far once they have ended
  } cases[] = {{0, 1, 1, 0}, {1, 1, 1, 0}, {2, 1, 1, 1}, {0, 2, 3, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.axis);
    const unsigned before = g_calls[0] + g_calls[1];
    for (int i = 0; i < c.moves; ++i) k4160_t_pmove(c.axis, 300, 0);
    EXPECT_EQ(g_calls[0] + g_calls[1], before) << "called before the end";
    WaitDone({c.axis});
    // Bounded waits (wall time): a lost interrupt fails instead of hanging.
    for (int i = 0; i < 1000 && g_calls[0] + g_calls[1] < c.card0 + c.card1; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(g_calls[0], c.card0);
    EXPECT_EQ(g_calls[1], c.card1);
  }
  // A moment for any call that should not come, then stop the interrupt
  // threads (waiting for them): the counts are final.
  std::this_thread::sleep_for(20ms);
  k4160_set_int_disable();
  k4160_set_board_isr(nullptr);
  EXPECT_EQ(g_calls[0], 3u);
  EXPECT_EQ(g_calls[1], 1u);
}

// Machine files: what a refused file reports, and the machine's signals as
// a program sees them through the library alone.
class MachineFile : public SimMotionTest {
 protected:
  static std::string Write(const std::string &text) {
    const std::string path = ::testing::TempDir() + "kpx4160_machine.toml";
    std::ofstream(path) << text;
    return path;
  }
  int32_t Move(uint16_t axis, int32_t distance) { return Run(axis, [&] { k4160_t_pmove(axis, distance, 0); }); }
};

// A refused file names itself, the line and the key, on stderr and in the
// library's error text, and no card appears.
TEST_F(MachineFile, BadFilesAreRefusedNamingFileLineAndKey) {
  const std::pair<const char *, const char *> cases[] = {
      {"cards = 1\nspeed = 3\n", "2: key 'speed': unknown key"},
      {"cards = \"two\"\n", "1: key 'cards': expected an integer"},
      {"[clock]\nmode = \"fast\"\n", "2: key 'clock.mode': expected \"real\" or \"virtual\""},
  };
  for (const auto &[text, message] : cases) {
    const std::string want = Write(text) + ":" + message + "\n";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kpx4160_sim_load_machine(Write(text).c_str()), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), want);
    EXPECT_EQ(k4160_board_init(), 0u);
    char error[512];
    k4160_get_error_text(error, sizeof error);
    EXPECT_EQ(error, want);
  }
}

// Each machine, what the program does, and what it must see.
TEST_F(MachineFile, SignalsStopShowAndLeaveTheirCauses) {
  const auto io = [](uint16_t axis, uint16_t bit) { return (k4160_axis_io_status(axis) & bit) != 0; };
  static std::atomic<int> interrupts{0};
  const std::pair<const char *, std::function<void()>> cases[] = {
      {"[[axis]]\naxis = 0\nalarm_position = 5000\n", [&] {  // an alarm stops at once and stays
         EXPECT_EQ(Move(0, 20000), 5000);
         EXPECT_TRUE(io(0, 0x100));
         EXPECT_EQ(k4160_get_error_intfactor(0), 0x40u);
         EXPECT_EQ(k4160_get_error_intfactor(0), 0u);  // reading clears the causes
         EXPECT_EQ(Move(0, -3000), 5000);              // an alarmed servo does not move
       }},
      {"[[card]]\ncard = 0\nemg_time = 0.5\n", [&] {  // an emergency stop holds both axes until disabled
         k4160_t_pmove(0, 100000, 0);
         k4160_t_pmove(1, -100000, 0);
         EXPECT_NEAR(WaitDone({0, 1}), 0.5, 0.001);
         for (uint16_t a : {0, 1}) EXPECT_EQ(k4160_get_error_intfactor(a), 0x100u);
         EXPECT_TRUE(io(1, 0x8000));
         k4160_config_EMG_PIN(0, 0, 0);
         EXPECT_FALSE(io(0, 0x8000));
         EXPECT_EQ(Move(0, -k4160_get_position(0)), 0);
       }},
      {"[[axis]]\naxis = 0\nhome = -1000\nhome_width = 50\nez_every = 400\n", [&] {  // stops on the 2nd EZ past HOME
         k4160_config_home_mode(0, 1, 2);
         k4160_home_move(0, 2, 0);
         WaitDone({0});
         EXPECT_EQ(k4160_get_position(0), -1600);
       }},
      {"[[axis]]\naxis = 0\nlimits = [-100, 3000]\n", [&] {  // a limit stop interrupts only when enabled
         k4160_set_board_isr([](uint16_t) { ++interrupts; });
         ASSERT_EQ(k4160_set_int_enable(0), 0);
         for (uint32_t factor : {0x0u, 0x100000u}) {
           interrupts = 0;
           k4160_set_int_factor(0, factor);
           Move(0, factor == 0 ? 5000 : -5000);
           Move(0, factor == 0 ? -200 : 200);  // off the switch again
           for (int i = 0; i < 200 && interrupts == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
           EXPECT_EQ(interrupts > 0, factor != 0) << factor;
         }
         k4160_set_board_isr(nullptr);
       }},
  };
  for (const auto &[machine, run] : cases) {
    SCOPED_TRACE(machine);
    CloseLibraryCompletely();
    ASSERT_EQ(kpx4160_sim_load_machine(Write(std::string("[clock]\nmode = \"virtual\"\npoll_step = 50e-6\n") + machine).c_str()), 0);
    ASSERT_EQ(k4160_board_init(), 1u);
    for (uint16_t a : {0, 1}) k4160_set_profile(a, 1000, 20000, 0.1, 0.1);
    run();
  }
}

// Virtual time moves only when pushed, by a poll step per status poll; the
// log samples every chip axis at its interval.
TEST_F(MachineFile, VirtualClockAndMotionLog) {
  OpenCards(2);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 20e-6), 0);
  for (auto [dt, ret] : {std::pair{0.25, 0}, {0.0, 0}, {-0.001, -1}, {std::nan(""), -1}, {INFINITY, -1}})
    EXPECT_EQ(kpx4160_sim_advance(dt), ret) << dt;
  k4160_axis_status(0);
  EXPECT_DOUBLE_EQ(Now(), 0.25 + 20e-6);
  ASSERT_EQ(kpx4160_sim_set_encoder(1, 1, 2.0), 0);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kPollStep), 0);  // time at 0 again
  k4160_set_position(3, -50);
  MOTION_default_const_vmove(3, 1);  // card 1, chip axis 1 at 1000 pulses/s
  const double t0 = Now();
  ASSERT_EQ(kpx4160_sim_log_start(0.01), 0);
  ASSERT_EQ(kpx4160_sim_advance(0.105), 0);
  ASSERT_EQ(kpx4160_sim_log_size(), 44u);  // instants 0, 0.01 .. 0.10, four chip axes each
  kpx4160_sim_sample s{};
  for (uint32_t i = 0; kpx4160_sim_log_sample(i, &s) == 0; ++i) {
    const bool moving = i % 4 == 3;
    EXPECT_EQ(s.card * 2 + s.chip_axis, i % 4) << i;
    EXPECT_NEAR(s.time, t0 + 0.01 * (i / 4), 1e-12) << i;
    EXPECT_NEAR(s.position, moving ? -50 + 1000.0 * s.time : 0.0, 1.0) << i;
    EXPECT_EQ(s.encoder, moving ? 2 * (s.position + 50) : 0) << i;
  }
  const std::string path = ::testing::TempDir() + "kpx4160_motion_log.csv";
  ASSERT_EQ(kpx4160_sim_log_write_csv(path.c_str()), 0);
  std::ifstream csv(path);
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "time,card,chip_axis,position,encoder,speed");
}

}  // namespace
}  // namespace kpx::test
