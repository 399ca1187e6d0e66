// Fixture of the Linux back end tests: a fake sysfs tree, a back end
// instance over it installed into the device layer, and the library closed
// again afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "device/backends/linux_pci_backend.h"
#include "support/fake_sysfs.h"

namespace kpx::test {

class LinuxBackendTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Builds the back end over the tree (after the functions are added, or
  // before: the back end reads the tree on every request).
  void Install(const std::string &sysfs_root = "");

  FakeSysfs tree_;
  std::unique_ptr<device::LinuxPciBackend> backend_;
  unsigned fds_before_ = 0;
};

}  // namespace kpx::test
