// The machine's inputs of one card: the emergency stop and the general
// inputs, and the record of the outputs they may follow.
#include <algorithm>
#include <functional>

#include "sim/sim_card.h"

namespace kpx::sim {
namespace {

constexpr uint32_t kPldInputPort = 0x4C;
constexpr uint32_t kPldOutputPort = 0x44;
// Outputs 1-12 are bits 0-11 of the output port, 13-14 bits 14-15, all
// active low; outputs 15-20 are the chip's terminals 4, 5 and 6 of chip
// axes 0 and 1 (sub-status bits 4-6, 1 = on).
constexpr uint32_t kPortLowOutputs = 0xFFF;
constexpr uint32_t kPortHighOutputs = 0xC000;
constexpr unsigned kHighOutputShift = 2;
constexpr unsigned kTerminalOutputFirst = 14;  // bit of output 15
constexpr unsigned kTerminalShift = 4;         // sub-status bit of terminal 4
// PldConfig: bit 4 EMG logic (1: active high), bit 5 EMG input disabled.
constexpr uint32_t kPldConfig = 0x78;
constexpr uint32_t kEmgHigh = 1u << 4;
constexpr uint32_t kEmgDisabled = 1u << 5;
// Inputs 17-20 are sub-status bits 0 (17: chip axis 0, 18: chip axis 1)
// and 2 (19, 20).
constexpr unsigned kPortInputs = 16;

}  // namespace

bool CardWiring::TimeDependent() const {
  return std::any_of(inputs.begin(), inputs.end(), [](const InputRule &r) {
    return r.kind == InputRule::Kind::kAtTime || r.kind == InputRule::Kind::kFollowsOutput;
  });
}

uint32_t SimCard::OutputWord() const {
  const uint32_t port = ~pld_reads[kPldOutputPort / 4];
  uint32_t word = (port & kPortLowOutputs) | (port & kPortHighOutputs) >> kHighOutputShift;
  for (unsigned t = 0; t < 3; ++t)
    for (unsigned a = 0; a < 2; ++a)
      if ((chip[a].terminals >> (kTerminalShift + t) & 1) != 0) word |= 1u << (kTerminalOutputFirst + 2 * t + a);
  return word;
}

bool SimCard::OutputOnAt(unsigned n, double t) const {
  // Before the first record (simulated time before the clock started)
  // every output was off.
  uint32_t word = output_history_.empty() ? OutputWord() : 0;
  for (const auto &[when, outputs] : output_history_) {
    if (when > t) break;
    word = outputs;
  }
  return n >= 1 && n <= kGeneralBits && (word >> (n - 1) & 1) != 0;
}

void SimCard::OutputsWritten(double now) {
  const bool followed = wiring.emg_output != 0 ||
                        std::any_of(wiring.inputs.begin(), wiring.inputs.end(),
                                    [](const InputRule &r) { return r.kind == InputRule::Kind::kFollowsOutput; });
  if (!followed) return;
  const uint32_t word = OutputWord();
  if (!output_history_.empty() && output_history_.back().second == word) return;
  output_history_.emplace_back(now, word);
  // What no delay looks back to any more can go.
  double longest = wiring.emg_delay;
  for (const InputRule &r : wiring.inputs) longest = std::max(longest, r.delay);
  while (output_history_.size() > 1 && output_history_[1].first <= now - longest) output_history_.pop_front();
  if (wiring.emg_output != 0) Schedule(now + wiring.emg_delay);
}

uint32_t SimCard::InputPort() const {
  uint32_t port = pld_reads[kPldInputPort / 4];
  for (const InputRule &r : wiring.inputs) {
    bool on = r.value;
    switch (r.kind) {
      case InputRule::Kind::kConstant: break;
      case InputRule::Kind::kAtTime: on = time_ >= r.time; break;
      case InputRule::Kind::kInWindow: {
        const int64_t p = chip[r.chip_axis].motion.Position();
        on = p >= r.from && p <= r.to;
        break;
      }
      case InputRule::Kind::kFollowsOutput: on = OutputOnAt(r.output, time_ - r.delay); break;
    }
    const uint32_t bit = 1u << (r.bit - 1);
    port = on ? port | bit : port & ~bit;
  }
  return port;
}

uint16_t SimCard::SubStatusInputs(unsigned chip_axis, uint16_t sub_status) const {
  if (wiring.inputs.empty()) return sub_status;
  const uint32_t port = InputPort();
  // Input 17 + chip axis in bit 0, input 19 + chip axis in bit 2.
  for (unsigned k : {0u, 2u}) {
    const unsigned input = kPortInputs + 1 + k + chip_axis;
    bool wired = false;
    for (const InputRule &r : wiring.inputs) wired = wired || r.bit == input;
    if (!wired) continue;
    const auto bit = static_cast<uint16_t>(1u << k);
    sub_status = (port >> (input - 1) & 1) != 0 ? (sub_status | bit) : (sub_status & ~bit);
  }
  return sub_status;
}

void SimCard::Schedule(double t) {
  if (!(t < kEndless)) return;
  signal_times_.push_back(t);
  std::push_heap(signal_times_.begin(), signal_times_.end(), std::greater<>{});
}

double SimCard::NextSignalTime() const { return signal_times_.empty() ? kEndless : signal_times_.front(); }

void SimCard::EvaluateSignals(double t) {
  while (!signal_times_.empty() && signal_times_.front() <= t) {
    std::pop_heap(signal_times_.begin(), signal_times_.end(), std::greater<>{});
    signal_times_.pop_back();
  }
  const uint32_t config = pld_reads[kPldConfig / 4];
  const bool pressed = t >= wiring.emg_time || (wiring.emg_output != 0 && OutputOnAt(wiring.emg_output, t - wiring.emg_delay));
  const bool seen = wiring.emg && (config & kEmgDisabled) == 0 && pressed != (wiring.emg_high != ((config & kEmgHigh) != 0));
  for (SimChipAxis &axis : chip) {
    const bool alarm = axis.switches.alarm_active || t >= axis.switches.alarm_time;
    if (axis.switches.emg_seen == seen && axis.switches.alarm_active == alarm) continue;
    axis.switches.emg_seen = seen;
    axis.switches.alarm_active = alarm;
    axis.UpdateTriggers();
  }
}

void SimCard::RestartSignals() {
  output_history_.clear();
  output_history_.emplace_back(0.0, OutputWord());
  signal_times_.clear();
  Schedule(wiring.emg_time);
  for (const SimChipAxis &axis : chip) Schedule(axis.switches.alarm_time);
  EvaluateSignals(0.0);
}

}  // namespace kpx::sim
