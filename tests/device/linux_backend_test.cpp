// The Linux back end over fake sysfs trees: scan order, the whole board path
// over a memory and an I/O register space, configuration access, and the
// failures that refuse a card, each leaving nothing open or mapped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "kpx4160.h"
#include "support/linux_backend_fixture.h"

namespace kpx::test {
namespace {

using device::CardRecord;
using device::ErrorText;

constexpr uint32_t kVendor = 0x0003, kDevice = 0x4160;
// Chip ports in the register space, chip axis 1 at +0x20.
constexpr uint32_t kCommandPort = 0x80, kOtpwPort = 0x88, kDataLow = 0x90, kDataHigh = 0x98, kAxis1 = 0x20;
constexpr uint16_t kEmergencyStop = 0x0F05;

class LinuxBoardPath : public LinuxBackendTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LinuxBoardPath, InitTrafficAndCloseReachEachCardsRegisterFile) {
  const bool io = GetParam();
  const std::string a = "0000:05:00.0", b = "0000:06:00.0";
  tree_.Add(KpxCard(a, io, 0));
  tree_.Add(KpxCard(b, io, 1));
  Install();
  const std::string regs0 = tree_.BarPath(a, 1), regs1 = tree_.BarPath(b, 1);

  ASSERT_EQ(k4160_board_init(), 2u);
  EXPECT_STREQ(ErrorText(), "");
  // Memory spaces are mapped (BAR 0 and, for a memory register space, BAR 1);
  // an I/O register space is reached through its open file instead.
  EXPECT_EQ(MappingsUnder(tree_.Root()), io ? 2u : 4u);

  // A PLD write lands at its offset in the right card's register space only.
  const uint32_t card0_outputs = FakeSysfs::Read32(regs0, 0x44);
  write_dword_pld_register(1, 0x44, 0xA1B2C3D4);
  EXPECT_EQ(FakeSysfs::Read32(regs1, 0x44), 0xA1B2C3D4u);
  EXPECT_EQ(FakeSysfs::Read32(regs0, 0x44), card0_outputs);
  EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath(b, 0), 0x44), 0u);  // not the BAR 0 space

  // A 32-bit chip register of chip axis 1: both data ports, then the code.
  const uint16_t axis0_command = FakeSysfs::Read16(regs0, kCommandPort);
  k4160_write_pcl_register(0, 1, 0x81, 0x12345678);
  EXPECT_EQ(FakeSysfs::Read16(regs0, kDataLow + kAxis1), 0x5678);
  EXPECT_EQ(FakeSysfs::Read16(regs0, kDataHigh + kAxis1), 0x1234);
  EXPECT_EQ(FakeSysfs::Read16(regs0, kCommandPort + kAxis1), 0x81);
  EXPECT_EQ(FakeSysfs::Read16(regs0, kCommandPort), axis0_command);

  // Reads come from the card's space, at full width.
  FakeSysfs::Write32(regs1, 0x4C, 0x0F0F1234);
  EXPECT_EQ(read_dword_pld_register(1, 0x4C), 0x0F0F1234u);
  FakeSysfs::Write16(regs1, kOtpwPort + kAxis1, 0xBEEF);
  EXPECT_EQ(read_word_pcl_sstsw(1, 8), 0xBEEF);

  // A 16-bit port write moves two bytes and leaves the next port alone.
  FakeSysfs::Write16(regs1, kOtpwPort + 2, 0x1111);
  write_word_pcl_otpw(1, 0, 0x5A5A);
  EXPECT_EQ(FakeSysfs::Read16(regs1, kOtpwPort), 0x5A5A);
  EXPECT_EQ(FakeSysfs::Read16(regs1, kOtpwPort + 2), 0x1111);

  // Closing emergency-stops every card through the same path, then releases them.
  k4160_board_close();
  EXPECT_EQ(FakeSysfs::Read16(regs0, kCommandPort), kEmergencyStop);
  EXPECT_EQ(FakeSysfs::Read16(regs1, kCommandPort), kEmergencyStop);
  EXPECT_EQ(MappingsUnder(tree_.Root()), 0u);
  EXPECT_EQ(OpenFdCount(), fds_before_);
  write_dword_pld_register(1, 0x44, 0x1);  // dropped: no card is open
  EXPECT_EQ(FakeSysfs::Read32(regs1, 0x44), 0xA1B2C3D4u);
}

