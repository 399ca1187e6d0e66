#include "support/linux_backend_fixture.h"

#include "device/driver_backend.h"
#include "support/sim_fixture.h"

namespace kpx::test {

void LinuxBackendTest::SetUp() {
  CloseLibraryCompletely();
  fds_before_ = OpenFdCount();
}

void LinuxBackendTest::Install(const std::string &sysfs_root) {
  backend_ = std::make_unique<device::LinuxPciBackend>(sysfs_root.empty() ? tree_.SysRoot() : sysfs_root,
                                                       tree_.DevRoot());
  device::SetDriverBackendForTesting(&backend_->Operations());
}

void LinuxBackendTest::TearDown() {
  CloseLibraryCompletely();
  device::SetDriverBackendForTesting(nullptr);
  backend_.reset();
}

}  // namespace kpx::test
