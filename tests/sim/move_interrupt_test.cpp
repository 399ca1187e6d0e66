// Interrupts at the end of a move on the simulated card: with the chip's
// end-of-operation event enabled on an axis, every move that ends there
// interrupts its card once, and the library's interrupt thread of that card
// calls the application callback with the card number. Every wait here is
// bounded, so a lost interrupt fails the test instead of hanging it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

using namespace std::chrono_literals;
constexpr uint32_t kEventOperationEnd = 1u << 0;

// What the callback saw, shared with the interrupt threads.
struct Calls {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<uint16_t> cards;  // card of every call, in order
};
Calls g_calls;

void OnBoardInterrupt(uint16_t card) {
  {
    std::lock_guard lock(g_calls.mutex);
    g_calls.cards.push_back(card);
  }
  g_calls.cv.notify_all();
}

class ThreadedMoveInterrupt : public SimMotionTest {
 protected:
  void SetUp() override {
    SimMotionTest::SetUp();
    std::lock_guard lock(g_calls.mutex);
    g_calls.cards.clear();
  }
  void TearDown() override {
    k4160_set_int_disable();
    k4160_set_board_isr(nullptr);
    SimMotionTest::TearDown();
  }
  // Waits (at most 5 s of wall time) until the callback has run n times.
  static bool WaitForCalls(size_t n) {
    std::unique_lock lock(g_calls.mutex);
    return g_calls.cv.wait_for(lock, 5s, [n] { return g_calls.cards.size() >= n; });
  }
  static std::vector<uint16_t> CallsSoFar() {
    std::lock_guard lock(g_calls.mutex);
    return g_calls.cards;
  }
};

TEST_F(ThreadedMoveInterrupt, EveryFinishedMoveCallsTheCallbackOnceWithItsCard) {
  OpenCards(2);
  k4160_set_board_isr(OnBoardInterrupt);
  // The end-of-operation event on axis 0 (card 0) and axis 2 (card 1) only.
  k4160_set_int_factor(0, kEventOperationEnd);
  k4160_set_int_factor(2, kEventOperationEnd);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  for (uint16_t a : {0, 1, 2}) k4160_set_profile(a, 1000, 2000, 0.1, 0.1);

  // Each move of axis 0 interrupts once when it ends, not before.
  for (size_t i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    k4160_t_pmove(0, 300, 0);
    EXPECT_EQ(CallsSoFar().size(), i - 1);
    WaitDone({0});
    ASSERT_TRUE(WaitForCalls(i)) << "no callback for move " << i;
  }
  EXPECT_EQ(CallsSoFar(), (std::vector<uint16_t>{0, 0, 0}));

  // A move of axis 1, whose event is not enabled, interrupts nothing; one
  // of axis 2 interrupts card 1.
  k4160_t_pmove(1, 300, 0);
  WaitDone({1});
  k4160_t_pmove(2, 300, 0);
  WaitDone({2});
  ASSERT_TRUE(WaitForCalls(4)) << "no callback for the move on card 1";
  // Two moves chained through the pre-buffer end twice.
  k4160_t_pmove(0, 200, 0);
  k4160_t_pmove(0, 200, 0);
  WaitDone({0});
  ASSERT_TRUE(WaitForCalls(6));
  // A moment for any call that should not come, then stop the interrupt
  // threads (waiting for them): the list is complete.
  std::this_thread::sleep_for(20ms);
  k4160_set_int_disable();
  EXPECT_EQ(CallsSoFar(), (std::vector<uint16_t>{0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(k4160_get_position(0), 1300);
  EXPECT_EQ(k4160_get_position(1), 300);
  EXPECT_EQ(k4160_get_position(2), 300);
}

}  // namespace
}  // namespace kpx::test
