// Machine files: what a refused file reports, and the machine's signals as
// a program sees them through the library alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class MachineFile : public SimMotionTest {
 protected:
  std::string Write(const std::string &text) {
    const std::string path = ::testing::TempDir() + "machine_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".toml";
    std::ofstream(path) << text;
    return path;
  }
  void Load(const std::string &text) {
    ASSERT_EQ(kpx4160_sim_load_machine(Write("[clock]\nmode = \"virtual\"\npoll_step = 50e-6\n" + text).c_str()), 0);
    ASSERT_EQ(k4160_board_init(), 1u);
    k4160_set_profile(0, 1000, 20000, 0.1, 0.1);
    k4160_set_profile(1, 1000, 20000, 0.1, 0.1);
  }
  static std::string ErrorText() {
    char text[512];
    k4160_get_error_text(text, sizeof text);
    return text;
  }
};

TEST_F(MachineFile, BadFilesAreRefusedNamingFileLineAndKey) {
  struct Case {
    const char *text;
    const char *message;  // after "<file>:"; a message ending in '*' is a prefix
  } cases[] = {
      {"cards = 1\nspeed = 3\n", "2: key 'speed': unknown key"},
      {"cards = \"two\"\n", "1: key 'cards': expected an integer"},
      {"cards = 101\n", "1: key 'cards': out of range 1..100"},
      {"[clock]\nmode = \"fast\"\n", "2: key 'clock.mode': expected \"real\" or \"virtual\""},
      {"[[axis]]\naxis = 2\n", "2: key 'axis.axis': out of range 0..1"},
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
    if (want.back() == '*') {
      want.pop_back();
      EXPECT_EQ(err.rfind(want, 0), 0u) << err;
    } else {
      EXPECT_EQ(err, want + "\n");
      EXPECT_EQ(ErrorText(), want + "\n");
    }
  }
}

// Each machine, what the program does, and what it must see.
TEST_F(MachineFile, SignalsStopShowAndLeaveTheirCauses) {
  const auto move = [this](uint16_t axis, int32_t distance) {
    k4160_t_pmove(axis, distance, 0);
    WaitDone({axis});
    return k4160_get_position(axis);
  };
  const auto io = [](uint16_t axis, uint16_t bit) { return (k4160_axis_io_status(axis) & bit) != 0; };
  struct Case {
    const char *name;
    const char *machine;
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
      {"an emergency stop wired to an output stops the card 10 ms after the output comes on",
       "[[card]]\ncard = 0\nemg_output = 12\nemg_delay = 0.01\n", [&] {
         k4160_write_outbit(0, 12, 0);  // outputs 1-14 power up on
         kpx4160_sim_advance(0.02);
         k4160_t_pmove(0, 100000, 0);
         kpx4160_sim_advance(0.3);
         k4160_write_outbit(0, 12, 1);
         const double on = Now();
         EXPECT_NEAR(WaitDone({0}) - on, 0.01, 0.001);
         EXPECT_EQ(k4160_get_error_intfactor(0), 0x100u);
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
  };
  for (Case &c : cases) {
    SCOPED_TRACE(c.name);
    CloseLibraryCompletely();
    Load(c.machine);
    c.run();
  }
}

TEST_F(MachineFile, TheLogIsWrittenAtTheLastClose) {
  const std::string csv = ::testing::TempDir() + "machine_log.csv";
  const std::string svg = ::testing::TempDir() + "machine_log.svg";
  std::remove(csv.c_str());
  std::remove(svg.c_str());
  Load("[log]\ncsv = '" + csv + "'\nsvg = '" + svg + "'\ninterval = 0.01\n");  // literal strings: Windows paths hold backslashes
  ASSERT_EQ(k4160_board_init(), 1u);  // a second, nested init
  k4160_t_pmove(0, 3000, 0);
  WaitDone({0});
  kpx4160_sim_advance(0.02);  // a sample after the end
  k4160_board_close();
  EXPECT_FALSE(std::ifstream(csv).good());  // one card user is left
  k4160_board_close();
  std::ifstream in(csv);
  std::string header, last, line;
  std::getline(in, header);
  while (std::getline(in, line))
    if (line.find(",0,0,") == line.find(',')) last = line;  // card 0, chip axis 0
  EXPECT_EQ(header, "time,card,chip_axis,position,encoder,speed");
  EXPECT_NE(last.find(",0,0,3000,"), std::string::npos) << last;
  std::string head(5, ' ');
  std::ifstream(svg).read(head.data(), 5);
  EXPECT_TRUE(head == "<svg " || head == "<?xml") << head;
}

std::atomic<int> g_interrupts{0};

TEST_F(MachineFile, LimitStopRaisesTheErrorInterruptWhenEnabled) {
  Load("[[axis]]\naxis = 0\nlimits = [-100, 3000]\n");
  k4160_set_board_isr([](uint16_t) { ++g_interrupts; });
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  for (uint32_t factor : {0x0u, 0x100000u}) {
    g_interrupts = 0;
    k4160_set_int_factor(0, factor);
    k4160_t_pmove(0, factor == 0 ? 5000 : -5000, 0);
    WaitDone({0});
    k4160_t_pmove(0, factor == 0 ? -200 : 200, 0);  // off the switch again
    WaitDone({0});
    for (int i = 0; i < 200 && g_interrupts == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(g_interrupts > 0, factor != 0) << factor;
  }
  k4160_set_board_isr(nullptr);
}

}  // namespace
}  // namespace kpx::test
