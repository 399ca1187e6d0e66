// The C control interface of the simulated cards.
#include <cstring>

#include "kpx4160_sim.h"
#include "sim/sim_bus.h"

using kpx::sim::Bus;
using kpx::sim::SimBus;
using kpx::sim::SimChipAxis;
using kpx::sim::SimSlot;

namespace {

constexpr unsigned kLastResourceLayout = KPX4160_SIM_RESOURCES_OVERLONG;

SimChipAxis *ChipAxis(SimBus &bus, unsigned card, unsigned chip_axis) {
  SimSlot *slot = bus.Slot(card);
  return slot != nullptr && chip_axis < 2 ? &slot->card.chip[chip_axis] : nullptr;
}

bool ValidOffset(unsigned offset, unsigned size) { return offset < size; }

}  // namespace

extern "C" {

int kpx4160_sim_reset(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.ResetLocked(1);
  return 0;
}

int kpx4160_sim_set_card_count(unsigned n) {
  if (n > KPX4160_SIM_MAX_CARDS) return -1;
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.SetCardCountLocked(n);
  return 0;
}

int kpx4160_sim_set_driver_version(unsigned version) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.driver_version = version;
  return 0;
}

int kpx4160_sim_set_driver_absent(int absent) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.driver_absent = absent != 0;
  return 0;
}

int kpx4160_sim_set_scan_status(uint32_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.scan_status = status;
  return 0;
}

int kpx4160_sim_set_card_info_status(unsigned card, uint32_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  slot->info_status = status;
  return 0;
}

int kpx4160_sim_set_registration_status(unsigned card, uint32_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  slot->registration_status = status;
  return 0;
}

int kpx4160_sim_set_resources(unsigned card, kpx4160_sim_resources layout_argument) {
  // Read as its bytes: a C caller may pass any int (see kpx4160_sim_set_clock).
  unsigned layout_value;
  static_assert(sizeof layout_value == sizeof layout_argument);
  std::memcpy(&layout_value, &layout_argument, sizeof layout_value);
  if (layout_value > kLastResourceLayout) return -1;
  const auto layout = static_cast<kpx4160_sim_resources>(layout_value);
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  slot->resources = layout;
  return 0;
}

int kpx4160_sim_set_register_space_memory(unsigned card, int memory) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  slot->register_space_memory = memory != 0;
  return 0;
}

void kpx4160_sim_set_pld_register(unsigned card, unsigned offset, uint32_t value) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr || !ValidOffset(offset, kpx::sim::kRegisterSpaceSize)) return;
  slot->card.pld_reads[offset / 4] = value;
}

uint32_t kpx4160_sim_get_pld_register(unsigned card, unsigned offset) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr || !ValidOffset(offset, kpx::sim::kRegisterSpaceSize)) return 0;
  return slot->card.pld_written[offset / 4];
}

void kpx4160_sim_set_pcl_register(unsigned card, unsigned chip_axis, unsigned code, uint32_t value) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr || code < kpx::sim::kFirstWriteCode || code >= kpx::sim::kEndReadCode) return;
  bus.ObserveLocked();
  axis->Register(static_cast<uint16_t>(code)) = value;
  axis->RegisterWritten(static_cast<uint16_t>(code), bus.clock.Now());
  axis->Refresh();
}

uint32_t kpx4160_sim_get_pcl_register(unsigned card, unsigned chip_axis, unsigned code) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  if (axis == nullptr || code < kpx::sim::kFirstWriteCode || code >= kpx::sim::kEndReadCode) return 0;
  bus.ObserveLocked();
  return axis->Register(static_cast<uint16_t>(code));
}

void kpx4160_sim_set_main_status(unsigned card, unsigned chip_axis, uint16_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (SimChipAxis *axis = ChipAxis(bus, card, chip_axis)) axis->main_status = status;
}

void kpx4160_sim_set_sub_status(unsigned card, unsigned chip_axis, uint16_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (SimChipAxis *axis = ChipAxis(bus, card, chip_axis)) axis->sub_status = status;
}

