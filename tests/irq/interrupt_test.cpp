// The interrupt service over the simulated card: acknowledges in the PCI
// interrupt control word (configuration offset 0x48), cause reads, thread
// lifetime, and the plain and extended application callbacks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "core/card_table.h"
#include "device/error_text.h"
#include "irq/interrupt_service.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

constexpr uint32_t kRequestInterruptEnable = 0x953836db;
constexpr uint32_t kRequestInterruptDisable = 0x953836ef;
using Ops = std::vector<RegisterOp>;

// Polls until pred holds; false after five seconds, so a fault cannot hang.
template <class Pred>
bool WaitUntil(Pred pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
bool Waiting(uint32_t card) { return WaitUntil([card] { return kpx4160_sim_interrupt_waiters(card) == 1; }); }

unsigned ControlWrites(uint32_t card, uint32_t v) {  // writes of v at the card's control word
  unsigned n = 0;
  kpx4160_sim_config_access a{};
  for (uint32_t i = 0; i < kpx4160_sim_config_log_size(); ++i) {
    kpx4160_sim_config_log_entry(i, &a);
    n += a.card == card && a.offset == 0x48 && a.is_write == 1 && a.value == v;
  }
  return n;
}

std::atomic<unsigned> plain_calls[2];
void PlainCallback(uint16_t card) { plain_calls[card & 1].fetch_add(1); }
void DisablingCallback(uint16_t card) {  // must not wait for its own thread
  PlainCallback(card);
  k4160_set_int_disable();
}
using ExCall = std::tuple<uint16_t, uint32_t, uint32_t, uint16_t, void *>;  // card, error, event, status, user
std::mutex ex_mutex;
ExCall last_ex;  // under ex_mutex
std::atomic<size_t> ex_calls{0};
void ExCallback(uint16_t card, uint32_t error, uint32_t event, uint16_t status, void *user) {
  std::lock_guard<std::mutex> lock(ex_mutex);
  last_ex = {card, error, event, status, user};
  ex_calls.fetch_add(1);
}
ExCall LastExCall(size_t count) {  // waits for the count-th call
  EXPECT_TRUE(WaitUntil([count] { return ex_calls.load() >= count; }));
  std::lock_guard<std::mutex> lock(ex_mutex);
  return last_ex;
}

class Interrupts : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    for (auto &c : plain_calls) c.store(0);
    ex_calls.store(0);
  }
  void TearDown() override {
    k4160_set_board_isr(nullptr);
    SimTest::TearDown();
  }
};
using InterruptThreaded = Interrupts;

TEST_F(Interrupts, RefusedEnablesDisableWithoutServiceAndCauseRegisters) {
  EXPECT_EQ(k4160_set_int_enable(0), -1);  // before init
  OpenCards(2);
  EXPECT_EQ(k4160_set_int_enable(16), -1);
  EXPECT_EQ(kpx4160_sim_config_log_size(), 0u);
  ASSERT_EQ(kpx4160_sim_set_interrupt_enable_status(0, 0x2000000C), 0);  // the driver refuses
  EXPECT_EQ(k4160_set_int_enable(0), -1);
  EXPECT_STREQ(device::ErrorText(), "InterruptEnable() failed with status 0x2000000c - Failed enabling interrupt\n");
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0), 0u);
  // Disable without a service still turns every card's interrupt off.
  kpx4160_sim_set_config_dword(1, 0x48, 0x300);
  kpx4160_sim_config_log_clear();
  k4160_set_int_disable();
  EXPECT_EQ(kpx4160_sim_config_log_size(), 2u);
  EXPECT_EQ(ControlWrites(0, 0), 1u);
  EXPECT_EQ(ControlWrites(1, 0), 1u);
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptDisable), 0u);
  // Event cause 20 needs its gate, bit 30 of the shared SignalConfig2 (the
  // other bits kept); the event enable register 0xAC takes bits 0-12 and 20.
  const struct { uint32_t config, factor, config_written, enable; } rows[] = {
      {0x00441234, 0x00100001, 0x40441234, 0x00100001},
      {0xFFFFFFFF, 0x0000F00F, 0xBFFFFFFF, 0x0000100F},
      {0x00000000, 0xFFFFFFFF, 0x40000000, 0x00101FFF},
  };
  for (const auto &r : rows) {
    kpx4160_sim_set_pcl_register(0, 1, 0xDD, r.config);
    kpx4160_sim_trace_clear();
    k4160_set_int_factor(1, r.factor);
    EXPECT_EQ(DecodedTrace(), (Ops{PclRead(0, 1, 0xDD, r.config), PclWrite32(0, 1, 0x9D, r.config_written),
                                   PclWrite32(0, 1, 0xAC, r.enable)}));
  }
  kpx4160_sim_set_pcl_register(0, 1, 0xF3, 0x00ABCDEF);
  kpx4160_sim_set_pcl_register(0, 1, 0xF2, 0x00000055);
  EXPECT_EQ(k4160_read_event_int_factor(1), 0x00ABCDEFu);
  EXPECT_EQ(k4160_read_error_int_factor(1), 0x55u);
  EXPECT_EQ(k4160_get_error_intfactor(1), 0x55u);
  ASSERT_EQ(kpx4160_sim_set_interrupt_enable_status(0, 0), 0);  // the refusal left nothing behind
  EXPECT_EQ(k4160_set_int_enable(0), 0);
  EXPECT_TRUE(Waiting(0));
}