INSTANTIATE_TEST_SUITE_P(RegisterSpace, LinuxBoardPath, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &p) { return p.param ? "Io" : "Memory"; });

TEST_F(LinuxBackendTest, ScanNumbersCardsInBusOrderAndSkipsOtherFunctions) {
  tree_.Add(KpxCard("0000:03:00.0", true, 0));
  tree_.Add(KpxCard("0000:01:00.0", true, 1));
  tree_.Add(KpxCard("0001:00:02.0", true, 2));
  FakeFunction other_vendor = KpxCard("0000:02:00.0", true, 3);
  other_vendor.vendor = 0x8086;
  tree_.Add(other_vendor);
  FakeFunction other_device = KpxCard("0000:04:00.0", true, 4);
  other_device.device = 0x4161;
  tree_.Add(other_device);
  ::mkdir((tree_.SysRoot() + "/bus/pci/devices/not-a-function").c_str(), 0755);
  Install();

  ASSERT_EQ(device::CountCards(kVendor, kDevice), 3u);
  // Bus field: domain << 8 | bus.
  const uint32_t expected[3][3] = {{0x001, 0, 0}, {0x003, 0, 0}, {0x100, 2, 0}};
  const char *names[3] = {"0000:01:00.0", "0000:03:00.0", "0001:00:02.0"};
  for (uint32_t i = 0; i < 3; ++i) {
    CardRecord *card = nullptr;
    ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, i), 1) << ErrorText();
    EXPECT_EQ(card->bus, expected[i][0]);
    EXPECT_EQ(card->slot, expected[i][1]);
    EXPECT_EQ(card->function, expected[i][2]);
    EXPECT_EQ(MappingsUnder(tree_.DeviceDir(names[i])), 1u);  // its own BAR 0
    device::CloseCard(card);
  }

  // Card 2 of the library is the function in domain 1.
  ASSERT_EQ(k4160_board_init(), 3u);
  write_dword_pld_register(2, 0x44, 0x00C0FFEE);
  EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath("0001:00:02.0", 1), 0x44), 0x00C0FFEEu);
  EXPECT_EQ(FakeSysfs::Read32(tree_.BarPath("0000:04:00.0", 1), 0x44), 0u);
}

TEST_F(LinuxBackendTest, ConfigurationAndPortRequestsStayInsideTheCard) {
  // Function 1 of its slot: the configuration requests must name the function.
  const std::string name = "0000:07:00.1";
  tree_.Add(KpxCard(name, true, 0));
  Install();
  ASSERT_EQ(k4160_board_init(), 1u);
  CardRecord &card = *core::CardTable[0].load();

  device::WriteConfigDword(card, 0x48, 0x300);
  EXPECT_EQ(FakeSysfs::Read32(tree_.ConfigPath(name), 0x48), 0x300u);
  EXPECT_EQ(FakeSysfs::Read16(tree_.ConfigPath(name), 0), kVendor);  // nothing else written
  FakeSysfs::Write32(tree_.ConfigPath(name), 0x48, 0xABCD0001);
  EXPECT_EQ(device::ReadConfigDword(card, 0x48), 0xABCD0001u);

  const auto transfer = [&](uint64_t port, uint32_t kind, uint32_t bytes, uint32_t &value) {
    alignas(8) uint8_t record[device::kTransferRecordSize] = {};
    device::PutU64(record, device::kTransferOffAddress, port);
    device::PutU32(record, device::kTransferOffKind, kind);
    device::PutU32(record, device::kTransferOffBytes, bytes);
    device::PutU32(record, device::kTransferOffAutoInc, 1);
    device::PutU64(record, device::kTransferOffBuffer, reinterpret_cast<uintptr_t>(&value));
    return device::DriverRequest(device::kRequestTransfer, card.driver, record, sizeof record, false);
  };
  FakeSysfs::Write16(tree_.BarPath(name, 1), 0xFE, 0x7E57);
  uint32_t value = 0;
  EXPECT_EQ(transfer(KpxCardPort(0) + 0xFE, device::kTransferRead16, 2, value), 0u);
  EXPECT_EQ(value, 0x7E57u);
  // Past the end of the space, before it, or a width that is not the kind's.
  value = 0;
  EXPECT_EQ(transfer(KpxCardPort(0) + 0xFE, device::kTransferRead32, 4, value), 0x2000001Bu);
  EXPECT_EQ(transfer(KpxCardPort(0) - 2, device::kTransferRead16, 2, value), 0x2000001Bu);
  EXPECT_EQ(transfer(KpxCardPort(0), device::kTransferWrite32, 2, value), 0x2000001Bu);
  EXPECT_EQ(value, 0u);
}

