#include "sim/sim_bus.h"

namespace kpx::sim {

SimBus &Bus() {
  static SimBus bus;
  static std::once_flag once;
  std::call_once(once, [] {
    std::lock_guard lock(bus.mutex);
    bus.ResetLocked(1);
  });
  return bus;
}

void SimBus::ResetLocked(unsigned cards) {
  // Wake any interrupt wait still pending: its interrupts are gone.
  for (auto &slot : slots) {
    slot->interrupt.enabled = false;
    ++slot->interrupt.disable_generation;
  }
  interrupt_cv.notify_all();
  slots.clear();
  SetCardCountLocked(cards);
  driver_version = kDefaultDriverVersion;
  driver_absent = false;
  scan_status = 0;
  trace_on = true;
  trace.clear();
  config_log.clear();
  request_counts.clear();
  total_requests = 0;
}

void SimBus::SetCardCountLocked(unsigned cards) {
  while (slots.size() > cards) {
    slots.back()->interrupt.enabled = false;
    ++slots.back()->interrupt.disable_generation;
    interrupt_cv.notify_all();
    slots.pop_back();
  }
  while (slots.size() < cards) slots.push_back(std::make_unique<SimSlot>(static_cast<unsigned>(slots.size())));
}

}  // namespace kpx::sim
