// Selection of the back end the device layer speaks to.
#include "device/driver_backend.h"

#include <atomic>

namespace kpx::device {
namespace {
// A back end installed by a test; null: the linked one.
std::atomic<const DriverBackend *> g_test_backend{nullptr};
}  // namespace

const DriverBackend &ActiveDriverBackend() {
  const DriverBackend *installed = g_test_backend.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : LinkedDriverBackend();
}

void SetDriverBackendForTesting(const DriverBackend *backend) {
  g_test_backend.store(backend, std::memory_order_release);
}

}  // namespace kpx::device
