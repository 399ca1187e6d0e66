// Fixture of the motion tests: simulated cards, and every AxisProfile record
// and the vector profile back to their load-time zero state.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "motion/axis_profile.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {

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
  static motion::AxisProfile &Record(uint16_t axis) { return *motion::ProfileFor(axis); }
};

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline RegisterOp PclRead16(uint32_t card, uint32_t chip_axis, uint32_t code, uint32_t value) {
  return {Op::kPclRead, card, chip_axis, code, value, 16};
}

}  // namespace kpx::test
