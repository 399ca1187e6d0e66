#include "sim/axis_events.h"

#include "sim/axis_signals.h"
#include "sim/sim_bus.h"

namespace kpx::sim {
namespace {

constexpr uint16_t kRegEventEnable = 0xAC;  // event causes that may interrupt
constexpr uint16_t kRegEventFactor = 0xF3;  // event causes raised (read only)
constexpr uint16_t kRegErrorFactor = 0xF2;  // error causes raised (read only)
constexpr uint16_t kRegSignalConfig2 = 0x9D;
constexpr uint32_t kSc2ErrorInterrupt = 1u << 30;  // error causes interrupt

uint32_t ErrorCause(uint32_t trigger) {
  switch (trigger) {
    case kTriggerComparator1: return kErrorComparator1;
    case kTriggerComparator2: return kErrorComparator2;
    case kTriggerPlusLimit: return kErrorPlusLimit;
    case kTriggerMinusLimit: return kErrorMinusLimit;
    case kTriggerAlarm: return kErrorAlarm;
    case kTriggerEmergency: return kErrorEmergency;
    default: return 0;
  }
}

}  // namespace

void OnAxisEvents(SimBus &bus, unsigned card, const AxisEvents (&events)[2]) {
  SimSlot &slot = *bus.slots[card];
  for (unsigned a = 0; a < 2; ++a) {
    SimChipAxis &axis = slot.card.chip[a];
    for (uint32_t id : events[a].triggers) {
      if (id == kTriggerAlarm && !axis.switches.alarm_active) {
        // The servo alarms at its position and stays alarmed.
        axis.switches.alarm_active = true;
        axis.UpdateTriggers();
      }
      const uint32_t cause = ErrorCause(id);
      // An inverted alarm input that goes off stops nothing.
      if (cause == 0 || (id == kTriggerAlarm && (axis.SubStatus() & kSubStatusAlarm) == 0)) continue;
      axis.Register(kRegErrorFactor) |= cause;
      axis.errors_raised |= cause;
      if ((axis.Register(kRegSignalConfig2) & kSc2ErrorInterrupt) != 0) bus.RaiseInterruptLocked(card);
    }
    for (uint32_t i = 0; i < events[a].moves_ended; ++i) {
      if ((axis.Register(kRegEventEnable) & kEventOperationEnd) == 0) continue;
      axis.Register(kRegEventFactor) |= kEventOperationEnd;
      axis.events_raised |= kEventOperationEnd;
      bus.RaiseInterruptLocked(card);
    }
  }
}

}  // namespace kpx::sim
