// The one interface between the device layer and whatever carries its
// requests: the Windows kernel driver, the Linux kernel's PCI interfaces or
// the simulated card. A back end opens handles on "the driver" and answers
// the requests of driver_records.h on them, updating the record in place and
// reporting a 32-bit status (0: success). One struct of operations per back
// end; every operation receives the back end's own context pointer, so one
// implementation can serve several independent instances (the Linux back end
// over different sysfs trees, for example).
#pragma once

#include <cstdint>

namespace kpx::device {

using DriverHandle = std::intptr_t;
inline constexpr DriverHandle kInvalidDriverHandle = -1;

struct DriverBackend {
  const char *name;
  // Handed back unchanged as the first argument of every operation.
  void *context;
  // Opens a handle on the driver device; kInvalidDriverHandle on failure.
  DriverHandle (*open_device)(void *context);
  // Closes a handle from open_device.
  void (*close_device)(void *context, DriverHandle handle);
  // Issues one request. The record is in/out; the back end stores the
  // driver's status in *status, or leaves it untouched if the driver gave none.
  void (*request)(void *context, DriverHandle handle, uint32_t code, void *record, uint32_t size,
                  uint32_t *status);
  // Waits the given number of milliseconds. Real back ends sleep; the
  // simulated card may advance its own clock instead.
  void (*sleep_ms)(void *context, uint32_t milliseconds);
};

// The back end the device layer uses: the one installed for a test, if any,
// else the one this library was linked with.
const DriverBackend &ActiveDriverBackend();

// The back end this library was linked with (defined by exactly one back end
// object: the hardware back ends or the simulated card).
const DriverBackend &LinkedDriverBackend();

// Makes the device layer use `backend` instead of the linked one; null
// returns to the linked one. For tests that run the library over a back end
// instance of their own; the instance must outlive its use, and no card may
// be open while the back end is switched.
void SetDriverBackendForTesting(const DriverBackend *backend);

}  // namespace kpx::device
