// The machine file: a TOML description of the machine behind the simulated
// cards (switches, servo signals, the emergency stop, sensors wired to
// outputs, the clock and the motion log), read into plain settings that
// sim_machine_api.cpp puts onto the virtual bus. sim/README.md documents
// the format.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sim/axis_signals.h"
#include "sim/card_wiring.h"
#include "sim/clock.h"

namespace kpx::sim {

struct MachineAxis {
  unsigned axis = 0;  // library axis number: card axis / 2, chip axis axis % 2
  AxisSwitches switches;
  double encoder_ratio = 0.0;  // 0: no encoder
};

struct MachineConfig {
  unsigned cards = 1;
  bool virtual_clock = false;
  double poll_step = kDefaultPollStep;
  std::string log_csv;  // written at the last board close (empty: not written)
  std::string log_svg;
  double log_interval = 0.001;
  std::vector<MachineAxis> axes;
  std::vector<std::pair<unsigned, CardWiring>> cards_wiring;  // by card number
};

// Reads a machine file. On any fault (missing or unreadable file, syntax,
// unknown key, wrong type, number out of range) returns false with one
// line in `error` naming the file, the line and the key.
bool ReadMachineFile(const std::string &path, MachineConfig &out, std::string &error);

}  // namespace kpx::sim
