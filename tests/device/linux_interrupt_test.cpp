// Interrupts of the Linux back end at the level of the driver requests:
// enable unmasks the function's INTx, a wait returns once per interrupt the
// UIO node delivers, the next wait unmasks again, and a disable (or the
// release of the card) masks it and wakes a pending wait with outcome 1.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/pci_device.h"
#include "device/status_text.h"
#include "kpx4160.h"
#include "support/linux_backend_fixture.h"

namespace kpx::test {
namespace {

using device::CardRecord;

constexpr uint32_t kCommandOffset = 4;
constexpr uint16_t kIntxDisable = 1u << 10;
constexpr uint16_t kCommandUnmasked = 0x0007;  // the fake's command register without the mask

struct Outcome {
  uint32_t status;
  uint32_t outcome;
  uint32_t count;
  uint32_t lost;
};

uint32_t Request(CardRecord &card, uint32_t code) {
  alignas(8) uint8_t record[device::kInterruptRecordSize];
  std::memcpy(record, card.interrupt_request, sizeof record);
  return device::DriverRequest(code, card.driver, record, sizeof record, false);
}

// One interrupt wait, made as the interrupt thread makes it: on a handle of
// its own, with a copy of the card's interrupt record.
Outcome WaitOnce(CardRecord &card, std::atomic<long> *tid = nullptr) {
  if (tid != nullptr) tid->store(::syscall(SYS_gettid));
  alignas(8) uint8_t record[device::kInterruptRecordSize];
  std::memcpy(record, card.interrupt_request, sizeof record);
  const uint32_t status =
      device::DriverRequest(device::kRequestInterruptWait, device::kInvalidDriverHandle, record, sizeof record, true);
  return {status, device::GetU32(record, device::kInterruptOffOutcome),
          device::GetU32(record, device::kInterruptOffCount), device::GetU32(record, device::kInterruptOffLost)};
}

// Blocks until the thread sleeps in the kernel (in its poll, the only place
// the wait sleeps), so a following disable meets a pending wait.
bool SleepsInKernel(const std::atomic<long> &tid) {
  for (int i = 0; i < 10000; ++i) {
    if (const long t = tid.load(); t != 0) {
      std::ifstream stat("/proc/self/task/" + std::to_string(t) + "/stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      const size_t paren = text.rfind(')');
      if (paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'S') return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// The result of a wait started with std::async; a wait that never returns
// fails the test instead of hanging it.
Outcome Finish(std::future<Outcome> &wait) {
  if (wait.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "the interrupt wait never returned";
    std::abort();  // the waiting thread still uses the test's objects
  }
  return wait.get();
}

class LinuxInterruptThreaded : public LinuxBackendTest {
 protected:
  const std::string name_ = "0000:09:00.0";
  static constexpr int kUio = 3;

  CardRecord &OpenCard() {
    tree_.Add(KpxCard(name_, true, 0, kUio));
    Install();
    EXPECT_EQ(k4160_board_init(), 1u);
    return *core::CardTable[0].load();
  }
  uint16_t Command() const { return FakeSysfs::Read16(tree_.ConfigPath(name_), kCommandOffset); }
};

TEST_F(LinuxInterruptThreaded, EnableWaitUnmaskAndDisable) {
  CardRecord &card = OpenCard();
  ASSERT_NE(Command() & kIntxDisable, 0);

  ASSERT_EQ(Request(card, device::kRequestInterruptEnable), 0u);
  EXPECT_EQ(Command(), kCommandUnmasked);  // only the mask bit changed

  // The UIO node delivers running totals; the first one after the enable
  // counts as one interrupt.
  auto first = std::async(std::launch::async, [&] { return WaitOnce(card); });
  tree_.RaiseInterrupt(kUio, 41);
  const Outcome a = Finish(first);
  EXPECT_EQ(a.status, 0u);
  EXPECT_NE(a.outcome, device::kInterruptOutcomeDisabled);
  EXPECT_NE(a.outcome, device::kInterruptOutcomeNothing);
  EXPECT_EQ(a.count, 1u);
  EXPECT_EQ(a.lost, 0u);

  // The kernel masked the interrupt when it fired; the next wait unmasks it
  // before it blocks. A jump of the total by 3 is two merged interrupts.
  FakeSysfs::Write16(tree_.ConfigPath(name_), kCommandOffset, kCommandUnmasked | kIntxDisable);
  auto second = std::async(std::launch::async, [&] { return WaitOnce(card); });
  tree_.RaiseInterrupt(kUio, 44);
  const Outcome b = Finish(second);
  EXPECT_EQ(b.outcome, device::kInterruptOutcomeRaised);
  EXPECT_EQ(b.count, 4u);
  EXPECT_EQ(b.lost, 2u);
  EXPECT_EQ(Command() & kIntxDisable, 0);

  // A disable wakes the pending wait with outcome 1 and masks the interrupt.
  std::atomic<long> tid{0};
  auto pending = std::async(std::launch::async, [&] { return WaitOnce(card, &tid); });
  ASSERT_TRUE(SleepsInKernel(tid));
  EXPECT_EQ(Request(card, device::kRequestInterruptDisable), 0u);
  EXPECT_EQ(Finish(pending).outcome, device::kInterruptOutcomeDisabled);
  EXPECT_NE(Command() & kIntxDisable, 0);
  // Waits after the disable return at once; a second disable is refused.
  EXPECT_EQ(WaitOnce(card).outcome, device::kInterruptOutcomeDisabled);
  EXPECT_EQ(Request(card, device::kRequestInterruptDisable), 0x2000000Du);

  // Enabled again, the wake-up of the old disable does not linger.
  ASSERT_EQ(Request(card, device::kRequestInterruptEnable), 0u);
  EXPECT_EQ(Command() & kIntxDisable, 0);
  auto again = std::async(std::launch::async, [&] { return WaitOnce(card); });
  tree_.RaiseInterrupt(kUio, 50);
  const Outcome c = Finish(again);
  EXPECT_EQ(c.outcome, device::kInterruptOutcomeRaised);
  EXPECT_EQ(c.count, 1u);
  EXPECT_EQ(Request(card, device::kRequestInterruptDisable), 0u);

  k4160_board_close();
  EXPECT_EQ(OpenFdCount(), fds_before_);
}

TEST_F(LinuxInterruptThreaded, ClosingTheBoardEndsAPendingWait) {
  CardRecord &card = OpenCard();
  ASSERT_EQ(Request(card, device::kRequestInterruptEnable), 0u);
  std::atomic<long> tid{0};
  auto pending = std::async(std::launch::async, [&] { return WaitOnce(card, &tid); });
  ASSERT_TRUE(SleepsInKernel(tid));
  k4160_board_close();  // releases the card, and its interrupt with it
  EXPECT_EQ(Finish(pending).outcome, device::kInterruptOutcomeDisabled);
  EXPECT_NE(Command() & kIntxDisable, 0);
  EXPECT_EQ(MappingsUnder(tree_.Root()), 0u);
  EXPECT_EQ(OpenFdCount(), fds_before_);
}

TEST_F(LinuxInterruptThreaded, PortTrafficDuringInterruptCyclesLosesNothing) {
  CardRecord &card = OpenCard();
  std::atomic<bool> mismatch{false};
  std::thread traffic([&] {
    for (uint32_t i = 0; i < 2000; ++i) {
      write_dword_pld_register(0, 0x44, i * 0x10001u);
      if (read_dword_pld_register(0, 0x44) != i * 0x10001u) mismatch = true;
    }
  });
  uint32_t raised = 0;
  for (uint32_t cycle = 1; cycle <= 50; ++cycle) {
    if (Request(card, device::kRequestInterruptEnable) != 0) break;
    tree_.RaiseInterrupt(kUio, cycle);
    if (WaitOnce(card).outcome == device::kInterruptOutcomeRaised) ++raised;
    Request(card, device::kRequestInterruptDisable);
  }
  traffic.join();
  EXPECT_FALSE(mismatch);
  EXPECT_EQ(raised, 50u);
  EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath(name_, 1), 0x44), 1999u * 0x10001u);
}

TEST_F(LinuxBackendTest, InterruptEnableNeedsABoundUioNode) {
  tree_.Add(KpxCard("0000:01:00.0", false, 0));  // no UIO driver bound
  Install();
  ASSERT_EQ(k4160_board_init(), 1u);
  CardRecord &card = *core::CardTable[0].load();
  const uint32_t status = Request(card, device::kRequestInterruptEnable);
  EXPECT_EQ(status, 0x2000000Cu);
  EXPECT_STREQ(device::StatusText(status), "Failed enabling interrupt");
  EXPECT_EQ(Request(card, device::kRequestInterruptDisable), 0x2000000Du);
  EXPECT_EQ(WaitOnce(card).outcome, device::kInterruptOutcomeDisabled);
  // Nothing was unmasked.
  EXPECT_NE(FakeSysfs::Read16(tree_.ConfigPath("0000:01:00.0"), kCommandOffset) & kIntxDisable, 0);
}

// The whole path over the Linux back end: the library's interrupt service
// waits on the UIO node, acknowledges every interrupt at the card's control
// word and calls the board callback; closing the board ends the thread.
std::atomic<unsigned> linux_isr_calls{0};
std::atomic<unsigned> linux_isr_card{0xFFFF};
void CountLinuxIsr(uint16_t card) {
  linux_isr_card.store(card);
  linux_isr_calls.fetch_add(1);
}

bool WaitForIsrCalls(unsigned n) {
  for (int i = 0; i < 10000 && linux_isr_calls.load() < n; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return linux_isr_calls.load() >= n;
}

TEST_F(LinuxInterruptThreaded, InterruptServiceAcknowledgesEveryInterruptAndCloseEndsIt) {
  constexpr uint32_t kPciIntControl = 0x48;
  OpenCard();
  linux_isr_calls = 0;
  k4160_set_board_isr(CountLinuxIsr);
  FakeSysfs::Write32(tree_.ConfigPath(name_), kPciIntControl, 0);
  ASSERT_EQ(k4160_set_int_enable(0), 0);
  EXPECT_EQ(Command() & kIntxDisable, 0);
  // The enable itself writes the control word; clear it to see the acknowledge.
  FakeSysfs::Write32(tree_.ConfigPath(name_), kPciIntControl, 0);

  for (unsigned i = 1; i <= 3; ++i) {
    tree_.RaiseInterrupt(kUio, 100 + i);
    ASSERT_TRUE(WaitForIsrCalls(i)) << "interrupt " << i << " never reached the callback";
    EXPECT_EQ(linux_isr_card.load(), 0u);
    EXPECT_EQ(FakeSysfs::Read32(tree_.ConfigPath(name_), kPciIntControl), 0x300u) << "no acknowledge";
    FakeSysfs::Write32(tree_.ConfigPath(name_), kPciIntControl, 0);
  }

  k4160_board_close();  // ends the interrupt thread before the card goes
  k4160_set_board_isr(nullptr);
  EXPECT_EQ(linux_isr_calls.load(), 3u);
  EXPECT_NE(Command() & kIntxDisable, 0);
  EXPECT_EQ(MappingsUnder(tree_.Root()), 0u);
  EXPECT_EQ(OpenFdCount(), fds_before_);
}

}  // namespace
}  // namespace kpx::test
