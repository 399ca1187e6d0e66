// The axis's input signals that depend on where the axis is: the two end
// limit switches (EL), the home switch and the chip's two position
// comparators used as soft limits. They become position triggers of the
// axis's motion and bits of its sub-status word.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/axis_motion.h"

namespace kpx::sim {

// Sub-status bits of the position-dependent inputs (1 = active).
inline constexpr uint16_t kSubStatusPlusLimit = 1u << 9;   // +EL
inline constexpr uint16_t kSubStatusMinusLimit = 1u << 10;  // -EL
inline constexpr uint16_t kSubStatusHome = 1u << 11;        // HOME

// Where the switches sit on the axis, in logical-position pulses.
struct AxisSwitches {
  bool limits = false;
  int32_t minus_limit = 0;  // -EL is active at and below this position
  int32_t plus_limit = 0;   // +EL is active at and above this position
  bool home = false;
  int32_t home_position = 0;  // HOME is active exactly here
};

// Trigger ids, so the owner can tell what an axis reached.
enum TriggerId : uint32_t {
  kTriggerPlusLimit = 1,
  kTriggerMinusLimit = 2,
  kTriggerHome = 3,
  kTriggerComparator1 = 4,
  kTriggerComparator2 = 5,
};

// The triggers the switches and the comparator registers make.
std::vector<PositionTrigger> SignalTriggers(const AxisSwitches &switches, const ChipRegisters &regs);

// The sub-status bits of the switches with the axis at position.
uint16_t SwitchStatusBits(const AxisSwitches &switches, int64_t position);

}  // namespace kpx::sim
