// The signal setters: every setter of a shared register changes only its own
// field, the register sequences whose order matters, and the refused
// arguments that must touch nothing.
#include <gtest/gtest.h>

#include "io/field_harness.h"

namespace kpx::test {
namespace {

class SignalFields : public IoTest {};

constexpr Change kNothing{0, 0};
unsigned Ca(uint16_t axis) { return axis & 1u; }
uint16_t Card(uint16_t axis) { return static_cast<uint16_t>(axis >> 1); }

TEST_F(SignalFields, EverySetterChangesOnlyItsField) {
  struct Table {
    SharedReg reg;
    std::vector<FieldStep> steps;
  };
  const Table tables[] = {
    {{false, 0x97}, {  // operation mode
      {"SD enable on", [](uint16_t a) { k4160_config_SD_PIN(a, 1, 0, 0); return Change{B(8), B(8)}; }},
      {"SD enable 2 is off", [](uint16_t a) { k4160_config_SD_PIN(a, 2, 1, 3); return Change{B(8), 0}; }},
      {"PCS enable on clears bit 26", [](uint16_t a) { k4160_config_PCS_PIN(a, 1, 0); return Change{B(14) | B(26), B(14)}; }},
      {"PCS enable off", [](uint16_t a) { k4160_config_PCS_PIN(a, 0, 1); return Change{B(14) | B(26), 0}; }},
      {"INP enable on", [](uint16_t a) { k4160_config_INP_PIN(a, 1, 1); return Change{B(9) | B(26), B(9)}; }},
      {"INP enable 3 is off", [](uint16_t a) { k4160_config_INP_PIN(a, 3, 0); return Change{B(9) | B(26), 0}; }},
    }},
    {{false, 0x9C}, {  // signal configuration 1
      {"SD logic and mode", [](uint16_t a) { k4160_config_SD_PIN(a, 0, 1, 3); return Change{0x70, 0x70}; }},
      {"SD mode cut to two bits", [](uint16_t a) { k4160_config_SD_PIN(a, 0, 0, 6); return Change{0x70, 0x20}; }},
      {"PCS logic 1", [](uint16_t a) { k4160_config_PCS_PIN(a, 0, 1); return Change{B(24), B(24)}; }},
      {"PCS logic 2 is 0", [](uint16_t a) { k4160_config_PCS_PIN(a, 1, 2); return Change{B(24), 0}; }},
      {"INP logic 1", [](uint16_t a) { k4160_config_INP_PIN(a, 0, 1); return Change{B(22), B(22)}; }},
      {"INP logic 0", [](uint16_t a) { k4160_config_INP_PIN(a, 0, 0); return Change{B(22), 0}; }},
      {"ERC all fields, logic 0 sets bit 15", [](uint16_t a) {
         k4160_config_ERC_PIN(a, 2, 0, 5, 3);
         return Change{0x3FC00, 2u << 10 | B(15) | 5u << 12 | 3u << 16};
       }},
      {"ERC logic 1 clears bit 15", [](uint16_t a) { k4160_config_ERC_PIN(a, 1, 1, 0, 0); return Change{0x3FC00, 1u << 10}; }},
      {"ALM logic", [](uint16_t a) { k4160_config_ALM_PIN(a, 1, 0); return Change{B(8) | B(9), B(9)}; }},
      {"ALM mode", [](uint16_t a) { k4160_config_ALM_PIN(a, 2, 1); return Change{B(8) | B(9), B(8)}; }},
      {"LTC logic 1", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 0); return Change{B(23), B(23)}; }},
      {"LTC logic 2 is 0 here", [](uint16_t a) { k4160_config_LTC_PIN(a, 2, 0); return Change{B(23), 0}; }},
      {"EL mode 1 sets bit 3", [](uint16_t a) { k4160_config_EL_MODE(a, 1); return Change{B(3), B(3)}; }},
      {"EL mode 2 clears bit 3", [](uint16_t a) { k4160_config_EL_MODE(a, 2); return Change{B(3), 0}; }},
      {"HOME logic", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 1, 0); return Change{B(7) | B(26), B(7)}; }},
      {"HOME filter", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 0, 1); return Change{B(7) | B(26), B(26)}; }},
      {"CSTA mode 1", [](uint16_t a) { EXPECT_EQ(k4160_config_CSTA_PIN(a, 1), 1); return Change{B(18), B(18)}; }},
      {"CSTA mode 2 is 0", [](uint16_t a) { EXPECT_EQ(k4160_config_CSTA_PIN(a, 2), 1); return Change{B(18), 0}; }},
      {"filter level 2", [](uint16_t a) { k4160_config_axis_io_filter(a, 2, 0); return Change{0x300000 | B(26), 0x200000}; }},
      {"filter level 3 writes 0", [](uint16_t a) { k4160_config_axis_io_filter(a, 3, 1); return Change{0x300000 | B(26), B(26)}; }},
      {"filter level 1", [](uint16_t a) { k4160_config_axis_io_filter(a, 1, 2); return Change{0x300000 | B(26), 0x100000}; }},
      {"HOME filter wins over the io filter", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 1, 1); return Change{B(7) | B(26), B(7) | B(26)}; }},
    }},
    {{false, 0x9D}, {  // signal configuration 2
      {"EZ logic 1", [](uint16_t a) { k4160_set_ez_logic(a, 1); return Change{B(28), B(28)}; }},
      {"EZ logic 2 is 0", [](uint16_t a) { k4160_set_ez_logic(a, 2); return Change{B(28), 0}; }},
      {"CMP cmp1 1 logic 1", [](uint16_t a) { k4160_config_CMP_PIN(a, 1, 0, 1); return Change{0x3C0, 0x1C0}; }},
      {"CMP cmp2 1 logic 0", [](uint16_t a) { k4160_config_CMP_PIN(a, 0, 1, 0); return Change{0x3C0, 1u << 6 | 2u << 8}; }},
      {"CMP both 1 logic 1", [](uint16_t a) { k4160_config_CMP_PIN(a, 1, 1, 1); return Change{0x3C0, 0x3C0}; }},
      {"CMP both 2 is general", [](uint16_t a) { k4160_config_CMP_PIN(a, 2, 2, 1); return Change{0x3C0, 0x140}; }},
      {"handwheel input 2, option 1", [](uint16_t a) { k4160_set_handwheel_inmode(a, 2, 1); return Change{0xF00000, 0xE00000}; }},
      {"handwheel input 0, option 0", [](uint16_t a) { k4160_set_handwheel_inmode(a, 4, 0); return Change{0xF00000, 0x400000}; }},
      {"home options", [](uint16_t a) { k4160_config_home_mode(a, 3, 16); return Change{0x2F000000, 0x2F000000}; }},
      {"home options off", [](uint16_t a) { k4160_config_home_mode(a, 0, 2); return Change{0x2F000000, 0x01000000}; }},
    }},
    {{false, 0x9E}, {  // signal configuration 3: comparator conditions and soft limits share bits
      {"LTC option 1", [](uint16_t a) { k4160_config_LTC_PIN(a, 0, 1); return Change{B(13), B(13)}; }},
      {"comparator conditions, action 0", [](uint16_t a) {
         k4160_config_comparator(a, 1, 2, 0);
         return Change{0xF002, 1u << 12 | 2u << 14 | B(1)};
       }},
      {"condition 1 kept out of condition 2", [](uint16_t a) { k4160_config_comparator(a, 7, 0, 1); return Change{0xF002, 3u << 12}; }},
      {"condition 2 cut to its field", [](uint16_t a) { k4160_config_comparator(a, 0, 7, 1); return Change{0xF002, 3u << 14}; }},
      {"trigger source 1", [](uint16_t a) { k4160_set_latch_trigger_source(a, 1); return Change{0x660, 0x660}; }},
      {"trigger source 2 clears", [](uint16_t a) { k4160_set_latch_trigger_source(a, 2); return Change{0x660, 0}; }},
      {"soft limit action 0", [](uint16_t a) { k4160_config_softlimit(a, 0); return Change{B(1), B(1)}; }},
      {"soft limit action 1", [](uint16_t a) { k4160_config_softlimit(a, 1); return Change{B(1), 0}; }},
      {"soft limits on", [](uint16_t a) { k4160_enable_softlimit(a, 1); return Change{0xF000, 0xB000}; }},
      {"soft limits 2 is off", [](uint16_t a) { k4160_enable_softlimit(a, 2); return Change{0xF000, 0}; }},
      {"LTC option 2 is 0", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 2); return Change{B(13), 0}; }},
    }},
    {{true, 0x40}, {  // counter configuration: one byte per chip axis
      {"EZ mode 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 0); return Change{0xF8u << 8 * Ca(a), 0xF8u << 8 * Ca(a)}; }},
      {"EZ mode 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 1); return Change{0xF8u << 8 * Ca(a), 0xE8u << 8 * Ca(a)}; }},
      {"EZ mode 9 keeps the byte", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 9); return kNothing; }},
      {"count input mode", [](uint16_t a) { k4160_counter_config(a, 5); return Change{0x3u << 8 * Ca(a), 0x1u << 8 * Ca(a)}; }},
      {"EZ mode 3", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 3); return Change{0xF8u << 8 * Ca(a), 0xE8u << 8 * Ca(a)}; }},
      {"count input mode 2", [](uint16_t a) { k4160_counter_config(a, 2); return Change{0x3u << 8 * Ca(a), 0x2u << 8 * Ca(a)}; }},
    }},
    {{true, 0x48}, {  // signal control
      {"EZ logic 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 9); return Change{B(4 + Ca(a)), B(4 + Ca(a))}; }},
      {"EZ logic 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 9); return Change{B(4 + Ca(a)), 0}; }},
      {"EZ logic 5 is on", [](uint16_t a) { k4160_config_EZ_PIN(a, 5, 9); return Change{B(4 + Ca(a)), B(4 + Ca(a))}; }},
      {"LTC enable, clear bit", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 0); return Change{B(Ca(a)) | B(8 + Ca(a)), B(Ca(a))}; }},
      {"LTC off", [](uint16_t a) { k4160_config_LTC_PIN(a, 0, 1); return Change{B(Ca(a)) | B(8 + Ca(a)), 0}; }},
      {"LTC logic 2 enables", [](uint16_t a) { k4160_config_LTC_PIN(a, 2, 0); return Change{B(Ca(a)) | B(8 + Ca(a)), B(Ca(a))}; }},
      {"speaker 1", [](uint16_t a) { k4160_set_speaker_logic(Card(a), 1); return Change{B(13), B(13)}; }},
      {"speaker 0", [](uint16_t a) { k4160_set_speaker_logic(Card(a), 0); return Change{B(13), 0}; }},
      {"trigger channel 1", [](uint16_t a) { k4160_triger_chunnel(Card(a), 1); return Change{B(12), B(12)}; }},
      {"trigger channel 0", [](uint16_t a) { k4160_triger_chunnel(Card(a), 0); return Change{B(12), 0}; }},
    }},
    {{true, 0x78}, {  // card configuration
      {"EL mode 0 sets the axis bit", [](uint16_t a) { k4160_config_EL_MODE(a, 0); return Change{B(Ca(a)), B(Ca(a))}; }},
      {"EL mode 3 clears it", [](uint16_t a) { k4160_config_EL_MODE(a, 3); return Change{B(Ca(a)), 0}; }},
      {"EL mode 1 sets it", [](uint16_t a) { k4160_config_EL_MODE(a, 1); return Change{B(Ca(a)), B(Ca(a))}; }},
      {"EMG disabled, logic 1", [](uint16_t a) { k4160_config_EMG_PIN(Card(a), 0, 1); return Change{0x30, 0x30}; }},
      {"EMG enabled, logic 0", [](uint16_t a) { k4160_config_EMG_PIN(Card(a), 1, 0); return Change{0x30, 0}; }},
      {"EZ mode 2 sets bit 6", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 2); return Change{B(6), B(6)}; }},
      {"EZ mode 0 clears it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 0); return Change{B(6), 0}; }},
      {"EZ mode 3 sets it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 3); return Change{B(6), B(6)}; }},
      {"EZ mode 7 clears it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 7); return Change{B(6), 0}; }},
      {"latch mode 5", [](uint16_t a) { k4160_config_latch_mode(Card(a), 5); return Change{B(7), B(7)}; }},
      {"latch mode 0", [](uint16_t a) { k4160_config_latch_mode(Card(a), 0); return Change{B(7), 0}; }},
      {"LTC filter capped", [](uint16_t a) { k4160_config_LTC_filter(Card(a), 300); return Change{0xFF00, 254u << 8}; }},
      {"LTC filter 17", [](uint16_t a) { k4160_config_LTC_filter(Card(a), 17); return Change{0xFF00, 17u << 8}; }},
    }},
    {{true, 0x44}, {  // output port: outputs are active low; bits 12-13 are servo-on
      {"output 1 on", [](uint16_t a) { k4160_write_outbit(Card(a), 1, 1); return Change{B(0), 0}; }},
      {"output 12 off", [](uint16_t a) { k4160_write_outbit(Card(a), 12, 0); return Change{B(11), B(11)}; }},
      {"output 13 on is bit 14", [](uint16_t a) { k4160_write_outbit(Card(a), 13, 1); return Change{B(14), 0}; }},
      {"output 14 off is bit 15", [](uint16_t a) { k4160_write_outbit(Card(a), 14, 0); return Change{B(15), B(15)}; }},
      {"whole port keeps servo-on and bits 16-31", [](uint16_t a) {
         k4160_write_outport(Card(a), 0xFFFA5A5);
         // value bits 0-11 inverted into 0-11, bits 12-13 inverted into 14-15
         return Change{0xCFFF, (~0xA5A5u & 0xFFF) | ((~0xA5A5u >> 12 & 3) << 14)};
       }},
      {"servo on clears its bit and bits 20-31", [](uint16_t a) {
         k4160_write_SEVON_PIN(a, 1);
         return Change{B(12 + Ca(a)) | 0xFFF00000, 0};
       }},
      {"servo off sets its bit", [](uint16_t a) { k4160_write_SEVON_PIN(a, 0); return Change{B(12 + Ca(a)), B(12 + Ca(a))}; }},
    }},
  };
  for (const Table &t : tables) RunFieldSteps(t.reg, t.steps);
}

