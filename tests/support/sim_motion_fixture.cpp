#include "support/sim_motion_fixture.h"

namespace kpx::test {

void SimMotionTest::SetUp() {
  SimTest::SetUp();
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kPollStep);
}

double SimMotionTest::WaitDone(std::initializer_list<uint16_t> axes, double max_seconds) {
  const double give_up = Now() + max_seconds;
  for (;;) {
    bool all = true;
    for (uint16_t a : axes) all = all && k4160_check_done(a) == 1;
    if (all || Now() > give_up) break;
  }
  EXPECT_LE(Now(), give_up) << "axes still moving after " << max_seconds << " s";
  return Now();
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

int32_t SimMotionTest::Run(uint16_t axis, const std::function<void()> &start, double max_seconds) {
  start();
  WaitDone({axis}, max_seconds);
  return k4160_get_position(axis);
}

kpx4160_sim_axis_state SimMotionTest::State(unsigned card, unsigned chip_axis) {
  kpx4160_sim_axis_state s{};
  EXPECT_EQ(kpx4160_sim_get_axis_state(card, chip_axis, &s), 0);
  return s;
}

}  // namespace kpx::test
