// The extended interrupt callback: what the handler read, handed over as
// read, and the one callback slot shared with the plain callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

struct Call {
  uint16_t card;
  uint32_t error, event;
  uint16_t status;
  void *user;
};
std::mutex calls_mutex;
std::vector<Call> ex_calls;
std::atomic<unsigned> plain_calls{0};

void ExCallback(uint16_t card, uint32_t error, uint32_t event, uint16_t status, void *user) {
  std::lock_guard<std::mutex> lock(calls_mutex);
  ex_calls.push_back({card, error, event, status, user});
}
void PlainCallback(uint16_t) { plain_calls.fetch_add(1); }

size_t ExCalls() {
  std::lock_guard<std::mutex> lock(calls_mutex);
  return ex_calls.size();
}

bool WaitFor(size_t ex, unsigned plain) {
  for (int i = 0; i < 5000; ++i) {
    if (ExCalls() >= ex && plain_calls.load() >= plain) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

class InterruptCallbackExThreaded : public SimTest {
 protected:
  void TearDown() override {
    k4160_set_board_isr(nullptr);
    SimTest::TearDown();
  }
};

TEST_F(InterruptCallbackExThreaded, HandsOverCard0Axis0ValuesAndSharesTheSlotWithThePlainCallback) {
  OpenCards(2);
  // Card 1 and chip axis 1 hold other values: the handler must not read them.
  kpx4160_sim_set_pcl_register(1, 0, 0xF2, 0x11111111);
  kpx4160_sim_set_pcl_register(0, 1, 0xF3, 0x22222222);
  int user = 0;
  k4160_set_board_isr_ex(ExCallback, &user);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  struct Case {
    uint16_t card;
    uint32_t error, event;
    uint16_t status;
  };
  const Case cases[] = {{1, 0x00000010, 0x00100001, 0x0005}, {0, 0x80000001, 0x00000000, 0x4000},
                        {1, 0x00000000, 0x00001FFF, 0xFFFF}};
  for (const Case &c : cases) {
    kpx4160_sim_set_pcl_register(0, 0, 0xF2, c.error);
    kpx4160_sim_set_pcl_register(0, 0, 0xF3, c.event);
    kpx4160_sim_set_main_status(0, 0, c.status);
    const size_t before = ExCalls();
    while (kpx4160_sim_interrupt_waiters(c.card) == 0) std::this_thread::yield();
    ASSERT_EQ(kpx4160_sim_raise_interrupt(c.card), 0);
    ASSERT_TRUE(WaitFor(before + 1, 0));
    std::lock_guard<std::mutex> lock(calls_mutex);
    const Call &got = ex_calls.back();
    EXPECT_EQ(got.card, c.card);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(got.event, c.event);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.user, &user);
  }

  // The plain callback replaces the extended one, and the other way round.
  k4160_set_board_isr(PlainCallback);
  while (kpx4160_sim_interrupt_waiters(0) == 0) std::this_thread::yield();
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  ASSERT_TRUE(WaitFor(3, 1));
  k4160_set_board_isr_ex(ExCallback, nullptr);
  while (kpx4160_sim_interrupt_waiters(0) == 0) std::this_thread::yield();
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  ASSERT_TRUE(WaitFor(4, 1));
  k4160_set_int_disable();
  EXPECT_EQ(ExCalls(), 4u);
  EXPECT_EQ(plain_calls.load(), 1u);
  EXPECT_EQ(ex_calls.back().user, nullptr);
}

}  // namespace
}  // namespace kpx::test
