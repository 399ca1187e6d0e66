// The one interface between the device layer and whatever carries its
// requests: the Windows kernel driver, the Linux kernel's PCI interfaces or
// the simulated card. A back end opens handles on "the driver" and answers
// the requests of driver_records.h on them, updating the record in place and
// reporting a 32-bit status (0: success). One struct of operations per back
// end; the link decides which one ActiveDriverBackend() returns.
#pragma once

#include <cstdint>

namespace kpx::device {

using DriverHandle = std::intptr_t;
inline constexpr DriverHandle kInvalidDriverHandle = -1;

struct DriverBackend {
  const char *name;
  // Opens a handle on the driver device; kInvalidDriverHandle on failure.
  DriverHandle (*open_device)();
  // Closes a handle from open_device.
  void (*close_device)(DriverHandle handle);
  // Issues one request. The record is in/out; the back end stores the
  // driver's status in *status, or leaves it untouched if the driver gave none.
  void (*request)(DriverHandle handle, uint32_t code, void *record, uint32_t size, uint32_t *status);
  // Waits the given number of milliseconds. Real back ends sleep; the
  // simulated card may advance its own clock instead.
  void (*sleep_ms)(uint32_t milliseconds);
};

// The back end this library was linked with.
const DriverBackend &ActiveDriverBackend();

}  // namespace kpx::device
