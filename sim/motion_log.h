// The motion log: at a fixed interval of simulated time, the logical
// position, encoder count and present speed of every chip axis of every
// card. Samples are taken lazily: whenever the cards are looked at, every
// sampling instant that has passed is filled in from the motion as it was
// then (motion between two accesses is fully determined by the clock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kpx4160_sim.h"

namespace kpx::sim {

// Samples the log keeps at most (32 MiB): a short interval over a long run
// would otherwise take all memory. At the cap the log stops recording and
// says so (Full()); the samples taken stay.
inline constexpr size_t kMotionLogCapacity = size_t{1} << 20;

class MotionLog {
 public:
  // Starts a new log (earlier samples are dropped) with its first sample at now.
  bool Start(double interval, double now);
  void Stop() { active_ = false; }
  bool Active() const { return active_; }
  // True when the log stopped because it reached kMotionLogCapacity.
  bool Full() const { return full_; }
  // The next sampling instant, while the log runs.
  double NextSampleTime() const { return next_; }
  // Records one sample; at the cap the log stops instead.
  void Add(const kpx4160_sim_sample &sample);
  void SampleTaken() { next_ = start_ + interval_ * static_cast<double>(++taken_); }
  const std::vector<kpx4160_sim_sample> &Samples() const { return samples_; }
  void Clear();
  // CSV with a header line: time,card,chip_axis,position,encoder,speed.
  bool WriteCsv(const std::string &path) const;

 private:
  bool active_ = false;
  bool full_ = false;
  double interval_ = 0.0;
  double start_ = 0.0;
  double next_ = 0.0;
  uint64_t taken_ = 0;
  std::vector<kpx4160_sim_sample> samples_;
};

}  // namespace kpx::sim