uint16_t kpx4160_sim_get_sub_status(unsigned card, unsigned chip_axis) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  return axis != nullptr ? axis->SubStatus() : 0;
}

uint16_t kpx4160_sim_get_otpw(unsigned card, unsigned chip_axis) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  return axis != nullptr ? axis->otpw : 0;
}

uint32_t kpx4160_sim_command_count(unsigned card, unsigned chip_axis) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  return axis != nullptr ? static_cast<uint32_t>(axis->commands.size()) : 0;
}

uint16_t kpx4160_sim_command(unsigned card, unsigned chip_axis, uint32_t i) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimChipAxis *axis = ChipAxis(bus, card, chip_axis);
  return axis != nullptr && i < axis->commands.size() ? axis->commands[i] : 0;
}

uint32_t kpx4160_sim_read_window32(unsigned card, unsigned offset) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr || offset > kpx::sim::kRegisterSpaceSize - 4) return 0;
  uint32_t v;
  std::memcpy(&v, slot->card.register_window.data() + offset, sizeof v);
  return v;
}

uint32_t kpx4160_sim_get_config_dword(unsigned card, unsigned offset) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr || !ValidOffset(offset, kpx::sim::kConfigSpaceSize)) return 0;
  return slot->card.config[offset / 4];
}

void kpx4160_sim_set_config_dword(unsigned card, unsigned offset, uint32_t value) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr || !ValidOffset(offset, kpx::sim::kConfigSpaceSize)) return;
  slot->card.config[offset / 4] = value;
}

uint32_t kpx4160_sim_config_log_size(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  return static_cast<uint32_t>(bus.config_log.size());
}

int kpx4160_sim_config_log_entry(uint32_t i, kpx4160_sim_config_access *out) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (out == nullptr || i >= bus.config_log.size()) return -1;
  *out = bus.config_log[i];
  return 0;
}

void kpx4160_sim_config_log_clear(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.config_log.clear();
}

int kpx4160_sim_set_interrupt_enable_status(unsigned card, uint32_t status) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  slot->interrupt_enable_status = status;
  return 0;
}

int kpx4160_sim_raise_interrupt(unsigned card) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  if (slot == nullptr) return -1;
  return bus.RaiseInterruptLocked(card) ? 0 : -1;
}

int kpx4160_sim_interrupt_enabled(unsigned card) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  return slot != nullptr && slot->interrupt.enabled ? 1 : 0;
}

unsigned kpx4160_sim_interrupt_waiters(unsigned card) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  SimSlot *slot = bus.Slot(card);
  return slot != nullptr ? slot->interrupt.waiters : 0;
}

uint32_t kpx4160_sim_trace_size(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  return static_cast<uint32_t>(bus.trace.size());
}

int kpx4160_sim_trace_entry(uint32_t i, kpx4160_sim_access *out) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (out == nullptr || i >= bus.trace.size()) return -1;
  *out = bus.trace[i];
  return 0;
}

void kpx4160_sim_trace_clear(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.trace.clear();
  for (auto &slot : bus.slots)
    for (SimChipAxis &axis : slot->card.chip) axis.commands.clear();
}

int kpx4160_sim_trace_enable(int on) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.trace_on = on != 0;
  return 0;
}

uint64_t kpx4160_sim_request_count(uint32_t request_code) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  if (request_code == 0) return bus.total_requests;
  auto it = bus.request_counts.find(request_code);
  return it == bus.request_counts.end() ? 0 : it->second;
}

unsigned kpx4160_sim_open_handles(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  return static_cast<unsigned>(bus.open_handles.size());
}

uint32_t kpx4160_sim_misaligned_accesses(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  uint32_t n = 0;
  for (auto &slot : bus.slots) n += slot->card.misaligned_accesses;
  return n;
}

unsigned kpx4160_sim_registered_cards(void) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  unsigned n = 0;
  for (auto &slot : bus.slots) n += slot->registrations;
  return n;
}

}  // extern "C"
