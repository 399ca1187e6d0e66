// The back ends that reach real cards.
#pragma once

#include "device/driver_backend.h"

namespace kpx::device {

#if defined(_WIN32)
extern const DriverBackend kWinDriverBackend;
#else
extern const DriverBackend kNoDriverBackend;
#endif

}  // namespace kpx::device
