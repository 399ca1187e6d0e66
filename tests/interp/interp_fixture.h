// The interpolation tests' fixture: two open cards, no profile records left
// from an earlier test, and a virtual clock whose coarse poll step keeps the
// seconds of simulated motion an arc's chord feeder waits through quick.
#pragma once

#include "io/field_harness.h"
#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {

class InterpTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 200e-6);
    motion::ClearAllProfiles();  // profile records outlive a test
    OpenCards(2);
  }
};

}  // namespace kpx::test