TEST_F(LinuxBackendTest, NoSysfsOrNoMatchingFunctionFindsNoCard) {
  Install(tree_.Root() + "/absent");
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 0u);
  EXPECT_STREQ(ErrorText(), "Failed opening WinDriver device\n");
  EXPECT_EQ(k4160_board_init(), 0u);
  EXPECT_EQ(core::InitCount, 0u);

  FakeFunction other = KpxCard("0000:01:00.0", false, 0);
  other.device = 0x4150;
  tree_.Add(other);
  Install();
  EXPECT_EQ(k4160_board_init(), 0u);
  EXPECT_STREQ(ErrorText(), "no cards found\n");
  CardRecord *card = nullptr;
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "Could not find PCI card\n");

  // Asking for a card past the end of the scan.
  tree_.Add(KpxCard("0000:02:00.0", false, 1));
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 1u);
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 1), 0);
  EXPECT_STREQ(ErrorText(), "Card is out of range of available cards\n");
  // A function caught while going away: its directory and IDs are still
  // listed, its resource files are gone.
  tree_.Remove("0000:02:00.0");
  ::mkdir(tree_.DeviceDir("0000:02:00.0").c_str(), 0755);
  tree_.WriteText("0000:02:00.0", "vendor", "0x0003\n");
  tree_.WriteText("0000:02:00.0", "device", "0x4160\n");
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "WD_PciGetCardInfo() failed with status 0x20000019 - No resources on the device\n");
  EXPECT_EQ(card, nullptr);
  EXPECT_EQ(OpenFdCount(), fds_before_);
}

