// Every setter of a shared register changes only its own field: the setters
// are run one after another on a register pre-filled with a pattern.
#include <gtest/gtest.h>

#include "io/field_harness.h"
#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

class SignalFields : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

constexpr Change kNothing{0, 0};
unsigned Ca(uint16_t axis) { return axis & 1u; }
uint16_t CardOfAxis(uint16_t axis) { return static_cast<uint16_t>(axis >> 1); }

TEST_F(SignalFields, OperationModeRegister) {
  RunPclFieldSteps(0x97, {
      {"SD enable on", [](uint16_t a) { k4160_config_SD_PIN(a, 1, 0, 0); return Change{B(8), B(8)}; }},
      {"SD enable 2 is off", [](uint16_t a) { k4160_config_SD_PIN(a, 2, 1, 3); return Change{B(8), 0}; }},
      {"PCS enable on clears bit 26", [](uint16_t a) { k4160_config_PCS_PIN(a, 1, 0); return Change{B(14) | B(26), B(14)}; }},
      {"PCS enable off", [](uint16_t a) { k4160_config_PCS_PIN(a, 0, 1); return Change{B(14) | B(26), 0}; }},
      {"INP enable on", [](uint16_t a) { k4160_config_INP_PIN(a, 1, 1); return Change{B(9) | B(26), B(9)}; }},
      {"INP enable 3 is off", [](uint16_t a) { k4160_config_INP_PIN(a, 3, 0); return Change{B(9) | B(26), 0}; }},
      {"SD enable on again", [](uint16_t a) { k4160_config_SD_PIN(a, 1, 0, 0); return Change{B(8), B(8)}; }},
  });
}

TEST_F(SignalFields, SignalConfig1) {
  RunPclFieldSteps(0x9C, {
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
      {"ERC mode 4 does nothing", [](uint16_t a) { k4160_config_ERC_PIN(a, 4, 1, 0, 0); return kNothing; }},
      {"ERC logic 2 does nothing", [](uint16_t a) { k4160_config_ERC_PIN(a, 0, 2, 0, 0); return kNothing; }},
      {"ERC code3 8 does nothing", [](uint16_t a) { k4160_config_ERC_PIN(a, 0, 1, 8, 0); return kNothing; }},
      {"ERC code2 4 does nothing", [](uint16_t a) { k4160_config_ERC_PIN(a, 0, 1, 0, 4); return kNothing; }},
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
      {"pulse output mode 5 is code 7", [](uint16_t a) { k4160_set_pulse_outmode(a, 5); return Change{0x7, 0x7}; }},
      {"pulse output mode 6 is code 5", [](uint16_t a) { k4160_set_pulse_outmode(a, 6); return Change{0x7, 0x5}; }},
      {"pulse output mode 8 ignored", [](uint16_t a) { k4160_set_pulse_outmode(a, 8); return kNothing; }},
      {"HOME filter wins over the io filter", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 1, 1); return Change{B(7) | B(26), B(7) | B(26)}; }},
  });
}

TEST_F(SignalFields, SignalConfig2) {
  RunPclFieldSteps(0x9D, {
      {"EZ logic 1", [](uint16_t a) { k4160_set_ez_logic(a, 1); return Change{B(28), B(28)}; }},
      {"EZ logic 0", [](uint16_t a) { k4160_set_ez_logic(a, 0); return Change{B(28), 0}; }},
      {"CMP cmp1 1 logic 1", [](uint16_t a) { k4160_config_CMP_PIN(a, 1, 0, 1); return Change{0x3C0, 0x1C0}; }},
      {"CMP cmp2 1 logic 0", [](uint16_t a) { k4160_config_CMP_PIN(a, 0, 1, 0); return Change{0x3C0, 1u << 6 | 2u << 8}; }},
      {"CMP both 1 logic 1", [](uint16_t a) { k4160_config_CMP_PIN(a, 1, 1, 1); return Change{0x3C0, 0x3C0}; }},
      {"CMP both 2 is general", [](uint16_t a) { k4160_config_CMP_PIN(a, 2, 2, 1); return Change{0x3C0, 0x140}; }},
      {"handwheel input 2, option 1", [](uint16_t a) { k4160_set_handwheel_inmode(a, 2, 1); return Change{0xF00000, 0xE00000}; }},
      {"handwheel input 0, option 0", [](uint16_t a) { k4160_set_handwheel_inmode(a, 4, 0); return Change{0xF00000, 0x400000}; }},
      {"home options", [](uint16_t a) { k4160_config_home_mode(a, 3, 16); return Change{0x2F000000, 0x2F000000}; }},
      {"home options off", [](uint16_t a) { k4160_config_home_mode(a, 0, 2); return Change{0x2F000000, 0x01000000}; }},
      {"EZ logic 2 is 0", [](uint16_t a) { k4160_set_ez_logic(a, 2); return Change{B(28), 0}; }},
  });
}

