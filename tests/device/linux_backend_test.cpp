// The Linux back end over fake sysfs trees: the scan order and the register
// path to each card, the cards refused for what their sysfs files say, and
// the interrupt waits over a UIO node (a FIFO here). The real kernel's files,
// permissions, port widths, interrupts through uio_pci_generic and vfio-pci,
// and VFIO's working path are checked in a QEMU guest (tests/kernel/run_guest.sh).
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
#include <tuple>
#include <vector>

#include "core/card_table.h"
#include "device/backends/linux_pci_backend.h"
#include "device/driver_backend.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "kpx4160.h"
#include "support/fake_sysfs.h"
#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

constexpr const char *kA = "0000:01:00.0";
// Cards in the order of the scan: domain, bus, device, function. The scan
// record's fields find each again, domains wider than 24 bits too (bus field
// = domain bits 0-23 above the bus; slot field = bits 24-31 above the device).
constexpr const char *kCards[] = {"0000:01:00.0", "0000:03:00.0", "0001:00:02.0", "1234abcd:02:1f.3"};

// Card A bound to vfio-pci, with or without its IOMMU group link and a /dev/vfio/vfio (a plain file).
void VfioCard(FakeSysfs &t, bool group, bool container) {
  t.Add({.name = kA});
  ::symlink("../../../bus/pci/drivers/vfio-pci", (t.DeviceDir(kA) + "/driver").c_str());
  if (group) ::symlink("../../../kernel/iommu_groups/7", (t.DeviceDir(kA) + "/iommu_group").c_str());
  if (container) std::ofstream(t.DevRoot() + "/vfio/vfio");
}

