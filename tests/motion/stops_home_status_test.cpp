// Stops, speed change, position preset, home search, handwheel and the
// status reads: the register traffic of each call and what the reads return.
#include <gtest/gtest.h>

#include "tests/motion/motion_fixture.h"

namespace kpx::test {
namespace {

class StopsHomeStatus : public MotionTest {};

void FixedUnitOne(uint16_t axis) {  // a fixed range of 1 pulse/s units, no speed cap
  motion::AxisProfile &p = *motion::ProfileFor(axis);
  p.range_mode = 1;
  p.speed_unit = 1;
  p.fixed_max_speed = 1e9;
}
void Set(uint32_t card, uint32_t chip_axis, uint32_t code, uint32_t v) {
  kpx4160_sim_set_pcl_register(card, chip_axis, code, v);
}
// Axis 3 is card 1, chip axis 1.
RegisterOp R3(uint32_t code, uint32_t v) { return PclRead(1, 1, code, v); }
RegisterOp W3(uint32_t code, uint32_t v) { return PclWrite32(1, 1, code, v); }
RegisterOp H3(uint32_t code, uint32_t v) { return PclWrite16(1, 1, code, v); }

TEST_F(StopsHomeStatus, RegisterTrafficOfEveryCall) {
  OpenCards(2);
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);  // card 0 chip axis 0: 1000 units of span
  k4160_set_profile(2, 2000, 2000, 0.1, 0.1);  // card 1 chip axis 0: constant speed
  k4160_set_profile(3, 1000, 3000, 0.1, 0.1);  // card 1 chip axis 1: 2000 units of span
  ExpectTraffic({
      // A decelerating stop in t s loads the rate of a ramp over the running
      // profile's span: straight, or S-shaped (mode bit 10) with its section.
      {[] { Set(0, 0, 0xD7, 0); k4160_decel_stop(0, 0.05); },
       {PclRead(0, 0, 0xD7, 0), PclWrite16(0, 0, 0x94, 490), Command(0, 0, 0x4A)}},
      {[] { Set(0, 0, 0xD7, 0x441); motion::ProfileFor(0)->s_decel_section = 100; k4160_decel_stop(0, 0.05); },
       {PclRead(0, 0, 0xD7, 0x441), PclWrite16(0, 0, 0x94, 408), Command(0, 0, 0x4A)}},
      {[] { motion::ProfileFor(0)->s_decel_section = 0; k4160_decel_stop(0, 0.05); },  // S throughout
       {PclRead(0, 0, 0xD7, 0x441), PclWrite16(0, 0, 0x94, 244), Command(0, 0, 0x4A)}},
      {[] { k4160_decel_stop(0, kNaN); },
       {PclRead(0, 0, 0xD7, 0x441), PclWrite16(0, 0, 0x94, 1), Command(0, 0, 0x4A)}},
      {[] { k4160_decel_stop(2, 0.05); }, {PclRead(1, 0, 0xD7, 0), Command(1, 0, 0x4A)}},
      {[] { k4160_decel_stop(3, 0.05); }, {R3(0xD7, 0), H3(0x94, 244), Command(1, 1, 0x4A)}},
      {[] { k4160_imd_stop(3); }, {Command(1, 1, 0x49)}},
      {[] { k4160_simultaneous_stop(0); }, {Command(0, 0, 0x07)}},
      {[] { k4160_emg_stop(); }, {Command(0, 0, 0x0F05), Command(1, 0, 0x0F05)}},
      // Speed change: only on a fixed range, in its units, capped, never 0.
      {[] { k4160_change_speed(0, 1500); }, {}},
      {[] { k4160_variety_speed_range(0, 1, 100000); k4160_change_speed(0, 55555); },
       {PclWrite16(0, 0, 0x92, 5555)}},
      {[] { k4160_change_speed(0, 500000); }, {PclWrite16(0, 0, 0x92, 10000)}},
      {[] { k4160_change_speed(0, kNaN); }, {PclWrite16(0, 0, 0x92, 1)}},
      {[] { k4160_change_speed(0, -1); }, {}},
      {[] { FixedUnitOne(1); k4160_change_speed(1, 65536); }, {PclWrite16(0, 1, 0x92, 1)}},
      {[] { k4160_change_speed(1, 65538); }, {PclWrite16(0, 1, 0x92, 2)}},
      // The 28-bit position counter takes magnitudes up to 2^27 - 1 only.
      {[] { k4160_set_position(1, 134217727); }, {PclWrite32(0, 1, 0xA3, 134217727)}},
      {[] { k4160_set_position(1, -134217727); }, {PclWrite32(0, 1, 0xA3, 0xF8000001)}},
      {[] { k4160_set_position(1, 134217728); k4160_set_position(1, -134217728); }, {}},
      {[] { k4160_set_position(1, INT32_MIN); }, {}},
      // Home search: latch reset at PLD 0x70, mode word to the pre-register, start
      // at constant speed (0x50) or accelerating (0x53); odd arguments end early.
      {[] { Set(1, 1, 0xD7, ~0u); k4160_home_move(3, 2, 1); },
       {PldWrite(1, 0x70, 0), R3(0xD7, ~0u), W3(0x87, 0xFBFF4B98), Command(1, 1, 0x53)}},
      {[] { k4160_home_move(2, 1, 0); },
       {PldWrite(1, 0x70, 0), PclRead(1, 0, 0xD7, 0), PclWrite32(1, 0, 0x87, 0x10), Command(1, 0, 0x50)}},
      {[] { k4160_home_move(3, 3, 1); }, {PldWrite(1, 0x70, 0), R3(0xD7, ~0u)}},
      {[] { k4160_home_move(3, 1, 2); }, {PldWrite(1, 0x70, 0), R3(0xD7, ~0u), W3(0x87, 0xFBFF4B90)}},
      // Home options in SignalConfig2 (shared: other bits kept): bits 24-27 count - 1, bit 29 mode.
      {[] { Set(1, 1, 0xDD, ~0u); k4160_config_home_mode(3, 0, 1); }, {R3(0xDD, ~0u), W3(0x9D, 0xD0FFFFFF)}},
      {[] { Set(1, 1, 0xDD, 0); k4160_config_home_mode(3, 7, 16); }, {R3(0xDD, 0), W3(0x9D, 0x2F000000)}},
      {[] { Set(1, 1, 0xDD, ~0u); k4160_config_home_mode(3, 1, 0); }, {R3(0xDD, ~0u), W3(0x9D, 0xF0FFFFFF)}},
      {[] { Set(1, 1, 0xDD, ~0u); k4160_config_home_mode(3, 0, 17); }, {R3(0xDD, ~0u), W3(0x9D, 0xD0FFFFFF)}},
      // Handwheel: a flat profile (start = max, rates 1), then its code into the
      // running mode register, start at constant speed; off at |speed| <= 0.01 or NaN.
      {[] { Set(1, 1, 0xD7, ~0u); k4160_handwheel_move(3, 2000.0); },
       {H3(0x81, 2000), H3(0x82, 2000), H3(0x83, 1), H3(0x84, 1), H3(0x85, 1199), R3(0xD7, ~0u),
        W3(0x97, 0xFBFF4B81), Command(1, 1, 0x50)}},
      {[] { Set(1, 1, 0xD7, 0x0F0F0F81); k4160_handwheel_move(3, 0.01); },
       {Command(1, 1, 0x4A), R3(0xD7, 0x0F0F0F81), W3(0x97, 0x0F0F0F80)}},
      {[] { k4160_handwheel_move(3, kNaN); }, {Command(1, 1, 0x4A), R3(0xD7, 0x0F0F0F80), W3(0x97, 0x0F0F0F80)}},
      {[] { Set(1, 1, 0xD7, 0); k4160_handwheel_move(3, -0.02); },  // refused speed: the cached profile again
       {H3(0x81, 2000), H3(0x82, 2000), H3(0x83, 1), H3(0x84, 1), H3(0x85, 1199), R3(0xD7, 0), W3(0x97, 1),
        Command(1, 1, 0x50)}},
  });
  EXPECT_EQ(motion::ProfileFor(0)->decel_rate, 1);  // a stop's rate stays for the next asymmetric move
}

TEST_F(StopsHomeStatus, StatusWordsPositionAndCurrentSpeed) {
  OpenCards(1);
  // Done: bits 0-1 both clear; prebuffer full: bit 14.
  const struct { uint16_t main, done, prebuffer; } status[] = {
      {0x0000, 1, 0}, {0x0001, 0, 0}, {0x0002, 0, 0}, {0xFFFC, 1, 1}, {0x4000, 1, 1}, {0xBFFF, 0, 0}};
  kpx4160_sim_set_main_status(0, 0, 0x0003);  // the other chip axis does not leak in
  for (const auto &s : status) {
    kpx4160_sim_set_main_status(0, 1, s.main);
    EXPECT_EQ(k4160_axis_status(1), s.main);
    EXPECT_EQ(k4160_check_done(1), s.done) << s.main;
    EXPECT_EQ(k4160_prebuff_status(1), s.prebuffer) << s.main;
  }
  kpx4160_sim_set_sub_status(0, 1, 0x5A8F);  // the input signals are bits 8-15
  EXPECT_EQ(k4160_axis_io_status(1), 0x5A00);
  Set(0, 1, 0xF1, 0x89ABCDEF);
  EXPECT_EQ(k4160_get_rsts(1), 0x89ABCDEFu);
  Set(0, 1, 0xE3, static_cast<uint32_t>(-42));
  EXPECT_EQ(k4160_get_position(1), -42);
  // Current speed: the low 16 bits of the speed register 0xF5 in units of
  // 1200 / (M + 1) pulses/s, M the running magnification 0xD5; truncated.
  const struct { uint32_t mag, count; double speed; } speeds[] = {
      {119, 1234, 12340}, {2, 3, 1200}, {6, 10, 1714}, {0, 5, 0}, {0x10000 + 1199, 0x30000 + 7, 7}};
  for (const auto &s : speeds) {
    Set(0, 1, 0xD5, s.mag);
    Set(0, 1, 0xF5, s.count);
    EXPECT_EQ(k4160_read_current_speed(1), s.speed) << s.mag;
  }
}

}  // namespace
}  // namespace kpx::test