// Every way a card of the tree is refused: k4160_board_init reports the
// failing card, the text says why, and nothing stays open or mapped.
TEST_F(LinuxBackendTest, RefusedCardsLeaveNothingOpenOrMapped) {
  const std::string a = "0000:01:00.0", b = "0000:02:00.0";
  const char *no_resources = "No resources on the device\n";
  const struct {
    const char *what;
    bool io;
    void (*change)(FakeFunction &);
    uint32_t result;
    std::string text;
  } rows[] = {
      {"no interrupt line", false, [](FakeFunction &f) { f.irq = 0; }, 1001,
       "Card does not have all items expected for KPX4X60\n"},
      {"short memory register file", false, [](FakeFunction &f) { f.bars[1].file_size = 0x80; }, 1001,
       std::string("Failed locking device. Status 0x20000019 - ") + no_resources},
      {"short I/O register file", true, [](FakeFunction &f) { f.bars[1].file_size = 0x80; }, 1001,
       std::string("Failed locking device. Status 0x20000019 - ") + no_resources},
      {"truncated resource file", false, nullptr, 1001,
       std::string("WD_PciGetCardInfo() failed with status 0x20000019 - ") + no_resources},
      {"second card broken", true, [](FakeFunction &f) { f.bars[1].file_size = 2; }, 1002,
       std::string("Failed locking device. Status 0x20000019 - ") + no_resources},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    FakeSysfs tree;
    FakeFunction card = KpxCard(a, row.io, 0), second = KpxCard(b, row.io, 1);
    if (row.result == 1002) {
      row.change(second);
      tree.Add(second);
    } else if (row.change) {
      row.change(card);
    }
    tree.Add(card);
    if (!row.change)
      tree.WriteText(a, "resource",
                     "0x00000000fe000000 0x00000000fe000fff 0x0000000000040200\n"
                     "0x00000000febf0000 0x00000000febf00ff 0x0000000000040200\n0x0000000000000000 0x00000000000");
    device::LinuxPciBackend backend(tree.SysRoot(), tree.DevRoot());
    device::SetDriverBackendForTesting(&backend.Operations());
    EXPECT_EQ(k4160_board_init(), row.result);
    EXPECT_EQ(ErrorText(), row.text);
    EXPECT_EQ(core::CardTable[1].load(), nullptr);
    if (row.result == 1002) {  // the first card works until the close
      write_dword_pld_register(0, 0x44, 0x600DCAFE);
      EXPECT_EQ(FakeSysfs::Read32(tree.BarPath(a, 1), 0x44), 0x600DCAFEu);
    }
    k4160_board_close();
    device::SetDriverBackendForTesting(nullptr);
    EXPECT_EQ(core::CardTable[0].load(), nullptr);
    EXPECT_EQ(MappingsUnder(tree.Root()), 0u);
    EXPECT_EQ(OpenFdCount(), fds_before_);
  }
}

// Runs k4160_board_init() in a child process that may not write the register
// file, and returns the result and the ErrorText it ended with. As root, the
// child drops to the unprivileged user, for whom the root-owned 0644 file is
// read-only; otherwise the file is made read-only.
struct ChildResult {
  bool ran;
  uint32_t result;
  std::string error_text;
  unsigned fds_before, fds_after;
};

struct ChildReport {
  uint32_t ran, result, fds_before, fds_after;
  char text[1024];
};

ChildResult InitWithoutWritePermission(FakeSysfs &tree, const std::string &name) {
  if (::geteuid() != 0) ::chmod(tree.BarPath(name, 1).c_str(), 0444);
  int out[2];
  if (::pipe(out) != 0) return {false, 0, "pipe", 0, 0};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    ChildReport report{};
    if (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) {
      report.ran = 1;
      report.fds_before = OpenFdCount();
      report.result = k4160_board_init();
      std::strncpy(report.text, device::ErrorText(), sizeof report.text - 1);
      k4160_board_close();
      report.fds_after = OpenFdCount();
    }
    [[maybe_unused]] ssize_t n = ::write(out[1], &report, sizeof report);
    ::_exit(0);
  }
  ::close(out[1]);
  ChildReport report{};
  const ssize_t n = ::read(out[0], &report, sizeof report);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (n != static_cast<ssize_t>(sizeof report) || report.ran == 0) return {false, 0, "", 0, 0};
  return {true, report.result, report.text, report.fds_before, report.fds_after};
}

TEST_F(LinuxBackendTest, RegisterFileWithoutPermissionRefusesTheCard) {
  const std::string name = "0000:01:00.0";
  tree_.Add(KpxCard(name, false, 0));
  Install();
  const ChildResult child = InitWithoutWritePermission(tree_, name);
  if (!child.ran) GTEST_SKIP() << "cannot run the library without permission here";
  EXPECT_EQ(child.result, 1001u);
  // The device layer's message, then the back end's reason: the file and the refused permission.
  EXPECT_EQ(child.error_text.rfind("Failed locking device. Status 0x20000017 - Failed to map in user space\n", 0), 0u);
  EXPECT_NE(child.error_text.find(" for reading and writing: Permission denied"), std::string::npos) << child.error_text;
  EXPECT_EQ(child.fds_after, child.fds_before);
}

}  // namespace
}  // namespace kpx::test
