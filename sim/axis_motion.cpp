#include "sim/axis_motion.h"

#include <algorithm>
#include <cmath>

namespace kpx::sim {
namespace {

// Register indices (write code - 0x80). A start copies the pre-registers
// 0x80..0x8A into the registers of the move in progress, 0x90..0x9A.
constexpr size_t kRunFirst = 0x10;
constexpr size_t kPreCount = 11;
constexpr size_t kDistance = 0;        // signed distance
constexpr size_t kStartSpeed = 1;      // speed units
constexpr size_t kMaxSpeed = 2;        // speed units
constexpr size_t kAccelRate = 3;
constexpr size_t kDecelRate = 4;
constexpr size_t kMagnification = 5;   // speed unit = 1200 / (code + 1)
constexpr size_t kRampDownPoint = 6;   // pulses before the end
constexpr size_t kMode = 7;            // operation-mode word
constexpr size_t kLongAxis = 8;        // long-axis distance of a line
constexpr size_t kSAccelSection = 9;   // speed units
constexpr size_t kSDecelSection = 10;  // speed units

// Ramp-time law of the chip: a rate value R gives an acceleration of
// 9830400 / (R + 1) speed units per second per second.
constexpr double kRateConstant = 9830400.0;
constexpr double kUnitBase = 1200.0;

// A positioning move's axis position may run short of the target by the
// rounding of the speed curve; this much is still counted as a pulse.
constexpr double kPulseSlack = 1e-7;

struct Profile {
  double unit = kUnitBase;
  double fl = kUnitBase;
  double fh = kUnitBase;
  RampShape up;
  RampShape down;
};

// Speed values of 0 do not stop the chip: it runs at one speed unit.
double Units(uint32_t v) { return std::max<uint32_t>(v & 0xFFFF, 1); }

Profile ProfileOf(const uint32_t *r, uint32_t mode) {
  Profile p;
  p.unit = kUnitBase / ((r[kMagnification] & 0xFFFF) + 1.0);
  p.fl = Units(r[kStartSpeed]) * p.unit;
  p.fh = std::max(Units(r[kMaxSpeed]) * p.unit, p.fl);
  const bool s = (mode & kModeSCurve) != 0;
  p.up = {p.unit * kRateConstant / ((r[kAccelRate] & 0xFFFF) + 1.0), s, (r[kSAccelSection] & 0xFFFF) * p.unit};
  p.down = {p.unit * kRateConstant / ((r[kDecelRate] & 0xFFFF) + 1.0), s, (r[kSDecelSection] & 0xFFFF) * p.unit};
  return p;
}

Profile RunningProfile(const ChipRegisters &regs) { return ProfileOf(&regs[kRunFirst], regs[kRunFirst + kMode]); }

}  // namespace

double AxisMotion::NextEventTime() const {
  if (!running_ || running_->follows_handwheel) return kEndless;
  double next = End();
  for (const PositionTrigger &trigger : triggers_) next = std::min(next, TimeOfTrigger(trigger));
  return next;
}

void AxisMotion::ClearRunCounts() {
  underruns_ = 0;
  overruns_ = 0;
  moves_started_ = 0;
  ran_since_clear_ = false;
}

void AxisMotion::PositionWritten(int64_t value) {
  if (running_) running_->origin += value - position_;
  position_ = value;
}

double AxisMotion::PathAt(double t) const { return running_->path_done + running_->plan.DistanceAt(t - running_->t0); }

double AxisMotion::PathSpeedAt(double t) const { return running_->plan.SpeedAt(t - running_->t0); }

namespace {

// Axis pulses out after `path` pulses of the move's path. The path's own
// axis counts whole pulses; the other axis of a line is interpolated
// against that count and rounded, so it stays within half a pulse of the
// straight line.
double AxisPulses(double scale, double path) {
  const double long_count = std::floor(path + kPulseSlack);
  return scale < 1.0 ? std::floor(scale * long_count + 0.5) : long_count;
}

// Path pulses after which the axis has put out `pulses` (the inverse).
double PathForPulses(double scale, double pulses) {
  return scale < 1.0 ? std::ceil((pulses - 0.5) / scale - kPulseSlack) : pulses;
}

}  // namespace

void AxisMotion::SetPositionAt(double t) {
  if (!running_ || running_->follows_handwheel) return;
  const Running &r = *running_;
  double pulses = AxisPulses(r.scale, PathAt(t));
  if (!r.endless) pulses = std::min(pulses, static_cast<double>(std::llabs(r.exact_distance)));
  const int64_t now = r.origin + r.direction * static_cast<int64_t>(pulses);
  output_pulses_ += now - position_;
  position_ = now;
  // No pulses while the move waits for INP.
  speed_ = t < r.t0 + r.plan.Duration() ? r.scale * PathSpeedAt(t) : 0.0;
}

double AxisMotion::TimeOfTrigger(const PositionTrigger &trigger, double horizon) const {
  const Running &r = *running_;
  if (r.follows_handwheel || !(r.scale > 0.0)) return kEndless;
  if (trigger.direction != 0 && trigger.direction != r.direction) return kEndless;
  if ((r.order.mode & trigger.mode_mask) != trigger.mode_mask) return kEndless;
  if (trigger.home_search_only) {
    const uint32_t op = r.order.mode & kOpCodeMask;
    if (op != kOpHomePlus && op != kOpHomeMinus) return kEndless;
  }
  if (std::find(r.fired.begin(), r.fired.end(), trigger.id) != r.fired.end()) return kEndless;
  // Pulses still to go from the present position to the trigger.
  const double to_go = r.direction * (trigger.position - static_cast<double>(position_));
  if (to_go < 0.0) return trigger.zone ? last_ : kEndless;
  if (to_go == 0.0) return last_;
  const double ahead = r.direction * (trigger.position - static_cast<double>(r.origin));
  const double need = PathForPulses(r.scale, ahead) - r.path_done;
  // Most accesses see the trigger still ahead: a closed-form look at the
  // horizon spares the search for the exact time.
  if (!std::isinf(horizon) && r.plan.DistanceAt(horizon - r.t0) < need) return kEndless;
  const double tau = r.plan.TimeAtDistance(need);
  return std::isinf(tau) ? kEndless : std::max(r.t0 + tau, last_);
}

void AxisMotion::Begin(const MoveOrder &order, double t, ChipRegisters &regs) {
  for (size_t i = 0; i < kPreCount; ++i) regs[kRunFirst + i] = order.pre[i];
  regs[kRunFirst + kMode] = order.mode;
  Profile p = ProfileOf(order.pre.data(), order.mode);
  double v0 = p.fl;
  switch (order.command) {
    case kStartAtStartSpeed: p.fh = p.fl; break;
    case kStartAtMaxSpeed: v0 = p.fl = p.fh; break;
    case kStartDecelerating: v0 = p.fh; break;
    default: break;
  }
  Running r;
  r.order = order;
  r.t0 = t;
  r.origin = position_;
  const auto distance = static_cast<int32_t>(order.pre[kDistance]);
  const uint32_t op = order.mode & kOpCodeMask;
  const double ramp_down = (order.mode & kModeRampDownPoint) != 0 ? static_cast<double>(order.pre[kRampDownPoint]) : -1.0;
  if (op == kOpContinuousPlus || op == kOpContinuousMinus || op == kOpHomePlus || op == kOpHomeMinus) {
    r.endless = true;
    r.direction = (op & kOpDirectionMinus) != 0 ? -1 : +1;
    r.plan = EndlessPlan(v0, p.fh, p.up, p.down);
  } else if (op == kOpHandwheel) {
    r.endless = true;
    r.follows_handwheel = true;
  } else {
    // A positioning move, or one axis of a line: the speed curve runs over
    // the long-axis distance and this axis puts out its share of it.
    const double n = std::fabs(static_cast<double>(distance));
    double path = n;
    if (op == kOpLinear2) path = std::max(static_cast<double>(order.pre[kLongAxis]), n);
    r.direction = distance < 0 ? -1 : +1;
    r.exact_distance = distance;
    r.path_length = path;
    r.scale = path > 0.0 ? n / path : 0.0;
    r.plan = PositioningPlan(path, v0, p.fl, p.fh, p.up, p.down, ramp_down);
  }
  if ((order.mode & kModeInPositionCheck) != 0 && !r.follows_handwheel) r.settle = inp_wait_;
  running_ = std::move(r);
  ++moves_started_;
  ran_since_clear_ = true;
  speed_ = running_->scale * PathSpeedAt(t);
}

void AxisMotion::Start(const MoveOrder &order, double now, ChipRegisters &regs) {
  if (running_ || armed_) {
    // One move waits in the pre-buffer; a start while it is full is not
    // taken (a correct program waits for the pre-buffer to free).
    if (queued_)
      ++overruns_;
    else
      queued_ = order;
    return;
  }
  if (ran_since_clear_) ++underruns_;
  if ((order.mode & kModeSyncMask) != 0) {
    armed_ = order;
    return;
  }
  Begin(order, now, regs);
}

void AxisMotion::SimultaneousStart(double now, ChipRegisters &regs) {
  if (!armed_ || running_) return;
  const MoveOrder order = *armed_;
  armed_.reset();
  Begin(order, now, regs);
}

void AxisMotion::Finish(double t, ChipRegisters &regs, AxisEvents &events) {
  Running &r = *running_;
  if (!r.endless && r.exact_end) {
    const int64_t end = r.origin + r.exact_distance;
    output_pulses_ += end - position_;
    position_ = end;
  } else {
    SetPositionAt(t);
  }
  running_.reset();
  speed_ = 0.0;
  ++events.moves_ended;
  if (queued_) {
    const MoveOrder next = *queued_;
    queued_.reset();
    Begin(next, t, regs);
  }
}

void AxisMotion::AdvanceTo(double now, ChipRegisters &regs, AxisEvents &events) {
  events.moves_ended += ended_by_stop_;
  ended_by_stop_ = 0;
  now = std::max(now, last_);
  while (running_ && !running_->follows_handwheel) {
    const double end = End();
    const double horizon = std::min(now, end);
    const PositionTrigger *first = nullptr;
    double first_time = kEndless;
    for (const PositionTrigger &trigger : triggers_) {
      const double t = TimeOfTrigger(trigger, horizon);
      if (t <= horizon && t < first_time) {
        first_time = t;
        first = &trigger;
      }
    }
    if (first != nullptr) {
      const PositionTrigger trigger = *first;
      SetPositionAt(first_time);
      last_ = first_time;
      running_->fired.push_back(trigger.id);
      events.triggers.push_back(trigger.id);
      PositionTrigger::Action action = trigger.action;
      if (action == PositionTrigger::Action::kStopAsStarted)
        action = running_->order.command == kStartAccelerating ? PositionTrigger::Action::kDeceleratingStop
                                                                : PositionTrigger::Action::kImmediateStop;
      if (action == PositionTrigger::Action::kImmediateStop) {
        StopImmediately(first_time, regs);
      } else if (action == PositionTrigger::Action::kDeceleratingStop) {
        StopDecelerating(first_time, regs);
      } else if (action == PositionTrigger::Action::kSlowDown || action == PositionTrigger::Action::kResume) {
        ReplanTowards(first_time, regs, action == PositionTrigger::Action::kSlowDown);
      }
      events.moves_ended += ended_by_stop_;
      ended_by_stop_ = 0;
      continue;
    }
    if (end <= now) {
      last_ = end;
      Finish(end, regs, events);
      continue;
    }
    SetPositionAt(now);
    break;
  }
  last_ = now;
}

void AxisMotion::StopImmediately(double now, ChipRegisters &) {
  queued_.reset();
  if (armed_) {
    armed_.reset();
    ++ended_by_stop_;
  }
  if (!running_) return;
  SetPositionAt(now);
  running_.reset();
  speed_ = 0.0;
  ++ended_by_stop_;
}

void AxisMotion::Replan(double t, MotionPlan plan, double path_length) {
  Running &r = *running_;
  r.path_done = PathAt(t);
  r.t0 = t;
  r.plan = std::move(plan);
  r.path_length = path_length;
}

void AxisMotion::StopDecelerating(double now, ChipRegisters &regs) {
  queued_.reset();
  if (armed_) {
    armed_.reset();
    ++ended_by_stop_;
  }
  if (!running_) return;
  if (running_->follows_handwheel) {
    StopImmediately(now, regs);
    return;
  }
  const Profile p = RunningProfile(regs);
  const double done = PathAt(now);
  const double left = running_->endless ? kEndless : running_->path_length - done;
  MotionPlan plan = StoppingPlan(PathSpeedAt(now), p.fl, p.down, left);
  const double length = done + plan.TotalDistance();
  Replan(now, std::move(plan), length);
  running_->exact_end = false;
  running_->endless = false;
  running_->stopping = true;
  running_->exact_distance = running_->direction * static_cast<int64_t>(std::ceil(running_->scale * length));
}

void AxisMotion::ChangeRunningSpeed(double now, ChipRegisters &regs) { ReplanTowards(now, regs, false); }

void AxisMotion::ReplanTowards(double now, ChipRegisters &regs, bool slow) {
  if (!running_ || running_->follows_handwheel || running_->stopping) return;
  if (now >= running_->t0 + running_->plan.Duration()) return;  // the pulses are out
  Profile p = RunningProfile(regs);
  if (slow) p.fh = p.fl;
  const double v = PathSpeedAt(now);
  if (running_->endless) {
    Replan(now, EndlessPlan(v, p.fh, p.up, p.down), kEndless);
    return;
  }
  const double ramp_down = (regs[kRunFirst + kMode] & kModeRampDownPoint) != 0
                               ? static_cast<double>(regs[kRunFirst + kRampDownPoint]) : -1.0;
  const double done = PathAt(now);
  const double left = running_->path_length - done;
  Replan(now, PositioningPlan(left, v, p.fl, p.fh, p.up, p.down, ramp_down), running_->path_length);
}

void AxisMotion::ChangeDistance(double now, ChipRegisters &regs) {
  if (!running_ || running_->endless || running_->stopping) return;
  if ((running_->order.mode & kOpCodeMask) == kOpLinear2) return;
  const auto distance = static_cast<int32_t>(regs[kRunFirst + kDistance]);
  const double n = std::fabs(static_cast<double>(distance));
  const Profile p = RunningProfile(regs);
  const double ramp_down = (regs[kRunFirst + kMode] & kModeRampDownPoint) != 0
                               ? static_cast<double>(regs[kRunFirst + kRampDownPoint]) : -1.0;
  const double done = PathAt(now);
  running_->exact_distance = running_->direction * static_cast<int64_t>(n);
  if (n <= done) {
    running_->exact_end = false;
    Replan(now, MotionPlan{}, done);
    return;
  }
  Replan(now, PositioningPlan(n - done, PathSpeedAt(now), p.fl, p.fh, p.up, p.down, ramp_down), n);
}

void AxisMotion::FeedHandwheel(int32_t pulses, ChipRegisters &) {
  if (!running_ || !running_->follows_handwheel) return;
  position_ += pulses;
  running_->origin += pulses;
  output_pulses_ += pulses;
}

}  // namespace kpx::sim
