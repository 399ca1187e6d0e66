// How a machine is wired to one card beyond its axes: the emergency-stop
// input (EMG) and the general-purpose inputs, which may follow time, the
// position of an axis of the card, or one of the card's own outputs (a
// clamp output that closes a clamp sensor some time later).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/motion_plan.h"

namespace kpx::sim {

// Inputs and outputs are numbered 1..20 per card, as the library numbers them.
inline constexpr unsigned kGeneralBits = 20;

struct InputRule {
  enum class Kind {
    kConstant,       // always `value`
    kAtTime,         // 0 before `time`, 1 from then on
    kInWindow,       // 1 while chip axis `chip_axis` is within [from, to]
    kFollowsOutput,  // 1 while output `output` was on `delay` seconds earlier
  };
  Kind kind = Kind::kConstant;
  unsigned bit = 1;  // input number 1..20
  bool value = false;
  double time = 0.0;
  unsigned chip_axis = 0;
  int32_t from = 0;
  int32_t to = 0;
  unsigned output = 1;
  double delay = 0.0;
};

struct CardWiring {
  bool emg = false;  // the machine file wired the EMG input
  double emg_time = kEndless;  // the emergency stop is pressed at this time ...
  unsigned emg_output = 0;     // ... or follows this output (1..20; 0: none) ...
  double emg_delay = 0.0;      // ... this long after it
  bool emg_high = false;       // active high (else active low)
  std::vector<InputRule> inputs;

  // Inputs whose level changes with time alone.
  bool TimeDependent() const;
};

}  // namespace kpx::sim
