// Fixture of the motion tests: simulated cards, every AxisProfile record back
// to its load-time zero state, and a runner of {call, register traffic} rows.
#pragma once

#include <limits>

#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {

using Ops = std::vector<RegisterOp>;
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

// One call (with any register presets it needs) and the exact traffic it must make.
struct TrafficRow {
  void (*call)();
  Ops ops;
};

class MotionTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    motion::ClearAllProfiles();
  }
  void TearDown() override {
    SimTest::TearDown();
    motion::ClearAllProfiles();
  }
  // Rows run in order: a row may rely on the state the rows before it left.
  static void ExpectTraffic(const std::vector<TrafficRow> &rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
      kpx4160_sim_trace_clear();
      rows[i].call();
      EXPECT_EQ(DecodedTrace(), rows[i].ops) << "row " << i;
    }
  }
};

}  // namespace kpx::test
