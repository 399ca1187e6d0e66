// The simulator's own services: machine files (what a refused file reports,
// the machine's signals as a program sees them through the library alone),
// the clocks, the motion log and the bounded access trace.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
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
  void Load(const std::string &text) {
    ASSERT_EQ(kpx4160_sim_load_machine(Write("[clock]\nmode = \"virtual\"\npoll_step = 50e-6\n" + text).c_str()), 0);
    ASSERT_EQ(k4160_board_init(), 1u);
    for (uint16_t a : {0, 1}) k4160_set_profile(a, 1000, 20000, 0.1, 0.1);
  }
};

TEST_F(MachineFile, BadFilesAreRefusedNamingFileLineAndKey) {
  struct Case {
    const char *text;
    const char *message;  // after "<file>:"; a message ending in '*' is a prefix
  } cases[] = {
      {"cards = 1\nspeed = 3\n", "2: key 'speed': unknown key"},
      {"cards = \"two\"\n", "1: key 'cards': expected an integer"},
      {"[clock]\nmode = \"fast\"\n", "2: key 'clock.mode': expected \"real\" or \"virtual\""},
      {"[[axis]]\naxis = 0\ninp_delay = -1\n", "3: key 'axis.inp_delay': out of range 0..1e+09"},
      {"[[axis]]\naxis = 0\n[axis.polarity]\nhome = \"up\"\n", "4: key 'axis.polarity.home': expected \"low\" or \"high\""},
      {"[[card]]\ncard = 0\n[[card.input]]\ninput = 3\ndelay = 0.2\n",
       "5: key 'card.input.delay': a delay goes with an output"},
      {"cards = \n", "1: *"},
      {nullptr, "/nonexistent/machine.toml: cannot read*"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    const std::string path = c.text ? Write(c.text) : "/nonexistent/machine.toml";
    std::string want = c.text ? path + ":" + c.message : c.message;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kpx4160_sim_load_machine(path.c_str()), -1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(k4160_board_init(), 0u);
    char text[512];
    k4160_get_error_text(text, sizeof text);
    const bool whole = want.back() != '*';
    if (!whole) want.pop_back();
    EXPECT_EQ(err.rfind(want, 0), 0u) << err;
    EXPECT_TRUE(!whole || (err == want + "\n" && text == want + "\n")) << text;
  }
}

// Each machine, what the program does, and what it must see.
TEST_F(MachineFile, SignalsStopShowAndLeaveTheirCauses) {
  const auto move = [this](uint16_t axis, int32_t distance) {
    k4160_t_pmove(axis, distance, 0);
    WaitDone({axis});
    return k4160_get_position(axis);
  };
  const std::string csv = ::testing::TempDir() + "machine_log.csv";  // a literal string: Windows paths hold backslashes
  const auto io = [](uint16_t axis, uint16_t bit) { return (k4160_axis_io_status(axis) & bit) != 0; };
  struct Case {
    const char *name;
    std::string machine;
    std::function<void()> run;
  } cases[] = {
      {"alarm at a position stops at once and stays", "[[axis]]\naxis = 0\nalarm_position = 5000\n", [&] {
         EXPECT_EQ(move(0, 20000), 5000);
         EXPECT_TRUE(io(0, 0x100));
         EXPECT_EQ(k4160_get_error_intfactor(0), 0x40u);
         EXPECT_EQ(k4160_get_error_intfactor(0), 0u);  // reading clears the causes
         EXPECT_EQ(move(0, -3000), 5000);              // an alarmed servo does not move
       }},
      {"emergency stop at a time stops both axes until disabled", "[[card]]\ncard = 0\nemg_time = 0.5\n", [&] {
         k4160_t_pmove(0, 100000, 0);
         k4160_t_pmove(1, -100000, 0);
         EXPECT_NEAR(WaitDone({0, 1}), 0.5, 0.001);
         for (uint16_t a : {0, 1}) EXPECT_EQ(k4160_get_error_intfactor(a), 0x100u);
         EXPECT_TRUE(io(1, 0x8000));
         k4160_config_EMG_PIN(0, 0, 0);
         EXPECT_FALSE(io(0, 0x8000));
         const int32_t from = k4160_get_position(0);
         EXPECT_EQ(move(0, 1000), from + 1000);
       }},
      {"the in-position check waits for INP, for ever when its logic is wrong",
       "[[axis]]\naxis = 0\ninp_delay = 0.05\n[[axis]]\naxis = 1\ninp_delay = 0.05\n[axis.polarity]\ninp = \"high\"\n",
       [&] {
         k4160_config_INP_PIN(0, 1, 0);
         k4160_config_INP_PIN(1, 1, 0);
         k4160_t_pmove(0, 1000, 0);
         k4160_t_pmove(1, 1000, 0);
         WaitFor([] { return k4160_get_position(0) == 1000; });
         const double pulses_out = Now();
         EXPECT_FALSE(io(0, 0x2000));
         EXPECT_NEAR(WaitDone({0}) - pulses_out, 0.05, 0.001);
         EXPECT_TRUE(io(0, 0x2000));
         kpx4160_sim_advance(1.0);
         EXPECT_EQ(k4160_check_done(1), 0);
         k4160_imd_stop(1);
         EXPECT_EQ(k4160_check_done(1), 1);
       }},
      {"slow-down zone runs at the start speed when enabled", "[[axis]]\naxis = 0\nslow_down = [10000, 20000]\n", [&] {
         k4160_config_SD_PIN(0, 1, 0, 0);
         k4160_t_pmove(0, 40000, 0);
         WaitFor([] { return k4160_get_position(0) >= 15000; });
         EXPECT_EQ(k4160_read_current_speed(0), 1000.0);
         EXPECT_TRUE(io(0, 0x1000));
         WaitFor([] { return k4160_get_position(0) >= 25000; });
         EXPECT_GT(k4160_read_current_speed(0), 10000.0);
       }},
      {"a home logic that does not match the wiring shows HOME away from the switch",
       "[[axis]]\naxis = 0\nhome = 0\nhome_width = 10\n[axis.polarity]\nhome = \"high\"\n", [&] {
         for (bool high : {false, true}) {
           if (high) k4160_set_HOME_pin_logic(0, 1, 0);
           k4160_set_position(0, 5000);
           EXPECT_EQ(io(0, 0x800), !high);
           k4160_set_position(0, 5);
           EXPECT_EQ(io(0, 0x800), high);
         }
       }},
      {"a home search counting EZ pulses stops on the second index past HOME",
       "[[axis]]\naxis = 0\nhome = -1000\nhome_width = 50\nez_every = 400\n", [&] {
         k4160_config_home_mode(0, 1, 2);
         k4160_home_move(0, 2, 0);
         WaitDone({0});
         EXPECT_EQ(k4160_get_position(0), -1600);
       }},
      {"a clamp sensor follows its output 0.2 s later; a part sensor the feeder's position",
       "[[card]]\ncard = 0\n[[card.input]]\ninput = 1\noutput = 1\ndelay = 0.2\n"
       "[[card.input]]\ninput = 19\nwindow = { axis = 0, from = 100, to = 200 }\n",
       [&] {
         k4160_write_outbit(0, 1, 1);
         const double on = Now();
         WaitFor([] { return k4160_read_inbit(0, 1) == 1; });
         EXPECT_NEAR(Now() - on, 0.2, 0.001);
         EXPECT_EQ(k4160_read_inbit(0, 19), 0u);
         k4160_set_position(0, 150);
         EXPECT_EQ(k4160_read_inbit(0, 19), 1u);
       }},
      {"the log is written at the last close", "[log]\ncsv = '" + csv + "'\ninterval = 0.01\n", [&] {
         std::remove(csv.c_str());
         ASSERT_EQ(k4160_board_init(), 1u);  // a second, nested init
         move(0, 3000);
         kpx4160_sim_advance(0.02);  // a sample after the end
         k4160_board_close();
         EXPECT_FALSE(std::ifstream(csv).good());  // one card user is left
         k4160_board_close();
         std::ifstream in(csv);
         std::string line, last;
         for (std::getline(in, line); std::getline(in, line);) last = line.find(",0,0,") < 10 ? line : last;
         EXPECT_NE(last.find(",0,0,3000,"), std::string::npos) << last;
       }},
      {"a limit stop raises the error interrupt when enabled", "[[axis]]\naxis = 0\nlimits = [-100, 3000]\n", [&] {
         static std::atomic<int> interrupts{0};
         k4160_set_board_isr([](uint16_t) { ++interrupts; });
         ASSERT_EQ(k4160_set_int_enable(0), 0);
         for (uint32_t factor : {0x0u, 0x100000u}) {
           interrupts = 0;
           k4160_set_int_factor(0, factor);
           move(0, factor == 0 ? 5000 : -5000);
           move(0, factor == 0 ? -200 : 200);  // off the switch again
           for (int i = 0; i < 200 && interrupts == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
           EXPECT_EQ(interrupts > 0, factor != 0) << factor;
         }
         k4160_set_board_isr(nullptr);
       }},
  };
  for (Case &c : cases) {
    SCOPED_TRACE(c.name);
    CloseLibraryCompletely();
    Load(c.machine);
    c.run();
  }
}

// The simulator's own services: its clocks (advancing virtual time and what
// is refused, restarting time, the poll step), its motion log (samples of
// every chip axis at a fixed interval, read one by one or written as CSV)
// and its bounded access trace.
constexpr double kInf = std::numeric_limits<double>::infinity();

class SimClockAndLog : public SimMotionTest {};

TEST_F(SimClockAndLog, ClocksAdvanceRestartAndRefuse) {
  OpenCards(1);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 20e-6), 0);
  for (auto [dt, ret] : {std::pair{0.25, 0}, {0.0, 0}, {-0.001, -1}, {std::nan(""), -1}, {kInf, -1}, {-kInf, -1}})
    EXPECT_EQ(kpx4160_sim_advance(dt), ret) << dt;
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25);
  k4160_axis_status(0);  // a status poll is worth one poll step
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25 + 20e-6);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0), 0);  // unusable: 10 microseconds
  k4160_check_done(1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);
  EXPECT_EQ(kpx4160_sim_set_clock(static_cast<kpx4160_sim_clock_mode>(2), 1e-5), -1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);
  // Setting the clock stops a running move where it is and starts time at 0.
  k4160_t_vmove(0, 1);
  ASSERT_EQ(kpx4160_sim_advance(1.0), 0);
  const int32_t at = k4160_get_position(0);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  EXPECT_EQ(kpx4160_sim_time(), 0.0);
  ASSERT_EQ(kpx4160_sim_advance(1000.0), 0);
  EXPECT_EQ(k4160_get_position(0), at);
  // Real time runs by itself from 0 and cannot be pushed.
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_REAL, -1.0), 0);
  EXPECT_LT(kpx4160_sim_time(), 1000.0);
  EXPECT_EQ(kpx4160_sim_advance(0.5), -1);
  EXPECT_EQ(kpx4160_sim_advance(0.0), -1);
}

