// The interrupt service over the simulated card: acknowledges, cause reads,
// thread lifetime and the application callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "device/error_text.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

constexpr uint32_t kRequestInterruptEnable = 0x953836db;
constexpr uint32_t kRequestInterruptDisable = 0x953836ef;

// Polls until pred holds; false after five seconds, so a fault cannot hang.
bool WaitUntil(const std::function<bool()> &pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs fn on its own thread; a call that does not return in ten seconds
// ends the test program (it cannot be cleaned up after).
void FinishesWithin(const std::function<void()> &fn) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread t([fn, done] {
    fn();
    done->store(true);
  });
  if (!WaitUntil([&] { return done->load(); }) && !done->load()) {
    std::fprintf(stderr, "call did not return\n");
    std::abort();
  }
  t.join();
}

std::vector<kpx4160_sim_config_access> ConfigLog() {
  std::vector<kpx4160_sim_config_access> log(kpx4160_sim_config_log_size());
  for (uint32_t i = 0; i < log.size(); ++i) kpx4160_sim_config_log_entry(i, &log[i]);
  return log;
}

// Writes of value v at the interrupt control word, per card.
unsigned ControlWrites(const std::vector<kpx4160_sim_config_access> &log, uint32_t card, uint32_t v) {
  unsigned n = 0;
  for (const auto &a : log) n += a.card == card && a.offset == 0x48 && a.is_write == 1 && a.value == v;
  return n;
}

std::atomic<unsigned> callback_calls[4];
void CountingCallback(uint16_t card) {
  if (card < 4) callback_calls[card].fetch_add(1);
}

class Interrupts : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    for (auto &c : callback_calls) c.store(0);
    k4160_set_board_isr(nullptr);
  }
  void TearDown() override {
    k4160_set_board_isr(nullptr);
    SimTest::TearDown();
  }
};
using InterruptThreaded = Interrupts;

TEST_F(InterruptThreaded, EnableTwiceStartsOneThreadAndAcknowledgesBothTimes) {
  OpenCards(1);
  kpx4160_sim_config_log_clear();
  EXPECT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 1; }));
  EXPECT_EQ(k4160_set_int_enable(0), -1);
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptEnable), 1u);
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0), 1u);

  // Each call: read, write 0x300, read at word 0x48 of card 0.
  const auto log = ConfigLog();
  ASSERT_EQ(log.size(), 6u);
  for (unsigned i = 0; i < 6; ++i) {
    EXPECT_EQ(log[i].card, 0u);
    EXPECT_EQ(log[i].offset, 0x48u);
    EXPECT_EQ(log[i].is_write, i % 3 == 1 ? 1u : 0u) << i;
  }
  EXPECT_EQ(ControlWrites(log, 0, 0x300), 2u);
  const auto reads = Only(DecodedTrace(), Op::kPclRead);
  ASSERT_EQ(reads.size(), 4u);
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(reads[i], PclRead(0, 0, i % 2 ? 0xF3 : 0xF2, 0)) << i;

  k4160_set_int_disable();
  EXPECT_EQ(kpx4160_sim_interrupt_enabled(0), 0);
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0), 0u);
  // Disabled, a fresh enable starts a new service.
  EXPECT_EQ(k4160_set_int_enable(0), 0);
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptEnable), 2u);
}

TEST_F(Interrupts, DisableWithoutServiceStillTurnsEveryCardOff) {
  OpenCards(2);
  kpx4160_sim_set_config_dword(0, 0x48, 0x300);
  kpx4160_sim_set_config_dword(1, 0x48, 0x300);
  kpx4160_sim_config_log_clear();
  k4160_set_int_disable();
  const auto log = ConfigLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].card, 0u);
  EXPECT_EQ(log[1].card, 1u);
  EXPECT_EQ(ControlWrites(log, 0, 0), 1u);
  EXPECT_EQ(ControlWrites(log, 1, 0), 1u);
  EXPECT_EQ(kpx4160_sim_get_config_dword(1, 0x48), 0u);
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptDisable), 0u);
}

TEST_F(InterruptThreaded, EachInterruptIsAcknowledgedAtTheRaisingCardAndReachesTheCallback) {
  OpenCards(2);
  k4160_set_board_isr(CountingCallback);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(1) == 1; }));
  kpx4160_sim_config_log_clear();
  kpx4160_sim_trace_clear();
  constexpr unsigned kInterrupts = 5;
  for (unsigned i = 0; i < kInterrupts; ++i) ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  ASSERT_TRUE(WaitUntil([] { return callback_calls[1].load() == kInterrupts; }));

  const auto log = ConfigLog();
  EXPECT_EQ(ControlWrites(log, 1, 0x300), kInterrupts);
  EXPECT_EQ(ControlWrites(log, 0, 0x300), 0u);
  // The causes and main status come from card 0, chip axis 0, every time.
  const auto trace = DecodedTrace();
  EXPECT_EQ(OnAxis(trace, 0, 0).size(), trace.size());
  unsigned error = 0, event = 0, status = 0;
  for (const auto &op : trace) {
    error += op.op == Op::kPclRead && op.code == 0xF2;
    event += op.op == Op::kPclRead && op.code == 0xF3;
    status += op.op == Op::kMainStatus;
  }
  EXPECT_EQ(error, kInterrupts);
  EXPECT_EQ(event, kInterrupts);
  EXPECT_EQ(status, kInterrupts);
  EXPECT_EQ(callback_calls[0].load(), 0u);

  // A null callback stores "none": interrupts are still acknowledged.
  k4160_set_board_isr(nullptr);
  ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  ASSERT_TRUE(WaitUntil([] { return ControlWrites(ConfigLog(), 1, 0x300) == kInterrupts + 1; }));
  EXPECT_EQ(callback_calls[1].load(), kInterrupts);
  k4160_set_int_disable();
}

