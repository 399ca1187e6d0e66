// Pulse output mode, encoder counters, comparators, latches and the CMP, ERC
// and general terminals: the register traffic of every write and what every
// read makes of its register.
#include <gtest/gtest.h>

#include <cmath>

#include "io/field_harness.h"

namespace kpx::test {
namespace {

class PulseEncoder : public IoTest {};
using Ops = std::vector<RegisterOp>;
constexpr uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

TEST_F(PulseEncoder, WritesPutTheirRegisterTrafficOnTheCard) {
  // Terminal commands: 0x10 + t switches terminal t off, 0x18 + t on; outputs
  // 15-20 are terminals 4-6 of chip axis 0, 1, 0, ...; the CMP terminal is 3.
  const Ops all_on = {Command(1, 0, 0x1C), Command(1, 1, 0x1C), Command(1, 0, 0x1D), Command(1, 1, 0x1D),
                      Command(1, 0, 0x1E), Command(1, 1, 0x1E)};
  struct Case {
    const char *what;
    std::function<void()> call;
    Ops want;
  } const cases[] = {
    {"outputs 15-20 on", [] { for (uint16_t n = 15; n <= 20; ++n) k4160_write_outbit(1, n, 1); }, all_on},
    {"port bits 14, 16, 18 on", [] { k4160_write_outport(1, 0xFFF54000); },
     {PldRead(1, 0x44, 0), PldWrite(1, 0x44, 0xCFFF), Command(1, 0, 0x1C), Command(1, 1, 0x14), Command(1, 0, 0x1D),
      Command(1, 1, 0x15), Command(1, 0, 0x1E), Command(1, 1, 0x16)}},
    {"ERC terminal on", [] { k4160_write_ERC_PIN(3, 1); }, {Command(1, 1, 0x24)}},
    {"ERC terminal off", [] { k4160_write_ERC_PIN(2, 0); }, {Command(1, 0, 0x25)}},
    {"ERC terminal value 2", [] { k4160_write_ERC_PIN(2, 2); }, {}},
    {"CMP terminal 0 is on", [] { k4160_write_CMP_PIN(3, 0); }, {Command(1, 1, 0x1B)}},
    {"CMP terminal 1 is off", [] { k4160_write_CMP_PIN(2, 1); }, {Command(1, 0, 0x13)}},
    // Encoder presets are 28 bits; the load register transfers a card preset into the counter.
    {"card preset, highest", [] { k4160_set_encoder(3, 134217727); }, {PldWrite(1, 0x18, 134217727), PldWrite(1, 0x1C, 0)}},
    {"card preset, lowest", [] { k4160_set_encoder(2, -134217727); }, {PldWrite(1, 0x08, 0xF8000001), PldWrite(1, 0x0C, 0)}},
    {"card preset 2^27", [] { k4160_set_encoder(3, 134217728); }, {}},
    {"card preset -2^27", [] { k4160_set_encoder(3, -134217728); }, {}},
    {"chip preset, lowest", [] { k4160_set_encoder_pcl(3, -134217727); }, {PclWrite32(1, 1, 0xA4, 0xF8000001)}},
    {"chip preset 2^27", [] { k4160_set_encoder_pcl(3, 134217728); }, {}},
    {"comparator data", [] { k4160_set_comparator_data(3, -1000, 5000); },
     {PclWrite32(1, 1, 0xA7, U(-1000)), PclWrite32(1, 1, 0xA8, 5000)}},
    {"soft limits: limit b first, to comparator 1", [] { k4160_set_softlimit_data(2, -1000, 5000); },
     {PclWrite32(1, 0, 0xA7, 5000), PclWrite32(1, 0, 0xA8, U(-1000))}},
    {"latch flag reset", [] { k4160_reset_latch_flag(1); }, {PldWrite(1, 0x4C, 0)}},
    {"clear flag reset", [] { k4160_reset_clear_flag(1); }, {PldWrite(1, 0x5C, 0)}},
    {"counter flag reset", [] { k4160_reset_counter_flag(1); }, {PldWrite(1, 0x64, 0)}},
    {"counter flag reset, card 16", [] { k4160_reset_counter_flag(16); }, {}},
    {"encoder filter capped at 254", [] { k4160_config_encoder_filter(3, 300); },
     {PldRead(1, 0x7C, 0x11223344), PldWrite(1, 0x7C, 0x1122FE44)}},
    {"encoder filter of chip axis 0", [] { k4160_config_encoder_filter(2, 7); },
     {PldRead(1, 0x7C, 0x11223344), PldWrite(1, 0x7C, 0x11223307)}},
    // Setters whose accesses go beyond one field, and refused arguments.
    {"SD: operation mode, then signal configuration 1", [] { k4160_config_SD_PIN(3, 0, 0, 1); },
     {PclRead(1, 1, 0xD7, 0x04000100), PclWrite32(1, 1, 0x97, 0x04000000), PclRead(1, 1, 0xDC, 0x33),
      PclWrite32(1, 1, 0x9C, 0x13)}},
    {"LTC: both chip registers, then the card register twice", [] { k4160_config_LTC_PIN(3, 1, 1); },
     {PclRead(1, 1, 0xDC, 0x33), PclWrite32(1, 1, 0x9C, 0x800033), PclRead(1, 1, 0xDE, 0), PclWrite32(1, 1, 0x9E, B(13)),
      PldRead(1, 0x48, 0x12FF0301), PldWrite(1, 0x48, 0x12FF0303), PldRead(1, 0x48, 0x12FF0303),
      PldWrite(1, 0x48, 0x12FF0103)}},
    {"EZ on the card counters: bit 6 cleared, then set, around the counter byte", [] { k4160_config_EZ_PIN(3, 1, 2); },
     {PldRead(1, 0x48, 0x12FF0301), PldWrite(1, 0x48, 0x12FF0321), PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0x8F),
      PldRead(1, 0x40, 0x38383838), PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0xCF), PldRead(1, 0x40, 0x38383838),
      PldWrite(1, 0x40, 0x3838F838)}},
    // PWM: period and high counts of the 33.4878 MHz clock, then the enable.
    {"PWM 1 at 500 Hz runs at 1000 Hz", [] { EXPECT_EQ(k4160_config_PWM_PIN(1, 1, 500.0, 0.5), 0); },
     {PldWrite(1, 0xC4, 33488), PldWrite(1, 0xC8, 16744), PldWrite(1, 0xC0, 1)}},
    {"PWM 2 capped at 180 kHz, duty above 1", [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 7, 1e9, 1.5), 0); },
     {PldWrite(1, 0xD0, 187), PldWrite(1, 0xD4, 186), PldWrite(1, 0xCC, 1)}},
    {"PWM 2 off, duty below 0", [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 0, 2000.0, -3.0), 0); },
     {PldWrite(1, 0xD0, 16744), PldWrite(1, 0xD4, 1), PldWrite(1, 0xCC, 0)}},
    // NaN passes neither the frequency clamps nor the duty comparisons: the x86 conversion's
    // 0x80000000 stands for the period, and the duty of 1 still writes period - 1.
    {"PWM 2 at NaN Hz, duty 1", [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 1, std::nan(""), 1.0), 0); },
     {PldWrite(1, 0xD0, 0x80000000u), PldWrite(1, 0xD4, 0x7FFFFFFFu), PldWrite(1, 0xCC, 1)}},
    {"PWM 2 at 1000 Hz, duty NaN", [] { EXPECT_EQ(k4160_config_PWM2_PIN(1, 1, 1000.0, std::nan("")), 0); },
     {PldWrite(1, 0xD0, 33488), PldWrite(1, 0xD4, 0x80000000u), PldWrite(1, 0xCC, 1)}},
    {"ERC mode 4", [] { k4160_config_ERC_PIN(0, 4, 0, 0, 0); }, {}},
    {"ERC logic 2", [] { k4160_config_ERC_PIN(0, 0, 2, 0, 0); }, {}},
    {"ERC code 2 above 3", [] { k4160_config_ERC_PIN(0, 0, 0, 0, 4); }, {}},
    {"EMG enable 2", [] { k4160_config_EMG_PIN(0, 2, 0); }, {}},
    {"trigger channel 2", [] { k4160_triger_chunnel(0, 2); }, {}},
    {"output value 2", [] { k4160_write_outbit(0, 5, 2); }, {}},
    {"pulse output mode 8", [] { k4160_set_pulse_outmode(1, 8); }, {}},
    {"axis 32 (card 16)", [] { k4160_config_SD_PIN(32, 1, 1, 1); }, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    kpx4160_sim_set_pcl_register(1, 1, 0x97, 0x04000100);
    kpx4160_sim_set_pcl_register(1, 1, 0x9C, 0x33);
    kpx4160_sim_set_pcl_register(1, 1, 0x9E, 0);
    kpx4160_sim_set_pld_register(1, 0x40, 0x38383838);
    kpx4160_sim_set_pld_register(1, 0x44, 0);
    kpx4160_sim_set_pld_register(1, 0x48, 0x12FF0301);
    kpx4160_sim_set_pld_register(1, 0x78, 0x8F);
    kpx4160_sim_set_pld_register(1, 0x7C, 0x11223344);
    kpx4160_sim_trace_clear();
    c.call();
    EXPECT_EQ(DecodedTrace(), c.want);
  }
  // Pulse output modes 0-7 are chip codes 0, 1, 2, 3, 4, 7, 5, 6 in bits 0-2.
  const uint32_t codes[8] = {0, 1, 2, 3, 4, 7, 5, 6};
  for (uint16_t mode = 0; mode < 8; ++mode) {
    kpx4160_sim_set_pcl_register(1, 1, 0xDC, 0xAAAAAAAD);
    kpx4160_sim_trace_clear();
    k4160_set_pulse_outmode(3, mode);
    EXPECT_EQ(DecodedTrace(), (Ops{PclRead(1, 1, 0xDC, 0xAAAAAAAD), PclWrite32(1, 1, 0x9C, 0xAAAAAAA8 | codes[mode])}))
        << mode;
  }
}