TEST_F(SimClockAndLog, LogSamplesEveryAxisAtItsIntervalAndWritesThemAsCsv) {
  OpenCards(2);
  for (double bad : {0.0, -0.01, std::nan(""), kInf}) EXPECT_EQ(kpx4160_sim_log_start(bad), -1) << bad;
  ASSERT_EQ(kpx4160_sim_set_encoder(1, 1, 2.0), 0);
  k4160_set_profile(3, 1000, 2000, 0.1, 0.1);
  k4160_set_position(3, -50);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  MOTION_default_const_vmove(3, 1);  // card 1, chip axis 1 at 1000 pulses/s; the rest at rest
  ASSERT_EQ(kpx4160_sim_log_start(0.01), 0);
  ASSERT_EQ(kpx4160_sim_advance(0.105), 0);
  ASSERT_EQ(kpx4160_sim_log_size(), 44u);  // instants 0, 0.01 .. 0.10, four chip axes each
  std::string want = "time,card,chip_axis,position,encoder,speed\n";
  kpx4160_sim_sample s{};
  for (uint32_t i = 0; i < 44; ++i) {
    ASSERT_EQ(kpx4160_sim_log_sample(i, &s), 0);
    const bool moving = i % 4 == 3;
    EXPECT_EQ(s.card * 2 + s.chip_axis, i % 4) << i;
    EXPECT_NEAR(s.time, 0.01 * (i / 4), 1e-12) << i;
    EXPECT_EQ(s.speed, moving ? 1000.0 : 0.0) << i;
    EXPECT_NEAR(s.position, moving ? -50 + 1000.0 * s.time : 0.0, 1.0) << i;
    EXPECT_EQ(s.encoder, moving ? 2 * (s.position + 50) : 0) << i;
    char row[128];
    std::snprintf(row, sizeof row, "%.6f,%u,%u,%d,%d,%.3f\n", s.time, s.card, s.chip_axis, s.position, s.encoder, s.speed);
    want += row;
  }
  EXPECT_EQ(kpx4160_sim_log_sample(44, &s), -1);
  EXPECT_EQ(kpx4160_sim_log_sample(0, nullptr), -1);
  EXPECT_EQ(kpx4160_sim_log_stop(), 0);  // stopped: time moves on, the log does not grow
  ASSERT_EQ(kpx4160_sim_advance(0.05), 0);
  EXPECT_EQ(kpx4160_sim_log_size(), 44u);
  const std::string path = ::testing::TempDir() + "kpx4160_motion_log.csv";
  ASSERT_EQ(kpx4160_sim_log_write_csv(path.c_str()), 0);
  std::ifstream csv(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(csv), {}), want);
  std::remove(path.c_str());
  EXPECT_EQ(kpx4160_sim_log_write_csv("/nonexistent-folder/kpx4160.csv"), -1);
  EXPECT_EQ(kpx4160_sim_log_write_csv(nullptr), -1);
  ASSERT_EQ(kpx4160_sim_log_start(0.5), 0);  // a new log drops the old samples, starts with one now
  EXPECT_EQ(kpx4160_sim_log_size(), 4u);
}

// The trace keeps the start of the record up to its bound, so a program
// polling for a long time keeps its memory; the registers work on past it.
TEST_F(SimClockAndLog, TraceKeepsTheFirstAccessesUntilCleared) {
  constexpr uint32_t kCapacity = 1u << 20;
  OpenCards(1);
  k4160_set_position(1, 42);
  kpx4160_sim_access first{}, again{};
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &first), 0);
  while (kpx4160_sim_trace_size() < kCapacity) k4160_axis_status(0);
  k4160_axis_status(0);
  EXPECT_EQ(kpx4160_sim_trace_size(), kCapacity);
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &again), 0);
  EXPECT_TRUE(again.offset == first.offset && again.value == first.value);
  EXPECT_EQ(kpx4160_sim_trace_entry(kCapacity, &again), -1);
  EXPECT_EQ(k4160_get_position(1), 42);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

}  // namespace
}  // namespace kpx::test
