// The Linux back end under hostile use: offsets past a mapped space, PCI
// domains wider than 24 bits, an interrupt unmask that fails, enable and
// disable racing, a process that exits with interrupts on, signal masks.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "device/platform_thread.h"
#include "kpx4160.h"
#include "support/linux_backend_fixture.h"

namespace kpx::test {
namespace {

using device::CardRecord;
constexpr int kUio = 5;

// A request on the card's interrupt record; with own_handle, a wait as the
// interrupt thread makes it, whose outcome is returned.
uint32_t Interrupt(CardRecord &card, uint32_t code, bool own_handle = false) {
  alignas(8) uint8_t record[device::kInterruptRecordSize];
  std::memcpy(record, card.interrupt_request, sizeof record);
  const uint32_t status = device::DriverRequest(code, card.driver, record, sizeof record, own_handle);
  return own_handle ? device::GetU32(record, device::kInterruptOffOutcome) : status;
}
uint32_t WaitOnce(CardRecord &card) { return Interrupt(card, device::kRequestInterruptWait, true); }

class LinuxHardening : public LinuxBackendTest {
 protected:
  CardRecord &Open(const std::string &name, bool io_registers = true, int uio = kUio) {
    tree_.Add(KpxCard(name, io_registers, 0, uio));
    Install();
    EXPECT_EQ(k4160_board_init(), 1u) << device::ErrorText();
    return *core::CardTable[0].load();
  }
};

// A 256-byte memory register space: offsets past it neither fault nor reach
// the rest of the mapped page.
TEST_F(LinuxHardening, MemoryRegisterSpaceKeepsItsLength) {
  Open("0000:0a:00.0", false);
  write_dword_pld_register(0, 0x44, 0xC0FFEE);
  EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath("0000:0a:00.0", 1), 0x44), 0xC0FFEEu);
  write_dword_pld_register(0, 0x200, 0x5A5A5A5A);  // same page, past the space
  write_word_pcl_otpw(0, 0xFFFF, 1);
  EXPECT_EQ(read_dword_pld_register(0, 0x200), 0u);
  EXPECT_EQ(read_dword_pld_register(0, 0xFFFC), 0u);
  EXPECT_EQ(read_word_pcl_sstsw(0, 0xFFFF), 0u);
}

// A card in a domain wider than 24 bits is found again from its scan slot.
TEST_F(LinuxHardening, WideDomainsAreFoundAgain) {
  for (const char *name : {"10000:01:00.0", "1234abcd:02:00.0"}) {
    Open(name, true, -1);
    write_dword_pld_register(0, 0x44, 0xBEEF);
    EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath(name, 1), 0x44), 0xBEEFu) << name;
    k4160_board_close();
    tree_.Remove(name);
  }
}

// The configuration file is cut short after an interrupt: the unmask before
// the next wait fails, and the wait ends as "disabled" with the reason in the
// error text instead of blocking with INTx masked for good.
TEST_F(LinuxHardening, FailedUnmaskEndsTheWait) {
  CardRecord &card = Open("0000:0b:00.0");
  ASSERT_EQ(Interrupt(card, device::kRequestInterruptEnable), 0u);
  auto first = std::async(std::launch::async, [&] { return WaitOnce(card); });
  tree_.RaiseInterrupt(kUio, 1);
  ASSERT_EQ(first.get(), device::kInterruptOutcomeRaised);
  ASSERT_EQ(::truncate(tree_.ConfigPath("0000:0b:00.0").c_str(), 2), 0);
  auto second = std::async(std::launch::async, [&] { return WaitOnce(card); });
  if (second.wait_for(std::chrono::seconds(5)) != std::future_status::ready) tree_.RaiseInterrupt(kUio, 2);
  EXPECT_EQ(second.get(), device::kInterruptOutcomeDisabled);
  EXPECT_NE(std::strstr(device::ErrorText(), "unmask"), nullptr) << device::ErrorText();
}

// The library's threads take no asynchronous signal; faults stay deliverable.
TEST(PlatformThreadSignals, AsynchronousSignalsAreBlocked) {
  static sigset_t seen;
  device::PlatformThread thread;
  ASSERT_TRUE(device::StartPlatformThread(thread, 0, [](void *) { pthread_sigmask(SIG_BLOCK, nullptr, &seen); }, nullptr));
  device::ClosePlatformThread(thread);
  for (int s : {SIGINT, SIGTERM, SIGALRM, SIGCHLD, SIGPIPE}) EXPECT_EQ(sigismember(&seen, s), 1) << s;
  for (int s : {SIGSEGV, SIGBUS, SIGFPE}) EXPECT_EQ(sigismember(&seen, s), 0) << s;
}

class LinuxHardeningThreaded : public LinuxHardening {};

// A disable and an enable of the same function at once: whenever the
// interrupt ends up enabled, INTx must be unmasked.
TEST_F(LinuxHardeningThreaded, EnableRacingDisableNeverLeavesItMasked) {
  CardRecord &card = Open("0000:0c:00.0");
  int masked_while_enabled = 0, enabled_after = 0;
  for (int i = 0; i < 300; ++i) {
    Interrupt(card, device::kRequestInterruptEnable);
    std::thread disable([&] { Interrupt(card, device::kRequestInterruptDisable); });
    std::thread enable([&] { Interrupt(card, device::kRequestInterruptEnable); });
    disable.join();
    enable.join();
    const uint16_t command = FakeSysfs::Read16(tree_.ConfigPath("0000:0c:00.0"), 4);
    if (Interrupt(card, device::kRequestInterruptDisable) != 0) continue;  // ended disabled
    ++enabled_after;
    if ((command & (1u << 10)) != 0) ++masked_while_enabled;
  }
  EXPECT_GT(enabled_after, 0);
  EXPECT_EQ(masked_while_enabled, 0);
}

// Exit without k4160_board_close while an interrupt thread waits: the thread
// must end before exit tears the back end down. In a fresh process, so the
// back end is built before the first initialisation, as the library's own.
TEST_F(LinuxHardeningThreaded, ExitWithInterruptsEnabled) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  tree_.Add(KpxCard("0000:0d:00.0", true, 0, kUio));
  EXPECT_EXIT(
      {
        static device::LinuxPciBackend backend(tree_.SysRoot(), tree_.DevRoot());
        device::SetDriverBackendForTesting(&backend.Operations());
        if (k4160_board_init() != 1 || k4160_set_int_enable(0) != 0) std::_Exit(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the thread is in its wait
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kpx::test
