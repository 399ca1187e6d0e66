// Millisecond pauses for the subsystems that wait on the card (blocking
// moves, the arc's last chord). They run on the back end's clock, so on the
// simulated card in virtual time a pause advances simulated time instead of
// sleeping.
#pragma once

#include <cstdint>

#include "device/pci_device.h"

namespace kpx::core {

inline void PauseMilliseconds(uint32_t milliseconds) { device::DevicePause(milliseconds); }

}  // namespace kpx::core
