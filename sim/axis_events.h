// What the card does when its axes' motion produces events: a move that
// ends raises the chip's end-of-operation interrupt when it is enabled.
#pragma once

#include "sim/axis_motion.h"

namespace kpx::sim {

struct SimBus;

// Event-interrupt cause the chip sets when an axis stops at the end of its
// operation (bit 0 of the event enable and event cause registers).
inline constexpr uint32_t kEventOperationEnd = 1u << 0;

void OnAxisEvents(SimBus &bus, unsigned card, const AxisEvents (&events)[2]);

}  // namespace kpx::sim