TEST_F(PulseEncoder, ReadsDecodeTheirRegisters) {
  enum Where { kPld, kChip1, kSubStatus0, kSubStatus1 };  // card 1; chip registers of chip axis 1
  struct Case {
    const char *what;
    Where where;
    unsigned code;
    uint32_t raw;
    std::function<int64_t()> read;
    int64_t want;
  } const cases[] = {
    // Card counters are 28 bits, sign-extended; bits 28-31 are not part of them.
    {"encoder, lowest", kPld, 0x10, 0x08000000, [] { return k4160_get_encoder(3); }, -134217728},
    {"encoder, highest", kPld, 0x10, 0x07FFFFFF, [] { return k4160_get_encoder(3); }, 134217727},
    {"encoder, high nibble dropped", kPld, 0x10, 0xF0000005, [] { return k4160_get_encoder(3); }, 5},
    {"encoder of chip axis 0", kPld, 0x00, 77, [] { return k4160_get_encoder(2); }, 77},
    {"chip encoder", kChip1, 0xE4, U(-123), [] { return k4160_get_encoder_pcl(3); }, -123},
    {"latch value", kPld, 0x0C, 0xF0000005, [] { return k4160_get_latch_value(2); }, 5},
    {"latch value, lowest", kPld, 0x1C, 0x08000000, [] { return k4160_get_latch_value(3); }, -134217728},
    {"latch value, highest", kPld, 0x1C, 0x07FFFFFF, [] { return k4160_get_latch_value(3); }, 134217727},
    {"latch flags", kPld, 0x48, 0x12FE0000, [] { return k4160_get_latch_flag(1); }, 0x1201},
    {"chip latch 1", kChip1, 0xED, 0xDEADBEEF, [] { return k4160_get_rcun_latch_value(3, 1); }, 0xDEADBEEF},
    {"chip latch 2", kChip1, 0xEE, 0x01234567, [] { return k4160_get_rcun_latch_value(3, 2); }, 0x01234567},
    {"chip latch 3 is none", kChip1, 0xED, 1, [] { return k4160_get_rcun_latch_value(3, 3); }, 0},
    {"counter flags: low nibbles", kPld, 0x50, ~0u, [] { return k4160_get_counter_flag(1); }, 0x0F0F0F0F},
    {"counter flags: high nibbles", kPld, 0x50, 0xF0F0F0F0, [] { return k4160_get_counter_flag(1); }, 0},
    {"counter flags of card 16", kPld, 0x50, ~0u, [] { return k4160_get_counter_flag(16); }, 0},
    // Sub-status: bit 1 is RDY (low: ready), bit 3 the CMP terminal (high: off).
    {"not ready", kSubStatus1, 0, 0x0002, [] { return k4160_read_RDY_PIN(3); }, 0},
    {"ready", kSubStatus0, 0, 0x000D, [] { return k4160_read_RDY_PIN(2); }, 1},
    {"CMP terminal off", kSubStatus1, 0, 0x0008, [] { return k4160_read_CMP_PIN(3); }, 0},
    {"CMP terminal on", kSubStatus0, 0, 0x0007, [] { return k4160_read_CMP_PIN(2); }, 1},
    // Output port: servo-on is active low, bit 12 + chip axis.
    {"servo on", kPld, 0x44, 0xFFFFDFFF, [] { return k4160_read_SEVON_PIN(3); }, 1},
    {"servo off", kPld, 0x44, 0xFFFFDFFF, [] { return k4160_read_SEVON_PIN(2); }, 0},
  };
  for (const Case &c : cases) {
    if (c.where == kPld) kpx4160_sim_set_pld_register(1, c.code, c.raw);
    if (c.where == kChip1) kpx4160_sim_set_pcl_register(1, 1, c.code, c.raw);
    if (c.where == kSubStatus0 || c.where == kSubStatus1)
      kpx4160_sim_set_sub_status(1, c.where == kSubStatus1, static_cast<uint16_t>(c.raw));
    EXPECT_EQ(c.read(), c.want) << c.what;
  }
}

}  // namespace
}  // namespace kpx::test
