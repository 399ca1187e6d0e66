// The simulator's own services: machine files (what a refused file reports,
// the machine's signals as a program sees them through the library alone),
// the virtual clock and the motion log.
#include <algorithm>
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

class MachineFile : public SimMotionTest {
 protected:
  static std::string Write(const std::string &text) {
    const std::string path = ::testing::TempDir() + "kpx4160_machine.toml";
    std::ofstream(path) << text;
    return path;
  }
  int32_t Move(uint16_t axis, int32_t distance) {
    k4160_t_pmove(axis, distance, 0);
    WaitDone({axis});
    return k4160_get_position(axis);
  }
};

// A refused file names itself, the line and the key, on stderr and in the
// library's error text, and no card appears.
TEST_F(MachineFile, BadFilesAreRefusedNamingFileLineAndKey) {
  const std::pair<const char *, const char *> cases[] = {
      {"cards = 1\nspeed = 3\n", "2: key 'speed': unknown key"},
      {"cards = \"two\"\n", "1: key 'cards': expected an integer"},
      {"[clock]\nmode = \"fast\"\n", "2: key 'clock.mode': expected \"real\" or \"virtual\""},
      {"[[card]]\ncard = 0\n[[card.input]]\ninput = 3\ndelay = 0.2\n", "5: key 'card.input.delay': a delay goes with an output"},
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
      {"[[axis]]\naxis = 0\ninp_delay = 0.05\n", [&] {  // with the in-position check, done waits for INP
         k4160_config_INP_PIN(0, 1, 0);
         k4160_t_pmove(0, 1000, 0);
         WaitFor([] { return k4160_get_position(0) == 1000; });
         const double pulses_out = Now();
         EXPECT_FALSE(io(0, 0x2000));
         EXPECT_NEAR(WaitDone({0}) - pulses_out, 0.05, 0.001);
       }},
      {"[[axis]]\naxis = 0\nslow_down = [10000, 20000]\n", [&] {  // the slow-down zone runs at the start speed
         k4160_config_SD_PIN(0, 1, 0, 0);
         k4160_t_pmove(0, 40000, 0);
         WaitFor([] { return k4160_get_position(0) >= 15000; });
         EXPECT_EQ(k4160_read_current_speed(0), 1000.0);
         WaitFor([] { return k4160_get_position(0) >= 25000; });
         EXPECT_GT(k4160_read_current_speed(0), 10000.0);
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
  EXPECT_EQ(kpx4160_sim_log_start(0.0), -1);
  ASSERT_EQ(kpx4160_sim_set_encoder(1, 1, 2.0), 0);
  k4160_t_vmove(0, 1);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kPollStep), 0);  // stops every move, time at 0
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
  size_t rows = 0;
  for (; std::getline(csv, line); ++rows) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 5) << line;
  EXPECT_EQ(rows, 44u);
}

}  // namespace
}  // namespace kpx::test