TEST_F(SignalFields, SignalConfig3) {
  RunPclFieldSteps(0x9E, {
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
  });
}

TEST_F(SignalFields, CounterConfig) {
  RunPldFieldSteps(0x40, {
      {"EZ mode 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 0); return Change{0xF8u << 8 * Ca(a), 0xF8u << 8 * Ca(a)}; }},
      {"EZ mode 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 1); return Change{0xF8u << 8 * Ca(a), 0xE8u << 8 * Ca(a)}; }},
      {"EZ mode 9 keeps the byte", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 9); return kNothing; }},
      {"EZ mode 2", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 2); return Change{0xF8u << 8 * Ca(a), 0xF8u << 8 * Ca(a)}; }},
      {"count input mode", [](uint16_t a) { k4160_counter_config(a, 5); return Change{0x3u << 8 * Ca(a), 0x1u << 8 * Ca(a)}; }},
      {"EZ mode 3", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 3); return Change{0xF8u << 8 * Ca(a), 0xE8u << 8 * Ca(a)}; }},
      {"count input mode 2", [](uint16_t a) { k4160_counter_config(a, 2); return Change{0x3u << 8 * Ca(a), 0x2u << 8 * Ca(a)}; }},
  });
}

TEST_F(SignalFields, SignalControl) {
  RunPldFieldSteps(0x48, {
      {"EZ logic 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 9); return Change{B(4 + Ca(a)), B(4 + Ca(a))}; }},
      {"EZ logic 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 9); return Change{B(4 + Ca(a)), 0}; }},
      {"EZ logic 5 is on", [](uint16_t a) { k4160_config_EZ_PIN(a, 5, 9); return Change{B(4 + Ca(a)), B(4 + Ca(a))}; }},
      {"LTC enable, clear bit", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 0); return Change{B(Ca(a)) | B(8 + Ca(a)), B(Ca(a))}; }},
      {"LTC off", [](uint16_t a) { k4160_config_LTC_PIN(a, 0, 1); return Change{B(Ca(a)) | B(8 + Ca(a)), 0}; }},
      {"LTC logic 2 enables", [](uint16_t a) { k4160_config_LTC_PIN(a, 2, 0); return Change{B(Ca(a)) | B(8 + Ca(a)), B(Ca(a))}; }},
      {"speaker 1", [](uint16_t a) { k4160_set_speaker_logic(CardOfAxis(a), 1); return Change{B(13), B(13)}; }},
      {"speaker 2 does nothing", [](uint16_t a) { k4160_set_speaker_logic(CardOfAxis(a), 2); return kNothing; }},
      {"speaker 0", [](uint16_t a) { k4160_set_speaker_logic(CardOfAxis(a), 0); return Change{B(13), 0}; }},
      {"trigger channel 1", [](uint16_t a) { k4160_triger_chunnel(CardOfAxis(a), 1); return Change{B(12), B(12)}; }},
      {"trigger channel 2 does nothing", [](uint16_t a) { k4160_triger_chunnel(CardOfAxis(a), 2); return kNothing; }},
      {"trigger channel 0", [](uint16_t a) { k4160_triger_chunnel(CardOfAxis(a), 0); return Change{B(12), 0}; }},
  });
}

