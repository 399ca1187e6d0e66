// What one chip axis does in time: the move it runs, the one waiting in its
// pre-buffer, and the counters that follow the pulses it puts out. The
// state is computed from the clock whenever the card is looked at
// (AdvanceTo), never by a thread ticking.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/motion_plan.h"

namespace kpx::sim {

using ChipRegisters = std::array<uint32_t, 0x40>;  // by write code - 0x80

// Start commands.
inline constexpr uint16_t kStartAtStartSpeed = 0x50;  // constant speed at the start speed, no ramp
inline constexpr uint16_t kStartAtMaxSpeed = 0x51;    // constant speed at the running speed
inline constexpr uint16_t kStartDecelerating = 0x52;  // from the running speed, ramp down only
inline constexpr uint16_t kStartAccelerating = 0x53;  // ramp up, run, ramp down

// Operation codes (bits 0-6 of the operation-mode word) the model runs.
inline constexpr uint32_t kOpCodeMask = 0x7F;
inline constexpr uint32_t kOpContinuousPlus = 0x00;
inline constexpr uint32_t kOpContinuousMinus = 0x08;
inline constexpr uint32_t kOpHandwheel = 0x01;
inline constexpr uint32_t kOpHomePlus = 0x10;
inline constexpr uint32_t kOpHomeMinus = 0x18;
inline constexpr uint32_t kOpPositioning = 0x41;
inline constexpr uint32_t kOpLinear2 = 0x63;
inline constexpr uint32_t kOpDirectionMinus = 1u << 3;  // bit 3 of a continuous or home code: negative
inline constexpr uint32_t kModeInPositionCheck = 1u << 9;  // the move ends when INP comes
inline constexpr uint32_t kModeSCurve = 1u << 10;        // S-shaped ramps
inline constexpr uint32_t kModeRampDownPoint = 1u << 13;  // ramp down at the loaded ramp-down point
inline constexpr uint32_t kModeSyncMask = 0x3u << 18;      // start condition: non-zero waits for the simultaneous start

// What a start takes over from the pre-registers (write codes 0x80..0x8A)
// when it is issued; the pre-registers may be loaded with the next move
// while this one waits in the pre-buffer.
struct MoveOrder {
  uint16_t command = kStartAccelerating;
  uint32_t mode = 0;
  std::array<uint32_t, 11> pre{};  // 0x80 .. 0x8A
};

// A position at which something happens to a moving axis (a limit switch,
// the home switch, a comparator): reached when the logical position gets
// to it moving in the direction given. A zone trigger is also reached at
// once by a move that starts on or beyond it (an axis standing on a limit
// switch cannot move further into it); any other trigger behind the axis
// is never reached by that move.
struct PositionTrigger {
  enum class Action {
    kImmediateStop,
    kDeceleratingStop,
    kStopAsStarted,  // immediate after a constant-speed start, decelerating after an accelerating one
    kNotify,
    kSlowDown,  // on to the start speed (the SD input)
    kResume,    // back to the running speed
  };
  double position = 0.0;
  int direction = +1;  // +1: reached moving up, -1: moving down, 0: either
  Action action = Action::kImmediateStop;
  bool zone = false;
  bool home_search_only = false;  // only a home search reacts to it
  uint32_t mode_mask = 0;         // only moves whose mode word has all these bits react to it
  uint32_t id = 0;  // passed back to the owner
};

// What happened while the axis was advanced.
struct AxisEvents {
  uint32_t moves_ended = 0;
  std::vector<uint32_t> triggers;  // ids of the triggers reached, in order
};

class AxisMotion {
 public:
  // Follows the clock up to now: ends moves (and starts the queued one at
  // the very end of the running one), fires triggers.
  void AdvanceTo(double now, ChipRegisters &regs, AxisEvents &events);
  // A start command at now (the axis has been advanced to now). A move
  // started at rest whose mode word asks for a synchronised start waits
  // for SimultaneousStart.
  void Start(const MoveOrder &order, double now, ChipRegisters &regs);
  // The card's simultaneous-start signal: the waiting move, if any, starts.
  void SimultaneousStart(double now, ChipRegisters &regs);
  // Stops: immediate, decelerating with the rate registers in force.
  // Both drop the move waiting in the pre-buffer.
  void StopImmediately(double now, ChipRegisters &regs);
  void StopDecelerating(double now, ChipRegisters &regs);
  // A new running speed (register 0x92) or distance (0x90) for the move in
  // progress.
  void ChangeRunningSpeed(double now, ChipRegisters &regs);
  void ChangeDistance(double now, ChipRegisters &regs);
  // Pulses fed to an axis in handwheel operation: it follows them at once.
  void FeedHandwheel(int32_t pulses, ChipRegisters &regs);
  // The logical position counter was written.
  void PositionWritten(int64_t value);

