#include "sim/clock.h"

#include <cmath>

namespace kpx::sim {

void SimClock::Set(ClockMode mode, double poll_step) {
  mode_ = mode;
  poll_step_ = std::isfinite(poll_step) && poll_step >= 0.0 ? poll_step : kDefaultPollStep;
  virtual_now_ = 0.0;
  epoch_ = std::chrono::steady_clock::now();
}

double SimClock::Now() const {
  if (Virtual()) return virtual_now_;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
}

void SimClock::Advance(double seconds) {
  if (Virtual() && std::isfinite(seconds) && seconds > 0.0) virtual_now_ += seconds;
}

void SimClock::AdvanceTo(double t) {
  if (Virtual() && t > virtual_now_ && std::isfinite(t)) virtual_now_ = t;
}

std::chrono::steady_clock::time_point SimClock::WallTimeAt(double t) const {
  if (!std::isfinite(t)) return std::chrono::steady_clock::time_point::max();
  return epoch_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(t));
}

}  // namespace kpx::sim
