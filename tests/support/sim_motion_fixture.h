// Helpers for tests of the simulated card's motion: wait for axes in
// virtual time and read the clock.
#pragma once

#include <functional>

#include "support/sim_fixture.h"

namespace kpx::test {

class SimMotionTest : public SimTest {
 protected:
  // Virtual time with a status poll worth 50 microseconds: fine enough for
  // every duration checked here, coarse enough to keep long moves quick.
  void SetUp() override;
  // Polls the done flag of every axis given until all are done; returns the
  // simulated time at which the last one was seen done (fails the test
  // after max_seconds of simulated time).
  double WaitDone(std::initializer_list<uint16_t> axes, double max_seconds = 60.0);
  // Polls until pred holds (fails after max_seconds of simulated time).
  void WaitFor(const std::function<bool()> &pred, double max_seconds = 60.0);
  static double Now() { return kpx4160_sim_time(); }
  static kpx4160_sim_axis_state State(unsigned card, unsigned chip_axis);
};

// The profile the library loaded into a chip axis's pre-registers: speeds
// and S sections in speed units, rate values as written.
struct LoadedProfile {
  uint32_t fl, fh, ur, dr, su;
  double unit;  // pulses/s per speed unit
  double Span() const { return static_cast<double>(fh) - fl; }
  // Time of a symmetric point move of n pulses (both ramps at ur, trapezoidal or S).
  double SymmetricMoveTime(double n, bool s_curve = false) const;
  // Distance a trapezoidal decelerating stop from fh down to fl covers.
  double StopDistance() const;
};
LoadedProfile ReadLoadedProfile(unsigned card, unsigned chip_axis);

}  // namespace kpx::test
