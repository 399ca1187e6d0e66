#include "sim/motion_log.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace kpx::sim {

bool MotionLog::Start(double interval, double now) {
  if (!std::isfinite(interval) || interval <= 0.0) return false;
  samples_.clear();
  active_ = true;
  full_ = false;
  interval_ = interval;
  start_ = now;
  next_ = now;
  taken_ = 0;
  return true;
}

void MotionLog::Add(const kpx4160_sim_sample &sample) {
  if (!active_) return;
  if (samples_.size() >= kMotionLogCapacity) {
    active_ = false;
    full_ = true;
    return;
  }
  samples_.push_back(sample);
}

void MotionLog::Clear() {
  active_ = false;
  full_ = false;
  samples_.clear();
  taken_ = 0;
}

bool MotionLog::WriteCsv(const std::string &path) const {
  std::FILE *f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  bool ok = std::fprintf(f, "time,card,chip_axis,position,encoder,speed\n") > 0;
  for (const kpx4160_sim_sample &s : samples_)
    ok = ok && std::fprintf(f, "%.6f,%" PRIu32 ",%" PRIu32 ",%" PRId32 ",%" PRId32 ",%.3f\n", s.time, s.card, s.chip_axis,
                            s.position, s.encoder, s.speed) > 0;
  return std::fclose(f) == 0 && ok;
}

}  // namespace kpx::sim
