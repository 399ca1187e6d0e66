// Putting a machine file onto the virtual bus, and writing its motion log
// when the application releases the last card.
#include <cstdio>

#include "device/error_text.h"
#include "kpx4160_sim.h"
#include "sim/machine_file.h"
#include "sim/sim_bus.h"
#include "tools/svg_plot.h"

namespace kpx::sim {

bool LoadMachineLocked(SimBus &bus, const std::string &path) {
  MachineConfig config;
  std::string error;
  if (!ReadMachineFile(path, config, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    kpx::device::SetErrorText("%s\n", error.c_str());
    bus.ResetLocked(1);
    bus.machine_error = error;
    return false;
  }
  bus.ResetLocked(config.cards);
  bus.clock.Set(config.virtual_clock ? ClockMode::kVirtual : ClockMode::kReal, config.poll_step);
  for (const MachineAxis &a : config.axes) {
    SimChipAxis &axis = bus.slots[a.axis / 2]->card.chip[a.axis % 2];
    axis.switches = a.switches;
    axis.pcl_encoder = {a.encoder_ratio, 0, 0};
    axis.pld_encoder = {a.encoder_ratio, 0, 0};
    axis.UpdateTriggers();
  }
  for (const auto &[card, wiring] : config.cards_wiring) bus.slots[card]->card.wiring = wiring;
  for (auto &slot : bus.slots) slot->card.RestartSignals();
  bus.log_csv = config.log_csv;
  bus.log_svg = config.log_svg;
  if (!bus.log_csv.empty() || !bus.log_svg.empty()) bus.log.Start(config.log_interval, bus.clock.Now());
  return true;
}

void WriteMachineLogLocked(SimBus &bus) {
  if (bus.log_csv.empty() && bus.log_svg.empty()) return;
  bus.ObserveLocked();
  if (!bus.log_csv.empty() && !bus.log.WriteCsv(bus.log_csv))
    std::fprintf(stderr, "%s: cannot write the motion log\n", bus.log_csv.c_str());
  if (!bus.log_svg.empty() && !kpx::tools::svg::WriteSvg(bus.log_svg, bus.log.Samples()))
    std::fprintf(stderr, "%s: cannot write the motion plot\n", bus.log_svg.c_str());
}

}  // namespace kpx::sim

extern "C" int kpx4160_sim_load_machine(const char *path) {
  kpx::sim::SimBus &bus = kpx::sim::Bus();
  std::lock_guard lock(bus.mutex);
  bus.machine_env_checked = true;  // an explicit load wins over the environment
  return kpx::sim::LoadMachineLocked(bus, path != nullptr ? path : "") ? 0 : -1;
}
