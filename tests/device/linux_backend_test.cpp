// The Linux back end over fake sysfs trees: the scan order and the register
// path to each card, and the cards refused for what their sysfs files say.
// The real kernel's files, permissions, port widths, interrupts through
// uio_pci_generic and vfio-pci, and VFIO's working path are checked in a QEMU
// guest (tests/kernel/run_guest.sh).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/card_table.h"
#include "device/backends/linux_pci_backend.h"
#include "device/driver_backend.h"
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

}  // namespace
}  // namespace kpx::test
