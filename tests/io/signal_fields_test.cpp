// The signal setters: every setter of a shared register changes only its own
// field (their register sequences are in pulse_encoder_test.cpp).
#include <gtest/gtest.h>

#include "io/field_harness.h"

namespace kpx::test {
namespace {

class SignalFields : public IoTest {};

uint16_t Card(uint16_t axis) { return static_cast<uint16_t>(axis >> 1); }

TEST_F(SignalFields, EverySetterChangesOnlyItsField) {
  struct Table {
    SharedReg reg;
    std::vector<FieldStep> steps;
  };
  const Table tables[] = {
    {{false, 0x97}, {  // operation mode
      {"SD enable on", [](uint16_t a) { k4160_config_SD_PIN(a, 1, 0, 0); }, B(8), B(8)},
      {"PCS enable on clears bit 26", [](uint16_t a) { k4160_config_PCS_PIN(a, 1, 0); }, B(14) | B(26), B(14)},
      {"INP enable on", [](uint16_t a) { k4160_config_INP_PIN(a, 1, 1); }, B(9) | B(26), B(9)},
    }},
    {{false, 0x9C}, {  // signal configuration 1
      {"SD logic and mode", [](uint16_t a) { k4160_config_SD_PIN(a, 0, 1, 3); }, 0x70, 0x70},
      {"SD mode cut to two bits", [](uint16_t a) { k4160_config_SD_PIN(a, 0, 0, 6); }, 0x70, 0x20},
      {"PCS logic 1", [](uint16_t a) { k4160_config_PCS_PIN(a, 0, 1); }, B(24), B(24)},
      {"INP logic 1", [](uint16_t a) { k4160_config_INP_PIN(a, 0, 1); }, B(22), B(22)},
      {"ERC all fields, logic 0 sets bit 15", [](uint16_t a) { k4160_config_ERC_PIN(a, 2, 0, 5, 3); }, 0x3FC00,
       2u << 10 | B(15) | 5u << 12 | 3u << 16},
      {"ERC logic 1 clears bit 15", [](uint16_t a) { k4160_config_ERC_PIN(a, 1, 1, 0, 0); }, 0x3FC00, 1u << 10},
      {"ALM logic", [](uint16_t a) { k4160_config_ALM_PIN(a, 1, 0); }, B(8) | B(9), B(9)},
      {"LTC logic 1", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 0); }, B(23), B(23)},
      {"LTC logic 2 is 0 here", [](uint16_t a) { k4160_config_LTC_PIN(a, 2, 0); }, B(23), 0},
      {"EL mode 1 sets bit 3", [](uint16_t a) { k4160_config_EL_MODE(a, 1); }, B(3), B(3)},
      {"HOME filter", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 0, 1); }, B(7) | B(26), B(26)},
      {"CSTA mode 1", [](uint16_t a) { k4160_config_CSTA_PIN(a, 1); }, B(18), B(18)},
      {"filter level 2", [](uint16_t a) { k4160_config_axis_io_filter(a, 2, 0); }, 0x300000 | B(26), 0x200000},
      {"filter level 3 writes 0", [](uint16_t a) { k4160_config_axis_io_filter(a, 3, 1); }, 0x300000 | B(26), B(26)},
      {"HOME filter wins", [](uint16_t a) { k4160_set_HOME_pin_logic(a, 1, 1); }, B(7) | B(26), B(7) | B(26)},
    }},
    {{false, 0x9D}, {  // signal configuration 2
      {"EZ logic 1", [](uint16_t a) { k4160_set_ez_logic(a, 1); }, B(28), B(28)},
      {"EZ logic 2 is 0", [](uint16_t a) { k4160_set_ez_logic(a, 2); }, B(28), 0},
      {"CMP cmp1 1 logic 1", [](uint16_t a) { k4160_config_CMP_PIN(a, 1, 0, 1); }, 0x3C0, 0x1C0},
      {"CMP cmp2 1 logic 0", [](uint16_t a) { k4160_config_CMP_PIN(a, 0, 1, 0); }, 0x3C0, 1u << 6 | 2u << 8},
      {"CMP both 2 is general", [](uint16_t a) { k4160_config_CMP_PIN(a, 2, 2, 1); }, 0x3C0, 0x140},
      {"handwheel input 2, option 1", [](uint16_t a) { k4160_set_handwheel_inmode(a, 2, 1); }, 0xF00000, 0xE00000},
      {"home options", [](uint16_t a) { k4160_config_home_mode(a, 3, 16); }, 0x2F000000, 0x2F000000},
    }},
    {{false, 0x9E}, {  // signal configuration 3: comparator conditions and soft limits share bits
      {"LTC option 1", [](uint16_t a) { k4160_config_LTC_PIN(a, 0, 1); }, B(13), B(13)},
      {"comparator conditions, action 0", [](uint16_t a) { k4160_config_comparator(a, 1, 2, 0); }, 0xF002,
       1u << 12 | 2u << 14 | B(1)},
      {"condition 1 cut", [](uint16_t a) { k4160_config_comparator(a, 7, 0, 1); }, 0xF002, 3u << 12},
      {"condition 2 cut to its field", [](uint16_t a) { k4160_config_comparator(a, 0, 7, 1); }, 0xF002, 3u << 14},
      {"trigger source 1", [](uint16_t a) { k4160_set_latch_trigger_source(a, 1); }, 0x660, 0x660},
      {"soft limit action 0", [](uint16_t a) { k4160_config_softlimit(a, 0); }, B(1), B(1)},
      {"soft limits on", [](uint16_t a) { k4160_enable_softlimit(a, 1); }, 0xF000, 0xB000},
    }},
    {{true, 0x40}, {  // counter configuration: one byte per chip axis
      {"EZ mode 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 0); }, 0xF8, 0xF8, 8},
      {"EZ mode 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 1); }, 0xF8, 0xE8, 8},
      {"count input mode", [](uint16_t a) { k4160_counter_config(a, 5); }, 0x3, 0x1, 8},
      {"count input mode 2", [](uint16_t a) { k4160_counter_config(a, 2); }, 0x3, 0x2, 8},
    }},
    {{true, 0x48}, {  // signal control
      {"EZ logic 1", [](uint16_t a) { k4160_config_EZ_PIN(a, 1, 9); }, B(4), B(4), 1},
      {"EZ logic 0", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 9); }, B(4), 0, 1},
      {"LTC enable, clear bit", [](uint16_t a) { k4160_config_LTC_PIN(a, 1, 0); }, B(0) | B(8), B(0), 1},
      {"LTC off", [](uint16_t a) { k4160_config_LTC_PIN(a, 0, 1); }, B(0) | B(8), 0, 1},
      {"speaker 1", [](uint16_t a) { k4160_set_speaker_logic(Card(a), 1); }, B(13), B(13)},
      {"speaker 0", [](uint16_t a) { k4160_set_speaker_logic(Card(a), 0); }, B(13), 0},
      {"trigger channel 1", [](uint16_t a) { k4160_triger_chunnel(Card(a), 1); }, B(12), B(12)},
      {"trigger channel 0", [](uint16_t a) { k4160_triger_chunnel(Card(a), 0); }, B(12), 0},
    }},
    {{true, 0x78}, {  // card configuration
      {"EL mode 0 sets the axis bit", [](uint16_t a) { k4160_config_EL_MODE(a, 0); }, B(0), B(0), 1},
      {"EL mode 3 clears it", [](uint16_t a) { k4160_config_EL_MODE(a, 3); }, B(0), 0, 1},
      {"EMG disabled, logic 1", [](uint16_t a) { k4160_config_EMG_PIN(Card(a), 0, 1); }, 0x30, 0x30},
      {"EMG enabled, logic 0", [](uint16_t a) { k4160_config_EMG_PIN(Card(a), 1, 0); }, 0x30, 0},
      {"EZ mode 2 sets bit 6", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 2); }, B(6), B(6)},
      {"EZ mode 7 clears it", [](uint16_t a) { k4160_config_EZ_PIN(a, 0, 7); }, B(6), 0},
      {"latch mode 5", [](uint16_t a) { k4160_config_latch_mode(Card(a), 5); }, B(7), B(7)},
      {"LTC filter capped", [](uint16_t a) { k4160_config_LTC_filter(Card(a), 300); }, 0xFF00, 254u << 8},
    }},
    {{true, 0x44}, {  // output port: outputs are active low; bits 12-13 are servo-on
      {"output 1 on", [](uint16_t a) { k4160_write_outbit(Card(a), 1, 1); }, B(0), 0},
      {"output 14 off is bit 15", [](uint16_t a) { k4160_write_outbit(Card(a), 14, 0); }, B(15), B(15)},
      // The whole port keeps servo-on and bits 16-31: value bits 0-11 inverted into 0-11, 12-13 into 14-15;
      // servo-on clears its bit and bits 20-31.
      {"whole port", [](uint16_t a) { k4160_write_outport(Card(a), 0xFFFA5A5); }, 0xCFFF,
       (~0xA5A5u & 0xFFF) | ((~0xA5A5u >> 12 & 3) << 14)},
      {"servo on, chip axis 1", [](uint16_t a) { k4160_write_SEVON_PIN(Card(a) * 2 + 1, 1); }, B(13) | 0xFFF00000, 0},
      {"servo off, chip axis 0", [](uint16_t a) { k4160_write_SEVON_PIN(Card(a) * 2, 0); }, B(12), B(12)},
    }},
  };
  for (const Table &t : tables) RunFieldSteps(t.reg, t.steps);
}

}  // namespace
}  // namespace kpx::test
