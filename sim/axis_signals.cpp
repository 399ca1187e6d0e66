#include "sim/axis_signals.h"

namespace kpx::sim {
namespace {

// Register indices (write code - 0x80).
constexpr size_t kSignalConfig1 = 0x1C;
constexpr size_t kSignalConfig3 = 0x1E;
constexpr size_t kComparator1Data = 0x27;
constexpr size_t kComparator2Data = 0x28;

// SignalConfig1 bit 3: an EL input stops the axis decelerating (else at once).
constexpr uint32_t kSc1LimitDecelerates = 1u << 3;
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

void AddComparator(std::vector<PositionTrigger> &out, uint32_t condition, uint32_t data,
                   PositionTrigger::Action action, uint32_t id) {
  int direction = 0;
  if (condition == kConditionAtOrAbove) direction = +1;
  if (condition == kConditionAtOrBelow) direction = -1;
  if (direction == 0) return;
  PositionTrigger t;
  t.position = static_cast<int32_t>(data);
  t.direction = direction;
  t.action = action;
  t.zone = true;
  t.id = id;
  out.push_back(t);
}

}  // namespace

std::vector<PositionTrigger> SignalTriggers(const AxisSwitches &switches, const ChipRegisters &regs) {
  std::vector<PositionTrigger> out;
  if (switches.limits) {
    const auto action = (regs[kSignalConfig1] & kSc1LimitDecelerates) != 0 ? PositionTrigger::Action::kDeceleratingStop
                                                                           : PositionTrigger::Action::kImmediateStop;
    PositionTrigger plus;
    plus.position = switches.plus_limit;
    plus.direction = +1;
    plus.action = action;
    plus.zone = true;
    plus.id = kTriggerPlusLimit;
    out.push_back(plus);
    PositionTrigger minus = plus;
    minus.position = switches.minus_limit;
    minus.direction = -1;
    minus.id = kTriggerMinusLimit;
    out.push_back(minus);
  }
  if (switches.home) {
    PositionTrigger home;
    home.position = switches.home_position;
    home.direction = 0;
    home.action = PositionTrigger::Action::kStopAsStarted;
    home.home_search_only = true;
    home.id = kTriggerHome;
    out.push_back(home);
  }
  const uint32_t sc3 = regs[kSignalConfig3];
  const auto action = (sc3 & kSc3ComparatorStopsAtOnce) != 0 ? PositionTrigger::Action::kImmediateStop
                                                              : PositionTrigger::Action::kDeceleratingStop;
  AddComparator(out, sc3 >> kSc3Comparator1Shift & kConditionMask, regs[kComparator1Data], action, kTriggerComparator1);
  AddComparator(out, sc3 >> kSc3Comparator2Shift & kConditionMask, regs[kComparator2Data], action, kTriggerComparator2);
  return out;
}

uint16_t SwitchStatusBits(const AxisSwitches &switches, int64_t position) {
  uint16_t bits = 0;
  if (switches.limits && position >= switches.plus_limit) bits |= kSubStatusPlusLimit;
  if (switches.limits && position <= switches.minus_limit) bits |= kSubStatusMinusLimit;
  if (switches.home && position == switches.home_position) bits |= kSubStatusHome;
  return bits;
}

}  // namespace kpx::sim