TEST_F(SignalFields, PldConfig) {
  RunPldFieldSteps(0x78, {
      {"EL mode 0 sets the card bit", [](uint16_t a) { k4160_config_EL_MODE(a, 0); return Change{B(Ca(a)), B(Ca(a))}; }},
      {"EL mode 3 clears it", [](uint16_t a) { k4160_config_EL_MODE(a, 3); return Change{B(Ca(a)), 0}; }},
      {"EL mode 1 sets it", [](uint16_t a) { k4160_config_EL_MODE(a, 1); return Change{B(Ca(a)), B(Ca(a))}; }},
      {"EMG disabled, logic 1", [](uint16_t a) { k4160_config_EMG_PIN(CardOfAxis(a), 0, 1); return Change{0x30, 0x30}; }},
      {"EMG enabled, logic 0", [](uint16_t a) { k4160_config_EMG_PIN(CardOfAxis(a), 1, 0); return Change{0x30, 0}; }},
      {"EMG enable 2 does nothing", [](uint16_t a) { k4160_config_EMG_PIN(CardOfAxis(a), 2, 1); return kNothing; }},
      {"EMG logic 2 does nothing", [](uint16_t a) { k4160_config_EMG_PIN(CardOfAxis(a), 0, 2); return kNothing; }},
      {"EZ mode 2 sets bit 6", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 2); return Change{B(6), B(6)}; }},
      {"EZ mode 0 clears it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 0); return Change{B(6), 0}; }},
      {"EZ mode 3 sets it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 3); return Change{B(6), B(6)}; }},
      {"EZ mode 7 clears it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 7); return Change{B(6), 0}; }},
      {"latch mode 5", [](uint16_t a) { k4160_config_latch_mode(CardOfAxis(a), 5); return Change{B(7), B(7)}; }},
      {"latch mode 0", [](uint16_t a) { k4160_config_latch_mode(CardOfAxis(a), 0); return Change{B(7), 0}; }},
      {"LTC filter capped", [](uint16_t a) { k4160_config_LTC_filter(CardOfAxis(a), 300); return Change{0xFF00, 254u << 8}; }},
      {"LTC filter 17", [](uint16_t a) { k4160_config_LTC_filter(CardOfAxis(a), 17); return Change{0xFF00, 17u << 8}; }},
  });
}

TEST_F(SignalFields, OutputPort) {
  RunPldFieldSteps(0x44, {
      {"output 1 on", [](uint16_t a) { k4160_write_outbit(CardOfAxis(a), 1, 1); return Change{B(0), 0}; }},
      {"output 12 off", [](uint16_t a) { k4160_write_outbit(CardOfAxis(a), 12, 0); return Change{B(11), B(11)}; }},
      {"output 13 on is bit 14", [](uint16_t a) { k4160_write_outbit(CardOfAxis(a), 13, 1); return Change{B(14), 0}; }},
      {"output 14 off is bit 15", [](uint16_t a) { k4160_write_outbit(CardOfAxis(a), 14, 0); return Change{B(15), B(15)}; }},
      {"value 2 writes nothing", [](uint16_t a) { k4160_write_outbit(CardOfAxis(a), 5, 2); return kNothing; }},
      {"output 0 and 21 write nothing", [](uint16_t a) {
         k4160_write_outbit(CardOfAxis(a), 0, 1);
         k4160_write_outbit(CardOfAxis(a), 21, 0);
         return kNothing;
       }},
      {"whole port keeps servo-on and bits 16-31", [](uint16_t a) {
         k4160_write_outport(CardOfAxis(a), 0xFFFA5A5);
         // value bits 0-11 inverted into 0-11, bits 12-13 inverted into 14-15
         return Change{0xCFFF, (~0xA5A5u & 0xFFF) | ((~0xA5A5u >> 12 & 3) << 14)};
       }},
      {"servo-on value 2 does nothing", [](uint16_t a) { k4160_write_SEVON_PIN(a, 2); return kNothing; }},
      {"servo on clears its bit and bits 20-31", [](uint16_t a) {
         k4160_write_SEVON_PIN(a, 1);
         return Change{B(12 + Ca(a)) | 0xFFF00000, 0};
       }},
      {"servo off sets its bit", [](uint16_t a) { k4160_write_SEVON_PIN(a, 0); return Change{B(12 + Ca(a)), B(12 + Ca(a))}; }},
  });
}

}  // namespace
}  // namespace kpx::test
