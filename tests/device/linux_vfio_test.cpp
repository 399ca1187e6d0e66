// A card bound to vfio-pci that VFIO cannot open: the card is refused with
// the device layer's message followed by the reason (no IOMMU group, no
// container, not a container), and nothing is left open or mapped. The working path needs a real kernel
// (tests/kernel/run_guest.sh).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "device/error_text.h"
#include "kpx4160.h"
#include "support/linux_backend_fixture.h"

namespace kpx::test {
namespace {

TEST_F(LinuxBackendTest, VfioCardThatCannotBeOpenedIsRefusedWithTheReason) {
  struct Case {
    bool group_link, container, container_is_node;
    const char *message;  // start of ErrorText
    const char *reason;   // in ErrorText after it
  } cases[] = {
      {false, true, false, "Failed locking device. Status 0x20000017", "has no IOMMU group: turn the IOMMU on"},
      {true, false, false, "Failed locking device. Status 0x2000000f", "/dev/vfio/vfio: No such file"},
      {true, true, false, "Failed locking device. Status 0x20000017", "/dev/vfio/vfio is not a VFIO container"},
  };
  const std::string name = "0000:01:00.0";
  tree_.Add(KpxCard(name, false, 0));
  ASSERT_EQ(::symlink("../../../bus/pci/drivers/vfio-pci", (tree_.DeviceDir(name) + "/driver").c_str()), 0);
  ASSERT_EQ(::mkdir((tree_.DevRoot() + "/vfio").c_str(), 0755), 0);
  Install();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.reason);
    ::unlink((tree_.DeviceDir(name) + "/iommu_group").c_str());
    ::unlink((tree_.DevRoot() + "/vfio/vfio").c_str());
    if (c.group_link) ::symlink("../../../kernel/iommu_groups/7", (tree_.DeviceDir(name) + "/iommu_group").c_str());
    if (c.container) ::close(::open((tree_.DevRoot() + "/vfio/vfio").c_str(), O_CREAT | O_WRONLY, 0666));
    EXPECT_EQ(k4160_board_init(), 1001u);
    const std::string text = device::ErrorText();
    EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    k4160_board_close();
    EXPECT_EQ(MappingsUnder(tree_.Root()), 0u);
    EXPECT_EQ(OpenFdCount(), fds_before_);
  }
}

}  // namespace
}  // namespace kpx::test
