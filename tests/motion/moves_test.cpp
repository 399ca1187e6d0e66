// Point and continuous moves: the registers each writes, in order, the
// operation-mode word it derives from the running one, absolute targets and
// the ramp-down point an asymmetric move needs to stop on its target.
#include <gtest/gtest.h>

#include <tuple>

#include "motion/ramp_down.h"
#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

class Moves : public MotionTest {};

// Axis 1 is card 0, chip axis 1: mode read 0xD7, position read 0xE3.
void Mode(uint32_t mode) { kpx4160_sim_set_pcl_register(0, 1, 0xD7, mode); }
RegisterOp W16(uint32_t code, uint32_t v) { return PclWrite16(0, 1, code, v); }
RegisterOp W32(uint32_t code, uint32_t v) { return PclWrite32(0, 1, code, v); }
RegisterOp R(uint32_t code, uint32_t v) { return PclRead(0, 1, code, v); }
RegisterOp Cmd(uint32_t code) { return Command(0, 1, code); }

TEST_F(Moves, RegisterTrafficOfEveryMove) {
  OpenCards(1);
  // start 1000, max 2000, accel rate 818 (section 100), decel rate 1842 (section 300)
  k4160_set_s_profile(1, 1000, 2000, 0.1, 0.3, 100, 300);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 1200);        // command position
  kpx4160_sim_set_pld_register(0, 0x10, 0x0FFFFFF6);    // encoder count -10 (28 bits)
  // Every mode word from all ones, then from zero: the bits each move keeps and sets.
  // Symmetric moves load the acceleration's rate (and section) as the deceleration's.
  ExpectTraffic({
      {[] { Mode(~0u); k4160_t_pmove(1, 1000, 0); },
       {W32(0x80, 1000), W32(0x86, 0), W16(0x84, 818), R(0xD7, ~0u), W32(0x87, 0xFBFF5BC1), Cmd(0x53)}},
      {[] { Mode(0); k4160_t_pmove(1, 5000, 1); },  // absolute: the difference to 1200
       {R(0xE3, 1200), W32(0x80, 3800), W32(0x86, 0), W16(0x84, 818), R(0xD7, 0), W32(0x87, 0x41), Cmd(0x53)}},
      {[] { Mode(~0u); k4160_s_pmove(1, 5000, 1); },
       {W32(0x86, 0), W16(0x84, 818), W16(0x8A, 100), R(0xE3, 1200), W32(0x80, 3800), R(0xD7, ~0u),
        W32(0x87, 0xFBFFDFC1), Cmd(0x53)}},
      {[] { Mode(0); k4160_s_pmove(1, 100, 0); },
       {W32(0x86, 0), W16(0x84, 818), W16(0x8A, 100), W32(0x80, 100), R(0xD7, 0), W32(0x87, 0x441), Cmd(0x53)}},
      // Asymmetric: deceleration ramp (1000+2000)/2 pulses/s x 1843 x 2000 / 19660800 s = 281 pulses.
      {[] { Mode(0); k4160_ex_t_pmove(1, 10000, 0); },
       {W32(0x80, 10000), W32(0x86, 281), R(0xD7, 0), W32(0x87, 0x2041), Cmd(0x53)}},
      {[] { Mode(~0u); k4160_ex_t_pmove(1, INT32_MIN, 1); },  // the difference wraps in 32 bits
       {R(0xE3, 1200), W32(0x80, 0x7FFFFB50), W32(0x86, 281), R(0xD7, ~0u), W32(0x87, 0xFBFFFBC1), Cmd(0x53)}},
      // Ramps longer than the move share it by rate + 1: 200 x 1843 / 2662.
      {[] { Mode(0); k4160_ex_t_pmove(1, 1000, 1); },
       {R(0xE3, 1200), W32(0x80, static_cast<uint32_t>(-200)), W32(0x86, 138), R(0xD7, 0), W32(0x87, 0x2041),
        Cmd(0x53)}},
      // S ramp: 1500 pulses/s x 1843 x (1000 + 2 x 300) / 9830400 s = 449 pulses.
      {[] { Mode(~0u); k4160_ex_s_pmove(1, 10000, 0); },
       {W32(0x80, 10000), W32(0x86, 449), R(0xD7, ~0u), W32(0x87, 0xFBFFFFC1), Cmd(0x53)}},
      {[] { Mode(0); k4160_ex_s_pmove(1, 10000, 0); },
       {W32(0x80, 10000), W32(0x86, 449), R(0xD7, 0), W32(0x87, 0x2441), Cmd(0x53)}},
      // Continuous moves write the running mode register 0x97 itself.
      {[] { Mode(~0u); k4160_t_vmove(1, 0); }, {R(0xD7, ~0u), W32(0x97, 0xFBFFDB88), Cmd(0x53)}},
      {[] { Mode(~0u); k4160_s_vmove(1, 1); }, {R(0xD7, ~0u), W32(0x97, 0xFBFFDF80), Cmd(0x53)}},
      {[] { Mode(0x200); k4160_s_vmove(1, 0); }, {R(0xD7, 0x200), W32(0x97, 0x608), Cmd(0x53)}},
      {[] { Mode(0x04002441); MOTION_default_const_vmove(1, 1); }, {R(0xD7, 0x04002441), W32(0x97, 0), Cmd(0x50)}},
      {[] { k4160_t_vmove(1, 2); k4160_s_vmove(1, 0xFFFF); MOTION_default_const_vmove(1, 2); }, {}},
      {[] { k4160_reset_target_position(1, -5); }, {W32(0x90, 0xFFFFFFFB)}},
      // Pulse loop: a symmetric move of encoder - position = -10 - 1200.
      {[] { Mode(0); EXPECT_EQ(k4160_pulse_loop(1), 1u); },
       {PldRead(0, 0x10, 0x0FFFFFF6), R(0xE3, 1200), W32(0x80, 0xFFFFFB46), W32(0x86, 0), W16(0x84, 818),
        R(0xD7, 0), W32(0x87, 0x41), Cmd(0x53)}},
  });
}

