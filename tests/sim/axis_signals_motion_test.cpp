// Signals of the simulated card acting on motion: end limit switches, the
// home switch, soft limits through the comparators, the latch of the
// counters on a latch event, and the interrupt at the end of a move. A
// decelerating stop from 2000 to 1000 pulses/s in 0.1 s covers 150 pulses.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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
  // Starts a move, waits until it ends (or max_seconds) and returns where the axis is.
  int32_t Run(uint16_t axis, const std::function<void()> &start, double max_seconds = 60.0) {
    start();
    WaitDone({axis}, max_seconds);
    return k4160_get_position(axis);
  }
  static uint16_t Switches() { return k4160_axis_io_status(0) & (kPlusEl | kMinusEl | kHome); }
};

TEST_F(AxisSignalsMotion, EndLimitsAndTheHomeSwitchStopMovesIntoThem) {
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, -3000, 5000, 1), 0);
  EXPECT_EQ(Switches(), 0);
  EXPECT_EQ(Run(0, [] { k4160_t_pmove(0, 10000, 0); }), 5000);  // ends on the switch
  EXPECT_EQ(Switches(), kPlusEl);
  EXPECT_EQ(Run(0, [] { k4160_t_vmove(0, 1); }, 1.0), 5000);  // further up: no move at all
  k4160_t_vmove(0, 0);  // down: leaves it and runs into the minus limit
  WaitFor([] { return k4160_get_position(0) < 4000; });
  EXPECT_EQ(Switches(), 0);
  EXPECT_EQ(Run(0, [] {}), -3000);
  EXPECT_EQ(Switches(), kMinusEl);
  EXPECT_EQ(Run(1, [] { k4160_t_pmove(1, 8000, 0); }), 8000);  // the other chip axis has none
  // In decelerating EL mode the ramp starts at the switch at full speed.
  k4160_config_EL_MODE(0, 1);
  EXPECT_NEAR(Run(0, [] { k4160_t_vmove(0, 1); }), 5000 + kStop, 3.0);
  EXPECT_EQ(Switches(), kPlusEl);
  ASSERT_EQ(kpx4160_sim_set_limit_switches(0, 0, 0, 0, 0), 0);  // removed: stops nothing
  k4160_set_position(0, 0);
  EXPECT_EQ(Run(0, [] { k4160_t_pmove(0, -10000, 0); }), -10000);

  // Home: a constant-speed search ends exactly on the switch; a point move
  // passes over it; a search away from it runs on; an accelerating search
  // starts its decelerating stop at the switch.
  ASSERT_EQ(kpx4160_sim_set_home_switch(0, 0, 1234, 1), 0);
  EXPECT_EQ(Run(0, [] { k4160_home_move(0, 1, 0); }), 1234);
  EXPECT_EQ(Switches(), kHome);
  EXPECT_EQ(Run(0, [] { k4160_t_pmove(0, 3000, 0); }), 4234);
  EXPECT_EQ(Switches(), 0);
  k4160_home_move(0, 1, 0);
  WaitFor([] { return k4160_get_position(0) > 6000; });
  EXPECT_EQ(k4160_check_done(0), 0);
  k4160_imd_stop(0);
  EXPECT_NEAR(Run(0, [] { k4160_home_move(0, 2, 1); }), 1234 - kStop, 3.0);
  ASSERT_EQ(kpx4160_sim_set_home_switch(0, 0, 1234, 0), 0);
  k4160_home_move(0, 1, 0);
  WaitFor([] { return k4160_get_position(0) > 2000; });
  EXPECT_EQ(k4160_check_done(0), 0);
}

