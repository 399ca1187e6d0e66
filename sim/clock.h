// The simulated card's sense of time. In real time, simulated time is the
// steady clock since the clock was set. In virtual time nothing passes by
// itself: the library's pauses advance it by their length, and every status
// poll by a small fixed step, so a program that waits for a move runs the
// same way every time and takes milliseconds of wall time for seconds of
// motion.
#pragma once

#include <chrono>

namespace kpx::sim {

enum class ClockMode { kReal, kVirtual };

// Default step of a status poll in virtual time.
inline constexpr double kDefaultPollStep = 10e-6;

class SimClock {
 public:
  void Set(ClockMode mode, double poll_step);
  ClockMode Mode() const { return mode_; }
  bool Virtual() const { return mode_ == ClockMode::kVirtual; }
  double PollStep() const { return poll_step_; }
  // Simulated seconds since the clock was set.
  double Now() const;
  // Virtual time only: time moves on (a pause, a poll, or the simulator's
  // own advance). Ignored in real time.
  void Advance(double seconds);
  void Poll() { Advance(poll_step_); }
  // Virtual time only: time moves on to t (never back).
  void AdvanceTo(double t);
  // The steady-clock instant at which simulated time reaches t (real time).
  std::chrono::steady_clock::time_point WallTimeAt(double t) const;

 private:
  ClockMode mode_ = ClockMode::kReal;
  double poll_step_ = kDefaultPollStep;
  double virtual_now_ = 0.0;
  std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

}  // namespace kpx::sim