// Setters whose accesses go beyond one field: the order of the reads and
// writes is what the card sees.
TEST_F(SignalFields, RegisterSequences) {
  struct Case {
    const char *what;
    std::function<void()> prepare, call;
    std::vector<RegisterOp> want;
  };
  const Case cases[] = {
    {"SD: operation mode, then signal configuration 1",
     [] { kpx4160_sim_set_pcl_register(1, 1, 0x97, 0x04000100); kpx4160_sim_set_pcl_register(1, 1, 0x9C, ~0u); },
     [] { k4160_config_SD_PIN(3, 0, 0, 1); },
     {PclRead(1, 1, 0xD7, 0x04000100), PclWrite32(1, 1, 0x97, 0x04000000), PclRead(1, 1, 0xDC, ~0u),
      PclWrite32(1, 1, 0x9C, 0xFFFFFF9F)}},
    {"LTC: both chip registers, then the card register twice",
     [] {
       kpx4160_sim_set_pld_register(1, 0x48, 0x300);
       kpx4160_sim_set_pcl_register(1, 1, 0x9C, 0);
       kpx4160_sim_set_pcl_register(1, 1, 0x9E, 0);
     },
     [] { k4160_config_LTC_PIN(3, 1, 1); },
     {PclRead(1, 1, 0xDC, 0), PclWrite32(1, 1, 0x9C, B(23)), PclRead(1, 1, 0xDE, 0), PclWrite32(1, 1, 0x9E, B(13)),
      PldRead(1, 0x48, 0x300), PldWrite(1, 0x48, 0x302), PldRead(1, 0x48, 0x302), PldWrite(1, 0x48, 0x102)}},
    {"EZ on the card counters: bit 6 cleared, then set, around the counter byte",
     [] {
       kpx4160_sim_set_pld_register(1, 0x40, 0x38383838);
       kpx4160_sim_set_pld_register(1, 0x48, 0x12FF0001);
       kpx4160_sim_set_pld_register(1, 0x78, 0x8F);
     },
     [] { k4160_config_EZ_PIN(3, 1, 2); },
     {PldRead(1, 0x48, 0x12FF0001), PldWrite(1, 0x48, 0x12FF0021), PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0x8F),
      PldRead(1, 0x40, 0x38383838), PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0xCF), PldRead(1, 0x40, 0x38383838),
      PldWrite(1, 0x40, 0x3838F838)}},
    // PWM: period and high counts of the 33.4878 MHz clock, then the enable.
    {"PWM 1 at 500 Hz runs at 1000 Hz", [] {}, [] { EXPECT_EQ(k4160_config_PWM_PIN(1, 1, 500.0, 0.5), 0); },
     {PldWrite(1, 0xC4, 33488), PldWrite(1, 0xC8, 16744), PldWrite(1, 0xC0, 1)}},
    {"PWM 2 capped at 180 kHz, duty above 1", [] {}, [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 7, 1e9, 1.5), 0); },
     {PldWrite(1, 0xD0, 187), PldWrite(1, 0xD4, 186), PldWrite(1, 0xCC, 1)}},
    {"PWM 2 off", [] {}, [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 0, 2000.0, 0.25), 0); },
     {PldWrite(1, 0xD0, 16744), PldWrite(1, 0xD4, 4186), PldWrite(1, 0xCC, 0)}},
    {"PWM duty 0 keeps one count high", [] {}, [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 1, 1000.0, -3.0), 0); },
     {PldWrite(1, 0xD0, 33488), PldWrite(1, 0xD4, 1), PldWrite(1, 0xCC, 1)}},
    // Refused arguments, cards 16 and above, and axes on such cards touch nothing.
    {"refused arguments", [] {}, [] {
       k4160_config_ERC_PIN(0, 4, 0, 0, 0);
       k4160_config_ERC_PIN(0, 0, 2, 0, 0);
       k4160_config_ERC_PIN(0, 0, 0, 8, 0);
       k4160_config_ERC_PIN(0, 0, 0, 0, 4);
       k4160_config_EMG_PIN(0, 2, 0);
       k4160_config_EMG_PIN(0, 0, 2);
       k4160_set_speaker_logic(0, 2);
       k4160_triger_chunnel(0, 2);
       k4160_write_SEVON_PIN(0, 2);
       k4160_write_ERC_PIN(0, 7);
       k4160_write_outbit(0, 5, 2);
       k4160_write_outbit(0, 0, 1);
       k4160_write_outbit(0, 21, 0);
       k4160_set_pulse_outmode(1, 8);
       k4160_config_SD_PIN(32, 1, 1, 1);
       k4160_config_EMG_PIN(16, 1, 1);
       k4160_config_EZ_PIN(65535, 1, 2);
       k4160_config_PWM_PIN(16, 1, 2000.0, 0.5);
     }, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    kpx4160_sim_trace_clear();
    c.call();
    EXPECT_EQ(DecodedTrace(), c.want);
  }
}

}  // namespace
}  // namespace kpx::test
