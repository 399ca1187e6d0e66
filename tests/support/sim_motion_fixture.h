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

}  // namespace kpx::test