// Ramp-down points in pulses: average speed x ramp time, an S ramp without
// section being twice a straight one; ramps that do not fit share the move by
// rate + 1; capped at 24 bits.
TEST_F(Moves, RampDownPointsOfStraightAndSRamps) {
  const struct { uint16_t fl, fh, accel, decel, mag; int32_t n; uint32_t straight, s; } rows[] = {
      {1000, 2000, 982, 982, 1199, 10000, 149, 299},
      {1000, 2000, 982, 982, 1199, 300, 149, 150},
      {10, 10000, 491, 195, 119, 1000000, 9969, 19938},
      {10, 10000, 491, 195, 119, -1000, 284, 284},  // 1000 x 196 / 688, not half
      {1, 16383, 16383, 16383, 0, INT32_MIN, 0xFFFFFF, 0xFFFFFF},
  };
  for (const auto &r : rows) {
    motion::AxisProfile p{};
    std::tie(p.start_speed, p.max_speed, p.accel_rate, p.decel_rate, p.magnification) =
        std::tie(r.fl, r.fh, r.accel, r.decel, r.mag);
    motion::ComputeRampDownPoint(p, r.n);
    EXPECT_EQ(p.ramp_down_point, r.straight) << r.fh << " " << r.n;
    motion::ComputeSRampDownPoint(p, r.n);
    EXPECT_EQ(p.ramp_down_point, r.s) << r.fh << " " << r.n;
  }
}

// Axes 30 and 31 exist on card 15 but have no profile record: every call
// that needs one reaches no card; a stop that needs none still does.
TEST_F(Moves, AxisNumbersOfThirtyAndAboveAreRefused) {
  OpenCards(16);
  EXPECT_EQ(motion::ProfileFor(29), motion::ProfileFor(14, 1));
  EXPECT_NE(motion::ProfileFor(29), nullptr);
  EXPECT_EQ(motion::ProfileFor(15, 0), nullptr);
  EXPECT_EQ(motion::ProfileFor(0, 2), nullptr);
  for (uint16_t axis : {uint16_t{30}, uint16_t{31}, uint16_t{0xFFFF}}) {
    EXPECT_EQ(motion::ProfileFor(axis), nullptr);
    k4160_variety_speed_range(axis, 1, 1000);
    k4160_variety_speed_range_org(axis, 1, 1000);
    k4160_set_profile(axis, 1000, 2000, 0.1, 0.1);
    k4160_set_s_profile(axis, 1000, 2000, 0.1, 0.1, 10, 10);
    k4160_set_st_profile(axis, 1000, 2000, 0.1, 0.1, 0.01, 0.01);
    k4160_t_pmove(axis, 10, 1);
    k4160_s_pmove(axis, 10, 1);
    k4160_ex_s_pmove(axis, 10, 1);
    k4160_s_vmove(axis, 1);
    EXPECT_EQ(k4160_pulse_loop(axis), 0u);
    k4160_decel_stop(axis, 0.1);
    k4160_change_speed(axis, 100);
    k4160_handwheel_move(axis, 2000.0);
  }
  EXPECT_TRUE(DecodedTrace().empty());
  k4160_imd_stop(31);
  EXPECT_EQ(DecodedTrace(), (Ops{Command(15, 1, 0x49)}));
}

}  // namespace
}  // namespace kpx::test
