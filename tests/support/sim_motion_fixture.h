// Helpers for tests of the simulated card's motion: wait for axes in
// virtual time and read the clock.
#pragma once

#include <functional>

#include "support/sim_fixture.h"

namespace kpx::test {

// Virtual time a status poll is worth in these tests: fine enough for every
// duration checked, coarse enough to keep long moves quick.
constexpr double kPollStep = 50e-6;

class SimMotionTest : public SimTest {
 protected:
  void SetUp() override;  // virtual time, kPollStep a poll
  // Polls the done flag of every axis given until all are done; returns the
  // simulated time at which the last one was seen done (fails the test
  // after max_seconds of simulated time).
  double WaitDone(std::initializer_list<uint16_t> axes, double max_seconds = 60.0);
  // Polls until pred holds (fails after max_seconds of simulated time).
  void WaitFor(const std::function<bool()> &pred, double max_seconds = 60.0);
  // Starts a move, waits until it ends and returns where the axis is.
  int32_t Run(uint16_t axis, const std::function<void()> &start, double max_seconds = 60.0);
  static double Now() { return kpx4160_sim_time(); }
  static kpx4160_sim_axis_state State(unsigned card, unsigned chip_axis);
};

}  // namespace kpx::test
