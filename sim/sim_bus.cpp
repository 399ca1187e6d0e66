#include "sim/sim_bus.h"

#include <algorithm>

#include "sim/axis_events.h"

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
  clock.Set(ClockMode::kReal, kDefaultPollStep);
  log.Clear();
  machine_error.clear();
  log_csv.clear();
  log_svg.clear();
}

namespace {

void AdvanceCards(SimBus &bus, double t) {
  for (unsigned c = 0; c < bus.slots.size(); ++c) {
    SimSlot &slot = *bus.slots[c];
    AxisEvents events[2];
    slot.card.AdvanceTo(t, events);
    OnAxisEvents(bus, c, events);
  }
}

void TakeSample(SimBus &bus, double t) {
  for (unsigned c = 0; c < bus.slots.size(); ++c)
    for (uint32_t a = 0; a < 2; ++a) {
      const SimChipAxis &axis = bus.slots[c]->card.chip[a];
      kpx4160_sim_sample s{};
      s.time = t;
      s.card = c;
      s.chip_axis = a;
      s.position = static_cast<int32_t>(axis.motion.Position());
      s.encoder = static_cast<int32_t>(axis.registers[0xA4 - 0x80]);
      s.speed = axis.motion.Speed();
      bus.log.Add(s);
    }
  bus.log.SampleTaken();
}

}  // namespace

bool SimBus::StillLocked() const {
  if (log.Active()) return false;
  for (const auto &slot : slots) {
    if (slot->card.wiring.TimeDependent() || slot->card.NextSignalTime() < kEndless) return false;
    for (const SimChipAxis &axis : slot->card.chip)
      if (axis.motion.Busy()) return false;
  }
  return true;
}

double SimBus::ObserveLocked() {
  const double now = clock.Now();
  // Log samples and input changes that stop or free motion are taken at
  // their own instants, in time order, before the cards reach now.
  for (;;) {
    const double sample = log.Active() ? log.NextSampleTime() : kEndless;
    double signal = kEndless;
    for (const auto &slot : slots) signal = std::min(signal, slot->card.NextSignalTime());
    const double t = std::min(sample, signal);
    if (t > now) break;
    AdvanceCards(*this, t);
    if (signal <= t)
      for (auto &slot : slots) slot->card.EvaluateSignals(t);
    if (sample <= t) TakeSample(*this, t);
  }
  AdvanceCards(*this, now);
  return now;
}

bool SimBus::RaiseInterruptLocked(unsigned card) {
  SimSlot *slot = Slot(card);
  if (slot == nullptr) return false;
  if (!slot->interrupt.enabled) {
    ++slot->interrupt.lost;
    return false;
  }
  ++slot->interrupt.pending;
  interrupt_cv.notify_all();
  return true;
}

double SimBus::NextEventTimeLocked() const {
  double next = log.Active() ? log.NextSampleTime() : kEndless;
  for (const auto &slot : slots) {
    next = std::min(next, slot->card.NextSignalTime());
    for (const SimChipAxis &axis : slot->card.chip) next = std::min(next, axis.motion.NextEventTime());
  }
  return next;
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
