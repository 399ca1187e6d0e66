#include "support/sim_motion_fixture.h"

#include "support/motion_laws.h"

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

LoadedProfile ReadLoadedProfile(unsigned card, unsigned chip_axis) {
  auto r = [&](unsigned code) { return kpx4160_sim_get_pcl_register(card, chip_axis, code) & 0xFFFF; };
  return {r(0x81), r(0x82), r(0x83), r(0x84), r(0x89), SpeedUnit(r(0x85))};
}

double LoadedProfile::SymmetricMoveTime(double n, bool s_curve) const {
  const double t = s_curve ? SRampTime(ur, Span(), su) : TrapezoidRampTime(ur, Span());
  return PointMoveTime(n, fl * unit, fh * unit, t, t);
}

double LoadedProfile::StopDistance() const { return (fl + fh) * unit / 2.0 * TrapezoidRampTime(dr, Span()); }

kpx4160_sim_axis_state SimMotionTest::State(unsigned card, unsigned chip_axis) {
  kpx4160_sim_axis_state s{};
  EXPECT_EQ(kpx4160_sim_get_axis_state(card, chip_axis, &s), 0);
  return s;
}

}  // namespace kpx::test