// Every tree: k4160_board_init finds the cards or reports the failing one,
// the text says why (the device layer's message, then the back end's
// reason), and closing leaves nothing open or mapped.
TEST(LinuxBackend, TreesGiveTheirCardsOrSayWhyNotAndLeaveNothingOpen) {
  CloseLibraryCompletely();
  const unsigned fds_before = OpenFdCount();
  // mapped: the memory spaces mapped after k4160_board_init (BAR 0 of each card, BAR 1 where it is memory).
  using Setup = void (*)(FakeSysfs &);
  const struct { const char *what; Setup setup; uint32_t result, mapped; std::string text, reason; } rows[] = {
      // Memory and I/O register spaces alternately, and a function of another device that is skipped.
      {"four cards",
       [](FakeSysfs &t) {
         for (uint32_t i : {2u, 0u, 3u, 1u}) t.Add(KpxCard(kCards[i], i % 2 == 1, i));
         t.Add({.name = "0000:02:00.0", .n = 4, .device = 0x4161});
       },
       4, 6, "", ""},
      {"no interrupt line", [](FakeSysfs &t) { t.Add({.name = kA, .irq = 0}); }, 1001, 0,
       "Card does not have all items expected for KPX4X60\n", ""},
      {"short register file", [](FakeSysfs &t) { t.Add({.name = kA, .bar1_file_size = 8}); }, 1001, 0,
       "Failed locking device. Status 0x20000019 - No resources on the device\n", ""},
      {"truncated resource file",
       [](FakeSysfs &t) { t.Add({.name = kA, .resource = "0x00000000fe000000 0x00000000fe000fff 0x40200\n0xfe"}); },
       1001, 0, "WD_PciGetCardInfo() failed with status 0x20000019 - No resources on the device\n", ""},
      // Bound to vfio-pci, but VFIO cannot open it: refused with the reason, not a bare status.
      {"vfio, no IOMMU group", [](FakeSysfs &t) { VfioCard(t, false, true); }, 1001, 0,
       "Failed locking device. Status 0x20000017", "has no IOMMU group: turn the IOMMU on"},
      {"vfio, no container", [](FakeSysfs &t) { VfioCard(t, true, false); }, 1001, 0,
       "Failed locking device. Status 0x2000000f", "/dev/vfio/vfio: No such file"},
      {"vfio, not a container", [](FakeSysfs &t) { VfioCard(t, true, true); }, 1001, 0,
       "Failed locking device. Status 0x20000017", "/dev/vfio/vfio is not a VFIO container"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    FakeSysfs tree;
    row.setup(tree);
    device::LinuxPciBackend backend(tree.SysRoot(), tree.DevRoot());  // it reads the tree on every request
    device::SetDriverBackendForTesting(&backend.Operations());
    const uint32_t found = k4160_board_init();
    EXPECT_EQ(found, row.result);
    const std::string text = device::ErrorText();
    EXPECT_EQ(text.rfind(row.text, 0), 0u) << text;
    EXPECT_NE(text.find(row.reason), std::string::npos) << text;
    EXPECT_EQ(MappingsUnder(tree.Root()), row.mapped);
    for (uint32_t i = 0; found == row.result && found < 1000 && i < found; ++i) {
      SCOPED_TRACE(kCards[i]);
      write_dword_pld_register(i, 0x44, 0xC0DE0000 + i);
      EXPECT_EQ(FakeSysfs::Read(tree.DeviceDir(kCards[i]) + "/resource1", 0x44), 0xC0DE0000 + i);
      EXPECT_EQ(read_dword_pld_register(i, 0x44), 0xC0DE0000 + i);
      write_dword_pld_register(i, 0x100, 0x5A5A5A5A);  // past the 256-byte space, inside the mapped page
      EXPECT_EQ(read_dword_pld_register(i, 0x100), 0u);
      device::WriteConfigDword(*core::CardTable[i].load(), 0x40, 0xF00D0000 + i);
      EXPECT_EQ(FakeSysfs::Read(tree.DeviceDir(kCards[i]) + "/config", 0x40), 0xF00D0000 + i);
    }
    k4160_board_close();
    device::SetDriverBackendForTesting(nullptr);
    EXPECT_EQ(MappingsUnder(tree.Root()), 0u);
    EXPECT_EQ(OpenFdCount(), fds_before);
  }
}

// ---- Interrupts over the UIO node ----------------------------------------------

using namespace device;  // NOLINT: the interrupt records' names
constexpr int kUio = 3;
constexpr uint32_t kOn = kRequestInterruptEnable, kOff = kRequestInterruptDisable, kWait = kRequestInterruptWait;

// A request on a copy of the card's interrupt record; a wait is made as the
// interrupt thread makes it, on a handle of its own. Status, outcome, and the
// interrupts counted and lost so far.
struct Done { uint32_t status, outcome, count, lost; };
Done IrqRequest(CardRecord &card, uint32_t code, std::atomic<long> *tid = nullptr) {
  if (tid != nullptr) tid->store(::syscall(SYS_gettid));
  alignas(8) uint8_t r[kInterruptRecordSize];
  std::memcpy(r, card.interrupt_request, sizeof r);
  const uint32_t status =
      DriverRequest(code, code == kWait ? kInvalidDriverHandle : card.driver, r, sizeof r, code == kWait);
  return {status, GetU32(r, kInterruptOffOutcome), GetU32(r, kInterruptOffCount), GetU32(r, kInterruptOffLost)};
}

// The PCI command register (offset 4 of the configuration space); bit 10 masks INTx.
bool Masked(const FakeSysfs &t) { return (FakeSysfs::Read(t.DeviceDir(kA) + "/config", 4, 2) & 1u << 10) != 0; }

// Each row: enable, one raised wait per running total the node delivers (the
// kernel masks INTx as each fires), `before`, then a wait that `during` must end.
TEST(LinuxInterruptThreaded, WaitsCountTheInterruptsAndEndWhenTheyShould) {
  // Exit without k4160_board_close while the library's interrupt thread waits: the thread must end before
  // exit tears the back end down. In a fresh process (the child starts a thread), where the back end is
  // built before the first initialisation, as the library's own.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  {
    FakeSysfs t;  // the child never removes its copy: a thread left running still finds the files
    t.Add({.name = kA, .uio = kUio});
    EXPECT_EXIT({
      static LinuxPciBackend backend(t.SysRoot(), t.DevRoot());  // static: exit destroys it
      SetDriverBackendForTesting(&backend.Operations());
      const bool on = k4160_board_init() == 1 && k4160_set_int_enable(0) == 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the interrupt thread is in its wait
      t.RaiseInterrupt(kUio, 1);  // and wakes as exit begins
      std::exit(on ? 0 : 3);
    }, testing::ExitedWithCode(0), "");
  }
  using Act = void (*)(FakeSysfs &, CardRecord &);
  const Act disable = [](FakeSysfs &, CardRecord &card) { EXPECT_EQ(IrqRequest(card, kOff).status, 0u); };
  const struct {
    const char *what; int uio; uint32_t enable; std::vector<uint32_t> totals; Act before, during;
    uint32_t count, lost; int masked;  // INTx at the end: 1 masked, 0 unmasked, -1 unchecked
    const char *error;
  } rows[] = {
      // The first total after an enable is one interrupt; a jump by 3 is two merged into one.
      {"running totals", kUio, 0, {41, 44}, nullptr, disable, 4, 2, 1, ""},
      {"closing the board", kUio, 0, {7}, nullptr, [](auto &, auto &) { k4160_board_close(); }, 1, 0, 1, ""},
      // The unmask before the next wait fails: the wait ends instead of blocking with INTx masked for good.
      {"failed unmask", kUio, 0, {1},
       [](FakeSysfs &t, CardRecord &) { ASSERT_EQ(::truncate((t.DeviceDir(kA) + "/config").c_str(), 2), 0); },
       [](FakeSysfs &t, CardRecord &) { t.RaiseInterrupt(kUio, 2); }, 1, 0, -1, "unmask"},  // config unreadable
      {"no uio node bound", -1, 0x2000000C, {}, nullptr,
       [](FakeSysfs &, CardRecord &card) { EXPECT_EQ(IrqRequest(card, kOff).status, 0x2000000Du); }, 0, 0, 1, ""},
      // Whenever an enable racing a disable leaves the interrupt on, INTx must be unmasked.
      {"enable racing disable", kUio, 0, {}, nullptr,
       [](FakeSysfs &t, CardRecord &card) {
         for (int i = 0; i < 200; ++i) {
           IrqRequest(card, kOn);
           std::thread off([&] { IrqRequest(card, kOff); });
           std::thread on([&] { IrqRequest(card, kOn); });
           off.join();
           on.join();
           // Masked is a fault only if the interrupt is still on, i.e. the disable finds it enabled.
           EXPECT_TRUE(!Masked(t) || IrqRequest(card, kOff).status != 0) << "left on with INTx masked, round " << i;
         }
       }, 0, 0, -1, ""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    CloseLibraryCompletely();
    const unsigned fds_before = OpenFdCount();
    FakeSysfs tree;
    tree.Add({.name = kA, .uio = row.uio});
    LinuxPciBackend backend(tree.SysRoot(), tree.DevRoot());
    SetDriverBackendForTesting(&backend.Operations());
    ASSERT_EQ(k4160_board_init(), 1u);
    CardRecord &card = *core::CardTable[0].load();
    EXPECT_EQ(IrqRequest(card, kOn).status, row.enable);
    // The enable clears the mask bit and no other.
    EXPECT_EQ(FakeSysfs::Read(tree.DeviceDir(kA) + "/config", 4, 2), row.enable == 0 ? 0x0007u : 0x0407u);
    for (uint32_t total : row.totals) {
      FakeSysfs::Write(tree.DeviceDir(kA) + "/config", 4, 0x0407, 2);
      tree.RaiseInterrupt(kUio, total);
      EXPECT_EQ(IrqRequest(card, kWait).outcome, kInterruptOutcomeRaised) << total;
    }
    if (row.before != nullptr) row.before(tree, card);
    std::atomic<long> tid{0};
    auto wait = std::async(std::launch::async, [&] { return IrqRequest(card, kWait, &tid); });
    // Until the waiting thread sleeps in the kernel (its poll, the only place the wait sleeps) or the wait
    // has ended on its own.
    while (wait.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
      std::ifstream stat("/proc/self/task/" + std::to_string(tid.load()) + "/stat");
      const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      if (const size_t paren = text.rfind(')'); paren != std::string::npos && text.substr(paren, 3) == ") S") break;
    }
    EXPECT_TRUE(row.masked < 0 || row.enable != 0 || !Masked(tree)) << "the wait blocks with INTx masked";
    row.during(tree, card);
    // A wait that never ends aborts the run: its thread still uses this frame.
    if (wait.wait_for(std::chrono::seconds(30)) != std::future_status::ready) std::abort();
    const Done w = wait.get();
    EXPECT_EQ(std::tuple(w.outcome, w.count, w.lost), std::tuple(kInterruptOutcomeDisabled, row.count, row.lost));
    EXPECT_TRUE(row.masked < 0 || Masked(tree) == (row.masked == 1));
    EXPECT_NE(std::string(ErrorText()).find(row.error), std::string::npos) << ErrorText();
    k4160_board_close();
    SetDriverBackendForTesting(nullptr);
    EXPECT_EQ(MappingsUnder(tree.Root()), 0u);
    EXPECT_EQ(OpenFdCount(), fds_before);
  }
}

}  // namespace
}  // namespace kpx::test
