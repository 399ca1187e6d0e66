// Picks the back end of the hardware library for the platform it is built for.
#include "device/backends/hardware_backends.h"

#if defined(__linux__)
#include "device/backends/linux_pci_backend.h"
#elif !defined(_WIN32)
#include <chrono>
#include <thread>
#endif

namespace kpx::device {

#if defined(__linux__)
const DriverBackend &DefaultLinuxBackend() {
  // Built on first use (the first k4160_board_init), not at load, and torn
  // down at unload: its destructor releases whatever is still mapped.
  static LinuxPciBackend instance("/sys", "/dev");
  return instance.Operations();
}
#elif !defined(_WIN32)
namespace {
// There is no driver to open: k4160_board_init() finds no card and
// ErrorText says the driver could not be opened.
DriverHandle OpenNothing(void *) { return kInvalidDriverHandle; }
void CloseNothing(void *, DriverHandle) {}
void NoRequest(void *, DriverHandle, uint32_t, void *, uint32_t, uint32_t *) {}
void SleepMs(void *, uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace
const DriverBackend kNoDriverBackend = {"none", nullptr, OpenNothing, CloseNothing, NoRequest, SleepMs};
#endif

const DriverBackend &LinkedDriverBackend() {
#if defined(_WIN32)
  return kWinDriverBackend;
#elif defined(__linux__)
  return DefaultLinuxBackend();
#else
  return kNoDriverBackend;
#endif
}

}  // namespace kpx::device
