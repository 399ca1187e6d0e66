#include "support/sim_motion_fixture.h"

namespace kpx::test {

constexpr double kMotionPollStep = 50e-6;

void SimMotionTest::SetUp() {
  SimTest::SetUp();
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kMotionPollStep);
}

double SimMotionTest::WaitDone(std::initializer_list<uint16_t> axes, double max_seconds) {
  const double give_up = Now() + max_seconds;
  for (;;) {
    bool all = true;
    for (uint16_t a : axes) all = all && k4160_check_done(a) == 1;
    if (all) return Now();
    if (Now() > give_up) {
      ADD_FAILURE() << "axes still moving after " << max_seconds << " s";
      return Now();
    }
  }
}

void SimMotionTest::WaitFor(const std::function<bool()> &pred, double max_seconds) {
  const double give_up = Now() + max_seconds;
  while (!pred()) {
    if (Now() > give_up) {
      ADD_FAILURE() << "condition not reached after " << max_seconds << " s";
      return;
    }
    k4160_axis_status(0);  // a status poll moves virtual time on
  }
}

kpx4160_sim_axis_state SimMotionTest::State(unsigned card, unsigned chip_axis) {
  kpx4160_sim_axis_state s{};
  EXPECT_EQ(kpx4160_sim_get_axis_state(card, chip_axis, &s), 0);
  return s;
}

}  // namespace kpx::test