  // Simulated time starts again from 0 (the axis is at rest).
  void RestartClock() { last_ = 0.0; }
  bool FollowsHandwheel() const { return running_ && running_->follows_handwheel; }

  void SetTriggers(std::vector<PositionTrigger> triggers) { triggers_ = std::move(triggers); }
  // How long a move with the in-position check waits for INP after its
  // pulses (kEndless: INP never comes); taken at each start.
  void SetInPositionWait(double seconds) { inp_wait_ = seconds; }
  // The running move has put out all its pulses and waits for INP.
  bool WaitingForInPosition() const { return running_ && last_ >= running_->t0 + running_->plan.Duration(); }

  // Simulated time of the next thing the running move does by itself:
  // reach a trigger or end (kEndless).
  double NextEventTime() const;

  bool Busy() const { return running_.has_value(); }
  bool WaitingForStart() const { return armed_.has_value(); }
  bool Pending() const { return queued_.has_value(); }
  int64_t Position() const { return position_; }
  double Speed() const { return speed_; }          // pulses/s, >= 0
  int Direction() const { return running_ ? running_->direction : 0; }
  // Pulses put out since reset, signed (encoders follow this).
  int64_t OutputPulses() const { return output_pulses_; }

  // Pre-buffer bookkeeping for programs that chain moves.
  uint32_t Underruns() const { return underruns_; }
  uint32_t Overruns() const { return overruns_; }
  uint32_t MovesStarted() const { return moves_started_; }
  void ClearRunCounts();

 private:
  struct Running {
    MoveOrder order;
    MotionPlan plan;
    double t0 = 0.0;         // simulated time at which the plan starts
    double path_done = 0.0;  // path pulses covered before the plan (replanning)
    double path_length = kEndless;  // whole path of the move, pulses
    double scale = 1.0;      // axis pulses per path pulse (a line's short axis < 1)
    double settle = 0.0;     // wait for INP after the pulses
    int direction = +1;
    int64_t origin = 0;      // logical position at the start
    int64_t exact_distance = 0;  // axis pulses at the end of a positioning move
    bool endless = false;
    bool exact_end = true;   // ends on exact_distance (not cut short by a stop)
    bool stopping = false;   // a decelerating stop is under way
    bool follows_handwheel = false;
    std::vector<uint32_t> fired;  // triggers already reached by this move
  };

  void Begin(const MoveOrder &order, double t, ChipRegisters &regs);
  void Finish(double t, ChipRegisters &regs, AxisEvents &events);
  void SetPositionAt(double t);
  double PathAt(double t) const;
  double PathSpeedAt(double t) const;
  // Time at which the running move reaches the trigger, or kEndless (also
  // when it is reached only after `horizon`).
  double TimeOfTrigger(const PositionTrigger &trigger, double horizon = kEndless) const;
  void Replan(double t, MotionPlan plan, double path_length);
  // Replans the running move towards the running speed fh.
  void ReplanTowards(double t, ChipRegisters &regs, bool slow);
  double End() const { return running_->t0 + running_->plan.Duration() + running_->settle; }

  std::optional<Running> running_;
  std::optional<MoveOrder> queued_;
  std::optional<MoveOrder> armed_;  // started, waiting for the simultaneous start
  std::vector<PositionTrigger> triggers_;
  double last_ = 0.0;
  double inp_wait_ = 0.0;
  int64_t position_ = 0;
  double speed_ = 0.0;
  int64_t output_pulses_ = 0;
  uint32_t underruns_ = 0;
  uint32_t overruns_ = 0;
  uint32_t moves_started_ = 0;
  uint32_t ended_by_stop_ = 0;  // stops since the last AdvanceTo
  bool ran_since_clear_ = false;
};

}  // namespace kpx::sim
