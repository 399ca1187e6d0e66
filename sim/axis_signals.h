// The axis's input signals that depend on where the axis is or on the
// machine behind it: the two end limit switches (EL), the home switch and
// the encoder index (EZ), the servo's alarm (ALM) and in-position (INP)
// outputs, the slow-down switch (SD), the card's emergency stop (EMG) and
// the chip's two position comparators used as soft limits. They become
// position triggers of the axis's motion and bits of its sub-status word.
//
// Polarity: every input but EL is wired active high or active low, and
// the chip is told which by a logic bit the library writes (1: active
// high). The chip sees an input active when its electrical level matches
// that logic, so a logic bit that does not match the wiring shows the
// input inverted: active where the switch is off, and the other way round.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/axis_motion.h"

namespace kpx::sim {

// Sub-status bits of the axis's inputs, as the chip sees them (1 = active).
inline constexpr uint16_t kSubStatusAlarm = 1u << 8;        // ALM
inline constexpr uint16_t kSubStatusPlusLimit = 1u << 9;    // +EL
inline constexpr uint16_t kSubStatusMinusLimit = 1u << 10;  // -EL
inline constexpr uint16_t kSubStatusHome = 1u << 11;        // HOME
inline constexpr uint16_t kSubStatusSlowDown = 1u << 12;    // SD
inline constexpr uint16_t kSubStatusInPosition = 1u << 13;  // INP
inline constexpr uint16_t kSubStatusEmergency = 1u << 15;   // the card's EMG

// Where the switches sit on the axis, in logical-position pulses, and how
// the machine's inputs are wired and what they do now.
struct AxisSwitches {
  bool limits = false;
  int32_t minus_limit = 0;  // -EL is active at and below this position
  int32_t plus_limit = 0;   // +EL is active at and above this position
  bool home = false;
  int32_t home_position = 0;  // HOME is active from here ...
  int32_t home_width = 1;     // ... over this many pulses upwards
  int32_t ez_every = 0;       // an EZ index pulse at every multiple of this position (0: none)
  bool slow_down = false;
  int32_t slow_down_from = 0;  // SD is active from here to slow_down_to, both included
  int32_t slow_down_to = 0;
  bool alarm_at_position = false;
  int32_t alarm_position = 0;  // the servo alarms when the axis gets here
  double alarm_time = kEndless;  // ... or at this simulated time
  double inp_delay = 0.0;        // the servo reports in position this long after the pulses end
  // Wiring: true for an input that is active high.
  bool home_high = false;
  bool alarm_high = false;
  bool inp_high = false;
  bool sd_high = false;
  bool wired = false;  // the machine file wired the inputs: the logic bits apply
  // What the inputs are doing now.
  bool alarm_active = false;  // the servo's alarm output is on (it stays on)
  bool emg_seen = false;      // the card's EMG input as the card sees it (logic and enable applied)
};

// Trigger ids, so the owner can tell what an axis reached.
enum TriggerId : uint32_t {
  kTriggerPlusLimit = 1,
  kTriggerMinusLimit = 2,
  kTriggerHome = 3,
  kTriggerComparator1 = 4,
  kTriggerComparator2 = 5,
  kTriggerAlarm = 6,
  kTriggerEmergency = 7,
  kTriggerSlowDownEnter = 8,
  kTriggerSlowDownLeave = 9,
};

// The triggers the switches, the inputs and the comparator registers make.
std::vector<PositionTrigger> SignalTriggers(const AxisSwitches &switches, const ChipRegisters &regs);

// The sub-status bits of the position-dependent inputs with the axis at
// position (ALM, EL, HOME, SD, EMG; INP is the motion's).
uint16_t SwitchStatusBits(const AxisSwitches &switches, const ChipRegisters &regs, int64_t position);

// True when the chip sees the axis's INP input active: the servo reports
// in position (physically, at rest) and the logic bit is applied.
bool InPositionSeen(const AxisSwitches &switches, const ChipRegisters &regs, bool servo_in_position);

// How long after its pulses end a move with the in-position check waits
// for INP: the servo's delay, or for ever when the logic does not match
// the wiring (the chip never sees INP come).
double InPositionWait(const AxisSwitches &switches, const ChipRegisters &regs);

}  // namespace kpx::sim
