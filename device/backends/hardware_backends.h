// The back ends that reach real cards.
#pragma once

#include "device/driver_backend.h"

namespace kpx::device {

#if defined(_WIN32)
// Requests go to the WinDriver kernel driver.
extern const DriverBackend kWinDriverBackend;
#elif defined(__linux__)
// Requests are answered from the kernel's own PCI interfaces under /sys and
// /dev (see linux_pci_backend.h).
const DriverBackend &DefaultLinuxBackend();
#else
// No PCI access layer on this platform: no driver can be opened.
extern const DriverBackend kNoDriverBackend;
#endif

}  // namespace kpx::device
