// The C control interface of the simulated cards' motion: clocks, axis
// state, encoders, handwheel pulses and the motion log.
#include <cstring>
#include <cmath>

#include "kpx4160_sim.h"
#include "sim/sim_bus.h"

using kpx::sim::Bus;
using kpx::sim::ClockMode;
using kpx::sim::SimBus;
using kpx::sim::SimChipAxis;
using kpx::sim::SimSlot;

namespace {

SimChipAxis *ChipAxis(SimBus &bus, unsigned card, unsigned chip_axis) {
  SimSlot *slot = bus.Slot(card);
  return slot != nullptr && chip_axis < 2 ? &slot->card.chip[chip_axis] : nullptr;
}

}  // namespace

extern "C" {

int kpx4160_sim_set_clock(kpx4160_sim_clock_mode mode_argument, double poll_step_seconds) {
  // A C caller may pass any int; in C++ an enum holding a value outside its
  // enumerators' range must not even be loaded, so it is read as its bytes.
  int mode_value;
  static_assert(sizeof mode_value == sizeof mode_argument);
  std::memcpy(&mode_value, &mode_argument, sizeof mode_value);
  if (mode_value != KPX4160_SIM_CLOCK_REAL && mode_value != KPX4160_SIM_CLOCK_VIRTUAL) return -1;
  const auto mode = static_cast<kpx4160_sim_clock_mode>(mode_value);
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  const double now = bus.clock.Now();
  for (auto &slot : bus.slots)
    for (SimChipAxis &axis : slot->card.chip) {
      axis.motion.StopImmediately(now, axis.registers);
      axis.motion.RestartClock();
      axis.Refresh();
    }
  bus.log.Clear();
  bus.clock.Set(mode == KPX4160_SIM_CLOCK_VIRTUAL ? ClockMode::kVirtual : ClockMode::kReal, poll_step_seconds);
  bus.idle_polls = 0;
  for (auto &slot : bus.slots) slot->card.RestartSignals();
  return 0;
}

double kpx4160_sim_time(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  return bus.clock.Now();
}

int kpx4160_sim_advance(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0.0) return -1;
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (!bus.clock.Virtual()) return -1;
  bus.clock.Advance(seconds);
  bus.ObserveLocked();
  return 0;
}

int kpx4160_sim_get_axis_state(unsigned card, unsigned chip_axis, kpx4160_sim_axis_state *out) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr || out == nullptr) return -1;
  bus.ObserveLocked();
  const auto &m = axis->motion;
  out->position = static_cast<int32_t>(m.Position());
  out->speed = m.Speed();
  out->direction = m.Direction();
  out->busy = m.Busy() ? 1 : 0;
  out->pending = m.Pending() ? 1 : 0;
  out->moves_started = m.MovesStarted();
  out->underruns = m.Underruns();
  out->overruns = m.Overruns();
  return 0;
}

int kpx4160_sim_clear_run_counts(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  for (auto &slot : bus.slots)
    for (SimChipAxis &axis : slot->card.chip) axis.motion.ClearRunCounts();
  return 0;
}

int kpx4160_sim_set_encoder(unsigned card, unsigned chip_axis, double ratio) {
  if (!std::isfinite(ratio)) return -1;
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr) return -1;
  bus.ObserveLocked();
  const int64_t output = axis->motion.OutputPulses();
  axis->pcl_encoder = {ratio, static_cast<int32_t>(axis->Register(0xA4)), output};
  const uint32_t raw = bus.Slot(card)->card.pld_reads[(0x10 * chip_axis) / 4] & 0x0FFFFFFF;
  const int64_t pld = (raw & 0x08000000u) != 0 ? static_cast<int64_t>(raw) - 0x10000000 : raw;
  axis->pld_encoder = {ratio, pld, output};
  return 0;
}

int kpx4160_sim_feed_handwheel(unsigned card, unsigned chip_axis, int32_t pulses) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr) return -1;
  bus.ObserveLocked();
  if (!axis->motion.FollowsHandwheel()) return -1;
  axis->motion.FeedHandwheel(pulses, axis->registers);
  axis->Refresh();
  bus.Slot(card)->card.RefreshPldEncoders();
  return 0;
}

int kpx4160_sim_set_limit_switches(unsigned card, unsigned chip_axis, int32_t minus_position, int32_t plus_position,
                                   int enabled) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr || (enabled != 0 && minus_position >= plus_position)) return -1;
  bus.ObserveLocked();
  axis->switches.limits = enabled != 0;
  axis->switches.minus_limit = minus_position;
  axis->switches.plus_limit = plus_position;
  axis->UpdateTriggers();
  return 0;
}

int kpx4160_sim_set_home_switch(unsigned card, unsigned chip_axis, int32_t position, int enabled) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr) return -1;
  bus.ObserveLocked();
  axis->switches.home = enabled != 0;
  axis->switches.home_position = position;
  axis->UpdateTriggers();
  return 0;
}

int kpx4160_sim_latch_event(unsigned card, unsigned chip_axis) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (ChipAxis(bus, card, chip_axis) == nullptr) return -1;
  bus.ObserveLocked();
  bus.Slot(card)->card.Latch(chip_axis);
  return 0;
}

int kpx4160_sim_log_start(double interval_seconds) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  if (!bus.log.Start(interval_seconds, bus.clock.Now())) return -1;
  bus.ObserveLocked();
  return 0;
}

int kpx4160_sim_log_stop(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  bus.log.Stop();
  return 0;
}

uint32_t kpx4160_sim_log_size(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  return static_cast<uint32_t>(bus.log.Samples().size());
}

int kpx4160_sim_log_full(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  return bus.log.Full() ? 1 : 0;
}

int kpx4160_sim_log_sample(uint32_t i, kpx4160_sim_sample *out) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  if (out == nullptr || i >= bus.log.Samples().size()) return -1;
  *out = bus.log.Samples()[i];
  return 0;
}

int kpx4160_sim_log_write_csv(const char *path) {
  if (path == nullptr) return -1;
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ObserveLocked();
  return bus.log.WriteCsv(path) ? 0 : -1;
}

}  // extern "C"
