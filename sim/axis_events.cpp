#include "sim/axis_events.h"

#include "sim/sim_bus.h"

namespace kpx::sim {
namespace {

constexpr uint16_t kRegEventEnable = 0xAC;  // event causes that may interrupt
constexpr uint16_t kRegEventFactor = 0xF3;  // event causes raised (read only)

}  // namespace

void OnAxisEvents(SimBus &bus, unsigned card, const AxisEvents (&events)[2]) {
  SimSlot &slot = *bus.slots[card];
  for (unsigned a = 0; a < 2; ++a) {
    SimChipAxis &axis = slot.card.chip[a];
    for (uint32_t i = 0; i < events[a].moves_ended; ++i) {
      if ((axis.Register(kRegEventEnable) & kEventOperationEnd) == 0) continue;
      axis.Register(kRegEventFactor) |= kEventOperationEnd;
      axis.events_raised |= kEventOperationEnd;
      bus.RaiseInterruptLocked(card);
    }
  }
}

}  // namespace kpx::sim