TEST_F(AxisSignalsMotion, SoftLimitsAndComparatorsStopTheAxis) {
  k4160_set_softlimit_data(1, -1000, 5000);
  k4160_config_softlimit(1, 0);  // stop at once
  k4160_enable_softlimit(1, 1);
  EXPECT_EQ(Run(1, [] { k4160_t_vmove(1, 1); }), 5000);
  EXPECT_EQ(Run(1, [] { k4160_t_pmove(1, -20000, 0); }), -1000);
  EXPECT_EQ(Run(1, [] { k4160_t_pmove(1, -10, 0); }), -1000);  // already at the limit
  EXPECT_EQ(k4160_get_position(0), 0);  // chip axis 0 has its own comparators
  k4160_config_softlimit(1, 1);  // a decelerating stop
  EXPECT_NEAR(Run(1, [] { k4160_t_vmove(1, 1); }), 5000 + kStop, 3.0);
  k4160_enable_softlimit(1, 0);  // off: past both
  EXPECT_NEAR(Run(1, [] { k4160_t_pmove(1, 10000, 0); }), 15000 + kStop, 3.0);
  // A comparator set by hand with the same conditions acts the same way.
  k4160_set_comparator_data(1, 20000, 0);
  k4160_config_comparator(1, 3, 0, 0);
  EXPECT_EQ(Run(1, [] { k4160_t_vmove(1, 1); }), 20000);
}

TEST_F(AxisSignalsMotion, LatchEventCopiesTheCountersAndRaisesTheFlag) {
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
}

// Interrupts at the end of a move on the simulated card: with the chip's
// end-of-operation event enabled on an axis, every move that ends there
// interrupts its card once, and the library's interrupt thread of that card
// calls the application callback with the card number. Every wait is
// bounded, so a lost interrupt fails the test instead of hanging it.
using namespace std::chrono_literals;

std::mutex g_mutex;
std::condition_variable g_cv;
std::vector<uint16_t> g_cards;  // card of every call, in order

class ThreadedMoveInterrupt : public SimMotionTest {
 protected:
  void TearDown() override {
    k4160_set_int_disable();
    k4160_set_board_isr(nullptr);
    SimMotionTest::TearDown();
  }
  // Waits (at most 5 s of wall time) until the callback has run n times; returns the calls so far.
  static std::vector<uint16_t> Calls(size_t n) {
    std::unique_lock lock(g_mutex);
    g_cv.wait_for(lock, 5s, [n] { return g_cards.size() >= n; });
    return g_cards;
  }
};

TEST_F(ThreadedMoveInterrupt, EveryFinishedMoveCallsTheCallbackOnceWithItsCard) {
  OpenCards(2);
  g_cards.clear();
  k4160_set_board_isr([](uint16_t card) {
    std::lock_guard lock(g_mutex);
    g_cards.push_back(card);
    g_cv.notify_all();
  });
  k4160_set_int_factor(0, 1);  // the end-of-operation event on axes 0 (card 0) and 2 (card 1) only
  k4160_set_int_factor(2, 1);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  for (uint16_t a : {0, 1, 2}) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);
  struct Case {
    const char *name;
    uint16_t axis;
    int moves;  // started back to back (the second through the pre-buffer)
    std::vector<uint16_t> calls;  // all calls so far once they have ended
  } cases[] = {
      {"axis 0", 0, 1, {0}},
      {"axis 1, event not enabled", 1, 1, {0}},
      {"axis 2 on card 1", 2, 1, {0, 1}},
      {"two chained moves of axis 0", 0, 2, {0, 1, 0, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < c.moves; ++i) k4160_t_pmove(c.axis, 300, 0);
    EXPECT_EQ(Calls(0).size(), c.calls.size() - (c.axis == 1 ? 0 : c.moves)) << "called before the end";
    WaitDone({c.axis});
    EXPECT_EQ(Calls(c.calls.size()), c.calls);
  }
  // A moment for any call that should not come, then stop the interrupt
  // threads (waiting for them): the list is complete.
  std::this_thread::sleep_for(20ms);
  k4160_set_int_disable();
  EXPECT_EQ(Calls(0), cases[3].calls);
  EXPECT_EQ(k4160_get_position(0), 900);
}

}  // namespace
}  // namespace kpx::test
