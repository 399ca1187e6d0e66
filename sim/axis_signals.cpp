#include "sim/axis_signals.h"

#include <cmath>

namespace kpx::sim {
namespace {

// Register indices (write code - 0x80).
constexpr size_t kSignalConfig1 = 0x1C;
constexpr size_t kSignalConfig2 = 0x1D;
constexpr size_t kSignalConfig3 = 0x1E;
constexpr size_t kComparator1Data = 0x27;
constexpr size_t kComparator2Data = 0x28;

// SignalConfig1: bit 3 an EL input stops the axis decelerating (else at
// once); bit 8 an ALM input likewise; the logic bits (1: active high) of
// SD (6), HOME (7), ALM (9) and INP (22).
constexpr uint32_t kSc1LimitDecelerates = 1u << 3;
constexpr uint32_t kSc1SlowDownHigh = 1u << 6;
constexpr uint32_t kSc1HomeHigh = 1u << 7;
constexpr uint32_t kSc1AlarmDecelerates = 1u << 8;
constexpr uint32_t kSc1AlarmHigh = 1u << 9;
constexpr uint32_t kSc1InPositionHigh = 1u << 22;
// SignalConfig2: bit 29 a home search ends on the EZ pulses after HOME,
// bits 24-27 how many of them minus one.
constexpr uint32_t kSc2HomeOnIndex = 1u << 29;
constexpr unsigned kSc2IndexCountShift = 24;
constexpr uint32_t kSc2IndexCountMask = 0xF;
// SignalConfig3 bit 1: a met comparator condition stops the axis at once
// (else decelerating); bits 12-13 and 14-15 the conditions of comparators
// 1 and 2.
constexpr uint32_t kSc3ComparatorStopsAtOnce = 1u << 1;
constexpr unsigned kSc3Comparator1Shift = 12;
constexpr unsigned kSc3Comparator2Shift = 14;
constexpr uint32_t kConditionMask = 0x3;

// Comparator conditions the model acts on: the position has reached the
// data from below (an upper limit) or from above (a lower limit). Condition
// 0 is off; condition 1 (equality) only marks a position and stops nothing.
constexpr uint32_t kConditionAtOrBelow = 2;
constexpr uint32_t kConditionAtOrAbove = 3;

// Operation-mode bits that enable the SD input for a move.
constexpr uint32_t kModeSlowDownEnable = 1u << 8;

// A position beyond any the 32-bit counter reaches: a zone trigger placed
// there is met at once by every move in its direction.
constexpr double kFarAway = 1e12;

// Whether the chip sees an input inverted. Inputs placed through the
// simulator's own calls have no wiring: the chip sees them as they are.
bool Mismatch(const AxisSwitches &s, bool wired_high, uint32_t reg, uint32_t logic_bit) {
  return s.wired && wired_high != ((reg & logic_bit) != 0);
}

PositionTrigger Trigger(double position, int direction, PositionTrigger::Action action, uint32_t id, bool zone) {
  PositionTrigger t;
  t.position = position;
  t.direction = direction;
  t.action = action;
  t.zone = zone;
  t.id = id;
  return t;
}

// An input seen active wherever the axis is: every move meets it at once.
void AddAlways(std::vector<PositionTrigger> &out, PositionTrigger::Action action, uint32_t id, uint32_t mode_mask = 0,
               bool home_only = false) {
  for (int direction : {+1, -1}) {
    PositionTrigger t = Trigger(-direction * kFarAway, direction, action, id, true);
    t.mode_mask = mode_mask;
    t.home_search_only = home_only;
    out.push_back(t);
  }
}

void AddComparator(std::vector<PositionTrigger> &out, uint32_t condition, uint32_t data,
                   PositionTrigger::Action action, uint32_t id) {
  int direction = 0;
  if (condition == kConditionAtOrAbove) direction = +1;
  if (condition == kConditionAtOrBelow) direction = -1;
  if (direction != 0) out.push_back(Trigger(static_cast<int32_t>(data), direction, action, id, true));
}

// Where a home search stops: on HOME (its lower edge moving up, its upper
// edge moving down), or with EZ counting on the count-th index pulse past
// that edge.
void AddHome(std::vector<PositionTrigger> &out, const AxisSwitches &s, const ChipRegisters &regs) {
  const uint32_t sc2 = regs[kSignalConfig2];
  const double low = s.home_position;
  const double high = static_cast<double>(s.home_position) + s.home_width - 1;
  double up = low;
  double down = high;
  if ((sc2 & kSc2HomeOnIndex) != 0 && s.ez_every > 0) {
    const double n = s.ez_every;
    const double count = static_cast<double>((sc2 >> kSc2IndexCountShift & kSc2IndexCountMask) + 1);
    up = (std::floor(low / n) + count) * n;
    down = (std::ceil(high / n) - count) * n;
  }
  for (const auto &[position, direction] : {std::pair{up, +1}, std::pair{down, -1}}) {
    PositionTrigger t = Trigger(position, direction, PositionTrigger::Action::kStopAsStarted, kTriggerHome, false);
    t.home_search_only = true;
    out.push_back(t);
  }
}

}  // namespace

std::vector<PositionTrigger> SignalTriggers(const AxisSwitches &s, const ChipRegisters &regs) {
  using Action = PositionTrigger::Action;
  std::vector<PositionTrigger> out;
  const uint32_t sc1 = regs[kSignalConfig1];
  if (s.emg_seen) AddAlways(out, Action::kImmediateStop, kTriggerEmergency);
  const Action alarm_stop = (sc1 & kSc1AlarmDecelerates) != 0 ? Action::kDeceleratingStop : Action::kImmediateStop;
  const bool alarm_inverted = Mismatch(s, s.alarm_high, sc1, kSc1AlarmHigh);
  if (s.alarm_active != alarm_inverted) AddAlways(out, alarm_stop, kTriggerAlarm);
  if (s.alarm_at_position && !s.alarm_active)
    out.push_back(Trigger(s.alarm_position, 0, alarm_inverted ? Action::kNotify : alarm_stop, kTriggerAlarm, false));
  if (s.limits) {
    const auto action = (sc1 & kSc1LimitDecelerates) != 0 ? Action::kDeceleratingStop : Action::kImmediateStop;
    out.push_back(Trigger(s.plus_limit, +1, action, kTriggerPlusLimit, true));
    out.push_back(Trigger(s.minus_limit, -1, action, kTriggerMinusLimit, true));
  }
  if (s.home && Mismatch(s, s.home_high, sc1, kSc1HomeHigh))
    AddAlways(out, Action::kStopAsStarted, kTriggerHome, 0, true);
  else if (s.home)
    AddHome(out, s, regs);
  if (s.slow_down && Mismatch(s, s.sd_high, sc1, kSc1SlowDownHigh)) {
    AddAlways(out, Action::kSlowDown, kTriggerSlowDownEnter, kModeSlowDownEnable);
  } else if (s.slow_down) {
    const double from = s.slow_down_from;
    const double to = s.slow_down_to;
    for (PositionTrigger t : {Trigger(from, +1, Action::kSlowDown, kTriggerSlowDownEnter, false),
                              Trigger(to, -1, Action::kSlowDown, kTriggerSlowDownEnter, false),
                              Trigger(to + 1, +1, Action::kResume, kTriggerSlowDownLeave, false),
                              Trigger(from - 1, -1, Action::kResume, kTriggerSlowDownLeave, false)}) {
      t.mode_mask = kModeSlowDownEnable;
      out.push_back(t);
    }
  }
  const uint32_t sc3 = regs[kSignalConfig3];
  const auto action = (sc3 & kSc3ComparatorStopsAtOnce) != 0 ? Action::kImmediateStop : Action::kDeceleratingStop;
  AddComparator(out, sc3 >> kSc3Comparator1Shift & kConditionMask, regs[kComparator1Data], action, kTriggerComparator1);
  AddComparator(out, sc3 >> kSc3Comparator2Shift & kConditionMask, regs[kComparator2Data], action, kTriggerComparator2);
  return out;
}

uint16_t SwitchStatusBits(const AxisSwitches &s, const ChipRegisters &regs, int64_t position) {
  const uint32_t sc1 = regs[kSignalConfig1];
  uint16_t bits = 0;
  if (s.limits && position >= s.plus_limit) bits |= kSubStatusPlusLimit;
  if (s.limits && position <= s.minus_limit) bits |= kSubStatusMinusLimit;
  const bool at_home = s.home && position >= s.home_position && position < int64_t{s.home_position} + s.home_width;
  if (s.home && at_home != Mismatch(s, s.home_high, sc1, kSc1HomeHigh)) bits |= kSubStatusHome;
  const bool in_zone = s.slow_down && position >= s.slow_down_from && position <= s.slow_down_to;
  if (s.slow_down && in_zone != Mismatch(s, s.sd_high, sc1, kSc1SlowDownHigh)) bits |= kSubStatusSlowDown;
  if (s.alarm_active != Mismatch(s, s.alarm_high, sc1, kSc1AlarmHigh)) bits |= kSubStatusAlarm;
  if (s.emg_seen) bits |= kSubStatusEmergency;
  return bits;
}

bool InPositionSeen(const AxisSwitches &s, const ChipRegisters &regs, bool servo_in_position) {
  return servo_in_position != Mismatch(s, s.inp_high, regs[kSignalConfig1], kSc1InPositionHigh);
}

double InPositionWait(const AxisSwitches &s, const ChipRegisters &regs) {
  return Mismatch(s, s.inp_high, regs[kSignalConfig1], kSc1InPositionHigh) ? kEndless : s.inp_delay;
}

}  // namespace kpx::sim
