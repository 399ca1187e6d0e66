// Picks the back end of the hardware library for the platform it is built for.
#include "device/backends/hardware_backends.h"

#if !defined(_WIN32)
#include <chrono>
#include <thread>
#endif

namespace kpx::device {

#if !defined(_WIN32)
namespace {
// Until this platform has a driver back end, there is no driver to open:
// k4160_board_init() finds no card and ErrorText says the driver could not
// be opened.
DriverHandle OpenNothing() { return kInvalidDriverHandle; }
void CloseNothing(DriverHandle) {}
void NoRequest(DriverHandle, uint32_t, void *, uint32_t, uint32_t *) {}
void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace
const DriverBackend kNoDriverBackend = {"none", OpenNothing, CloseNothing, NoRequest, SleepMs};
#endif

const DriverBackend &ActiveDriverBackend() {
#if defined(_WIN32)
  return kWinDriverBackend;
#else
  return kNoDriverBackend;
#endif
}

}  // namespace kpx::device