TEST_F(InterruptThreaded, EnableAcknowledgeCallbacksDisableFromTheCallbackAndClose) {
  OpenCards(2);
  kpx4160_sim_config_log_clear();
  k4160_set_board_isr(PlainCallback);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  ASSERT_TRUE(Waiting(1));
  EXPECT_EQ(k4160_set_int_enable(1), -1);  // running already: acknowledged again, no second thread
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptEnable), 1u);
  // Each enable: read, write 0x300, read of the control word; then the card's axis 0 causes.
  EXPECT_EQ(kpx4160_sim_config_log_size(), 6u);
  EXPECT_EQ(ControlWrites(1, 0x300), 2u);
  EXPECT_EQ(DecodedTrace(), (Ops{PclRead(1, 0, 0xF2, 0), PclRead(1, 0, 0xF3, 0), PclRead(1, 0, 0xF2, 0),
                                 PclRead(1, 0, 0xF3, 0)}));
  // Each interrupt: acknowledged at the raising card; causes and main status
  // read at card 0 chip axis 0, whichever card raised it.
  kpx4160_sim_config_log_clear();
  kpx4160_sim_trace_clear();
  for (unsigned i = 0; i < 5; ++i) ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  ASSERT_TRUE(WaitUntil([] { return plain_calls[1].load() == 5; }));
  EXPECT_EQ(ControlWrites(1, 0x300), 5u);
  EXPECT_EQ(ControlWrites(0, 0x300), 0u);
  const auto trace = DecodedTrace();
  ASSERT_EQ(trace.size(), 15u);
  EXPECT_EQ(OnAxis(trace, 0, 0), trace);
  for (unsigned i = 0; i < 15; i += 3)
    EXPECT_EQ(std::tie(trace[i].code, trace[i + 1].code, trace[i + 2].op),
              std::make_tuple(0xF2u, 0xF3u, Op::kMainStatus));
  EXPECT_EQ(plain_calls[0].load(), 0u);
  // The extended callback takes the one slot and gets those values as read.
  int user = 0;
  k4160_set_board_isr_ex(ExCallback, &user);
  kpx4160_sim_set_pcl_register(0, 0, 0xF2, 0x80000001);
  kpx4160_sim_set_pcl_register(0, 0, 0xF3, 0x00101FFF);
  kpx4160_sim_set_main_status(0, 0, 0x4005);
  kpx4160_sim_set_pcl_register(1, 0, 0xF2, 0x11111111);  // not read: another card
  ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  EXPECT_EQ(LastExCall(1), (ExCall{1, 0x80000001, 0x00101FFF, 0x4005, &user}));
  k4160_set_board_isr(nullptr);  // no callback: still acknowledged
  ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  ASSERT_TRUE(WaitUntil([] { return ControlWrites(1, 0x300) == 7; }));
  // A callback that disables ends the threads without waiting for its own.
  k4160_set_board_isr(DisablingCallback);
  ASSERT_EQ(kpx4160_sim_raise_interrupt(1), 0);
  ASSERT_TRUE(WaitUntil([] { return plain_calls[1].load() == 6 && kpx4160_sim_interrupt_waiters(1) == 0; }));
  EXPECT_EQ(kpx4160_sim_interrupt_enabled(1), 0);
  // The ended service stays until an application thread frees it.
  const device::CardRecord &card1 = *core::UsableCard(1);
  EXPECT_TRUE(WaitUntil([&] { return !irq::InterruptServiceRunning(card1); }));
  EXPECT_TRUE(irq::HasInterruptService(card1));
  // A fresh service after it ended; closed while both threads wait.
  k4160_set_board_isr_ex(ExCallback, nullptr);
  ASSERT_EQ(k4160_set_int_enable(1), 0);
  EXPECT_TRUE(irq::InterruptServiceRunning(card1));
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptEnable), 3u);
  ASSERT_TRUE(Waiting(0) && Waiting(1));
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  const ExCall last = LastExCall(2);
  EXPECT_EQ(std::get<0>(last), 0);  // the raising card, and the new user pointer
  EXPECT_EQ(std::get<4>(last), nullptr);
  k4160_board_close();
  EXPECT_EQ(kpx4160_sim_interrupt_enabled(0) + kpx4160_sim_interrupt_enabled(1), 0);
  EXPECT_EQ(kpx4160_sim_interrupt_waiters(0) + kpx4160_sim_interrupt_waiters(1), 0u);
  // Disables: from the callback, the ended service's at the restart, and one per card at the close.
  EXPECT_EQ(kpx4160_sim_request_count(kRequestInterruptDisable), 4u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
}

}  // namespace
}  // namespace kpx::test
