// Interrupts at the end of a move on the simulated card: with the chip's
// end-of-operation event enabled on an axis, every move that ends there
// interrupts its card once, and the library's interrupt thread of that card
// calls the application callback with the card number. Every wait is
// bounded, so a lost interrupt fails the test instead of hanging it.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

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
      {"axis 0 again", 0, 1, {0, 0}},
      {"axis 1, event not enabled", 1, 1, {0, 0}},
      {"axis 2 on card 1", 2, 1, {0, 0, 1}},
      {"two chained moves of axis 0", 0, 2, {0, 0, 1, 0, 0}},
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
  EXPECT_EQ(Calls(0), cases[4].calls);
  EXPECT_EQ(k4160_get_position(0), 1200);
}

}  // namespace
}  // namespace kpx::test