TEST_F(Interrupts, FactorAndCauseRegistersOfTheAxis) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 1, 0x9D, 0x00441234);
  k4160_set_int_factor(1, (1u << 0) | (1u << 20));
  k4160_set_int_factor(1, 0xFFFFFFFF);
  k4160_set_int_factor(1, 0x0000F00F);
  const auto writes = Only(DecodedTrace(), Op::kPclWrite);
  ASSERT_EQ(writes.size(), 6u);
  EXPECT_EQ(writes[0], PclWrite32(0, 1, 0x9D, 0x40441234));
  EXPECT_EQ(writes[1], PclWrite32(0, 1, 0xAC, 0x00100001));
  EXPECT_EQ(writes[2], PclWrite32(0, 1, 0x9D, 0x40441234));
  EXPECT_EQ(writes[3], PclWrite32(0, 1, 0xAC, 0x00101FFF));
  EXPECT_EQ(writes[4], PclWrite32(0, 1, 0x9D, 0x00441234));
  EXPECT_EQ(writes[5], PclWrite32(0, 1, 0xAC, 0x0000100F));

  kpx4160_sim_set_pcl_register(0, 1, 0xF3, 0x00ABCDEF);
  kpx4160_sim_set_pcl_register(0, 1, 0xF2, 0x00000055);
  kpx4160_sim_set_pcl_register(0, 0, 0xF3, 0x11);
  EXPECT_EQ(k4160_read_event_int_factor(1), 0x00ABCDEFu);
  EXPECT_EQ(k4160_read_error_int_factor(1), 0x55u);
  EXPECT_EQ(k4160_get_error_intfactor(1), 0x55u);
  EXPECT_EQ(k4160_read_event_int_factor(0), 0x11u);

  // Axes of cards that are not open touch nothing.
  kpx4160_sim_trace_clear();
  k4160_set_int_factor(40, 0xFFFFFFFF);
  EXPECT_EQ(k4160_read_event_int_factor(65535), 0u);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(Interrupts, RefusedEnableLeavesNoServiceAndCanBeRetried) {
  EXPECT_EQ(k4160_set_int_enable(0), -1);  // before init
  OpenCards(1);
  kpx4160_sim_config_log_clear();
  EXPECT_EQ(k4160_set_int_enable(3), -1);
  EXPECT_EQ(k4160_set_int_enable(16), -1);
  EXPECT_EQ(kpx4160_sim_config_log_size(), 0u);

  ASSERT_EQ(kpx4160_sim_set_interrupt_enable_status(0, 0x2000000C), 0);
  EXPECT_EQ(k4160_set_int_enable(0), -1);
  EXPECT_STREQ(device::ErrorText(), "InterruptEnable() failed with status 0x2000000c - Failed enabling interrupt\n");
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0), 0u);
  ASSERT_EQ(kpx4160_sim_set_interrupt_enable_status(0, 0), 0);
  EXPECT_EQ(k4160_set_int_enable(0), 0);
  EXPECT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 1; }));
}

TEST_F(InterruptThreaded, CloseWithInterruptsRunningEndsEveryThreadAndReleasesEverything) {
  OpenCards(2);
  k4160_set_board_isr(CountingCallback);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 1 && kpx4160_sim_interrupt_waiters(1) == 1; }));
  for (int i = 0; i < 3; ++i) {
    kpx4160_sim_raise_interrupt(0);
    kpx4160_sim_raise_interrupt(1);
  }
  ASSERT_TRUE(WaitUntil([] { return callback_calls[0].load() == 3 && callback_calls[1].load() == 3; }));
  FinishesWithin([] { k4160_board_close(); });
  for (unsigned c = 0; c < 2; ++c) {
    EXPECT_EQ(kpx4160_sim_interrupt_enabled(c), 0);
    EXPECT_EQ(kpx4160_sim_interrupt_waiters(c), 0u);
  }
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptDisable), 2u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
}

// A callback that turns interrupts off must not wait for its own thread.
void DisablingCallback(uint16_t card) {
  CountingCallback(card);
  k4160_set_int_disable();
}

TEST_F(InterruptThreaded, DisableFromTheCallbackEndsTheThreadWithoutDeadlock) {
  OpenCards(1);
  k4160_set_board_isr(DisablingCallback);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 1; }));
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  ASSERT_TRUE(WaitUntil([] { return callback_calls[0].load() == 1 && kpx4160_sim_interrupt_enabled(0) == 0; }));
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 0; }));
  // The ended service is freed and a new one started by the next enable.
  k4160_set_board_isr(CountingCallback);
  EXPECT_EQ(k4160_set_int_enable(0), 0);
  ASSERT_TRUE(WaitUntil([] { return kpx4160_sim_interrupt_waiters(0) == 1; }));
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  EXPECT_TRUE(WaitUntil([] { return callback_calls[0].load() == 2; }));
  FinishesWithin([] { k4160_board_close(); });
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

}  // namespace
}  // namespace kpx::test
