// What the card does when its axes' motion produces events: a move that
// ends raises the chip's end-of-operation interrupt when it is enabled; a
// stop by a limit, a soft limit, the servo alarm or the emergency-stop
// input leaves its cause in the error-cause register (read code 0xF2) and
// raises the error interrupt when that is enabled.
#pragma once

#include "sim/axis_motion.h"

namespace kpx::sim {

struct SimBus;

// Event-interrupt cause the chip sets when an axis stops at the end of its
// operation (bit 0 of the event enable and event cause registers).
inline constexpr uint32_t kEventOperationEnd = 1u << 0;

// Error causes: why the chip stopped the axis (bits of read code 0xF2).
inline constexpr uint32_t kErrorComparator1 = 1u << 0;  // the comparator 1 soft limit
inline constexpr uint32_t kErrorComparator2 = 1u << 1;  // the comparator 2 soft limit
inline constexpr uint32_t kErrorPlusLimit = 1u << 4;    // +EL
inline constexpr uint32_t kErrorMinusLimit = 1u << 5;   // -EL
inline constexpr uint32_t kErrorAlarm = 1u << 6;        // ALM
inline constexpr uint32_t kErrorEmergency = 1u << 8;    // the card's EMG input

void OnAxisEvents(SimBus &bus, unsigned card, const AxisEvents (&events)[2]);

}  // namespace kpx::sim
