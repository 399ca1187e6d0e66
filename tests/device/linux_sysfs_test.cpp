// Reading the kernel's PCI files: device names, and the base address
// registers of a `resource` file as the kernel writes it.
#include <gtest/gtest.h>

#include "device/backends/linux_sysfs.h"
#include "support/fake_sysfs.h"

namespace kpx::test {
namespace {

using namespace device::linux_pci;

TEST(LinuxSysfs, DeviceNamesParseOnlyAsPciFunctions) {
  PciAddress a;
  ASSERT_TRUE(ParsePciName("10de:3f:1e.7", a));
  EXPECT_EQ(a, (PciAddress{0x10de, 0x3f, 0x1e, 7}));
  EXPECT_EQ(PciName(a), "10de:3f:1e.7");
  EXPECT_EQ(PciName(PciAddress{0, 1, 2, 3}), "0000:01:02.3");
  EXPECT_FALSE(ParsePciName("0000:00:20.0", a));   // device numbers end at 31
  EXPECT_FALSE(ParsePciName("0000:00:1f.8", a));   // function numbers at 7
  EXPECT_FALSE(ParsePciName("0000:100:00.0", a));  // bus numbers at 255
  EXPECT_FALSE(ParsePciName("0000:00:01.0x", a));
  EXPECT_FALSE(ParsePciName("pci0000:00", a));
  EXPECT_FALSE(ParsePciName("0000:0g:00.0", a));
  EXPECT_FALSE(ParsePciName("000:01:00.0", a));
  // Sorting follows domain, then bus, device, function.
  EXPECT_LT((PciAddress{0, 0xff, 0, 0}), (PciAddress{1, 0, 0, 0}));
  EXPECT_LT((PciAddress{0, 1, 0x1f, 7}), (PciAddress{0, 2, 0, 0}));
}

TEST(LinuxSysfs, ResourceLinesGiveKindAndLengthOfEachRegister) {
  FakeSysfs tree;
  tree.Add(KpxCard("0000:01:00.0", true, 0));
  // A 64-bit prefetchable memory register, an I/O register, an unassigned
  // one, and the kernel's further lines.
  tree.WriteText("0000:01:00.0", "resource",
                 "0x0000004000100000 0x000000400017ffff 0x0000000000140204\n"
                 "0x000000000000e000 0x000000000000e07f 0x0000000000040101\n"
                 "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
                 "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
                 "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
                 "0x00000000fe000000 0x00000000fe0000ff 0x0000000000040200\n"
                 "0x0000000000000000 0x0000000000000000 0x0000000000000000\n");
  const SysfsDevice device(tree.SysRoot(), "0000:01:00.0");
  BarTable bars;
  ASSERT_TRUE(ReadBarTable(device, bars));
  EXPECT_TRUE(bars[0].IsMemory());
  EXPECT_FALSE(bars[0].IsIo());
  EXPECT_EQ(bars[0].Length(), 0x80000u);
  EXPECT_TRUE(bars[1].IsIo());
  EXPECT_FALSE(bars[1].IsMemory());
  EXPECT_EQ(bars[1].start, 0xe000u);
  EXPECT_EQ(bars[1].Length(), 0x80u);
  for (uint32_t i : {2u, 3u, 4u}) EXPECT_FALSE(bars[i].IsMemory() || bars[i].IsIo()) << i;
  EXPECT_TRUE(bars[5].IsMemory());
  EXPECT_EQ(bars[5].Length(), 0x100u);

  tree.WriteText("0000:01:00.0", "resource", "0x0000004000100000 0x000000400017ffff 0x0000000000140204\n");
  EXPECT_FALSE(ReadBarTable(device, bars));
  tree.WriteText("0000:01:00.0", "resource", "");
  EXPECT_FALSE(ReadBarTable(device, bars));

  EXPECT_EQ(ReadIrqLine(device), 11u);
  tree.WriteText("0000:01:00.0", "irq", "0\n");
  EXPECT_EQ(ReadIrqLine(device), 0u);
  EXPECT_EQ(FindUioNode(device), "");
}

}  // namespace
}  // namespace kpx::test
