// Pulse output mode, encoder counters, comparators, latches, the CMP, ERC and
// general terminals: the register traffic of every write and what every read
// makes of its register.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/registers.h"
#include "io/field_harness.h"

namespace kpx::test {
namespace {

class PulseEncoder : public IoTest {};
using Ops = std::vector<RegisterOp>;
constexpr uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

TEST_F(PulseEncoder, WritesPutTheirRegisterTrafficOnTheCard) {
  struct Case {
    const char *what;
    std::function<void()> call;
    Ops want;
  } const cases[] = {
    // Terminal commands: 0x10 + t switches terminal t off, 0x18 + t on; outputs 15-20 are terminals 4-6.
    {"outputs 15-20 on", [] { for (uint16_t n = 15; n <= 20; ++n) k4160_write_outbit(1, n, 1); },
     {Command(1, 0, 0x1C), Command(1, 1, 0x1C), Command(1, 0, 0x1D), Command(1, 1, 0x1D), Command(1, 0, 0x1E),
      Command(1, 1, 0x1E)}},
    {"outputs 15-20 off", [] { for (uint16_t n = 15; n <= 20; ++n) k4160_write_outbit(1, n, 0); },
     {Command(1, 0, 0x14), Command(1, 1, 0x14), Command(1, 0, 0x15), Command(1, 1, 0x15), Command(1, 0, 0x16),
      Command(1, 1, 0x16)}},
    {"port bits 14, 16, 18 on", [] { k4160_write_outport(1, 0xFFF54000); },
     {PldRead(1, 0x44, 0), PldWrite(1, 0x44, 0xCFFF), Command(1, 0, 0x1C), Command(1, 1, 0x14), Command(1, 0, 0x1D),
      Command(1, 1, 0x15), Command(1, 0, 0x1E), Command(1, 1, 0x16)}},
    {"ERC terminal on, off, refused",
     [] {
       k4160_write_ERC_PIN(3, 1);
       k4160_write_ERC_PIN(2, 0);
       k4160_write_ERC_PIN(2, 2);
     },
     {Command(1, 1, 0x24), Command(1, 0, 0x25)}},
    {"CMP terminal: 0 is on, any other value off",
     [] {
       k4160_write_CMP_PIN(3, 0);
       k4160_write_CMP_PIN(2, 1);
       k4160_write_CMP_PIN(2, 9);
     },
     {Command(1, 1, 0x1B), Command(1, 0, 0x13), Command(1, 0, 0x13)}},
    // Card encoder presets: 28 bits, out-of-range values refused; the load register transfers them.
    {"card encoder presets",
     [] {
       k4160_set_encoder(3, 134217727);
       k4160_set_encoder(2, -134217727);
       k4160_set_encoder(3, 134217728);
       k4160_set_encoder(3, -134217728);
       k4160_set_encoder(3, INT32_MIN);
     },
     {PldWrite(1, 0x18, 134217727), PldWrite(1, 0x1C, 0), PldWrite(1, 0x08, 0xF8000001), PldWrite(1, 0x0C, 0)}},
    {"chip encoder presets",
     [] {
       k4160_set_encoder_pcl(3, -134217727);
       k4160_set_encoder_pcl(3, 134217728);
       k4160_set_encoder_pcl(2, INT32_MIN);
       k4160_set_encoder_pcl(2, 134217727);
     },
     {PclWrite32(1, 1, 0xA4, 0xF8000001), PclWrite32(1, 0, 0xA4, 134217727)}},
    {"comparator data", [] { k4160_set_comparator_data(3, -1000, 5000); },
     {PclWrite32(1, 1, 0xA7, U(-1000)), PclWrite32(1, 1, 0xA8, 5000)}},
    {"soft limits: limit b first, to comparator 1", [] { k4160_set_softlimit_data(2, -1000, 5000); },
     {PclWrite32(1, 0, 0xA7, 5000), PclWrite32(1, 0, 0xA8, U(-1000))}},
    {"flag resets",
     [] {
       k4160_reset_latch_flag(1);
       k4160_reset_clear_flag(1);
       k4160_reset_counter_flag(1);
     },
     {PldWrite(1, 0x4C, 0), PldWrite(1, 0x5C, 0), PldWrite(1, 0x64, 0)}},
    {"encoder filter byte capped at 254",
     [] {
       k4160_config_encoder_filter(3, 300);
       k4160_config_encoder_filter(2, 7);
     },
     {PldRead(1, 0x7C, 0x11223344), PldWrite(1, 0x7C, 0x1122FE44), PldRead(1, 0x7C, 0x1122FE44),
      PldWrite(1, 0x7C, 0x1122FE07)}},
    {"no card 16",
     [] {
       k4160_reset_counter_flag(16);
       k4160_config_encoder_filter(32, 5);
     },
     {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    kpx4160_sim_set_pld_register(1, 0x44, 0);
    kpx4160_sim_set_pld_register(1, 0x7C, 0x11223344);
    kpx4160_sim_trace_clear();
    c.call();
    EXPECT_EQ(DecodedTrace(), c.want);
  }
  // Pulse output modes 0-7 are chip codes 0, 1, 2, 3, 4, 7, 5, 6; the other bits are kept.
  const uint32_t codes[8] = {0, 1, 2, 3, 4, 7, 5, 6};
  kpx4160_sim_set_pcl_register(1, 0, 0xDC, 0x0C151000);
  for (uint16_t mode = 0; mode < 8; ++mode) {
    kpx4160_sim_set_pcl_register(1, 1, 0xDC, 0xAAAAAAAD);
    kpx4160_sim_trace_clear();
    k4160_set_pulse_outmode(3, mode);
    EXPECT_EQ(DecodedTrace(), (Ops{PclRead(1, 1, 0xDC, 0xAAAAAAAD), PclWrite32(1, 1, 0x9C, 0xAAAAAAA8 | codes[mode])}))
        << mode;
  }
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, 0xDC), 0x0C151000u);
}

TEST_F(PulseEncoder, ReadsDecodeTheirRegisters) {
  struct Case {
    const char *what;
    std::function<void()> prepare;
    std::function<int64_t()> read;
    int64_t want;
  } const cases[] = {
    // Card counters are 28 bits, sign-extended; bits 28-31 are not part of them.
    {"encoder, most negative", [] { kpx4160_sim_set_pld_register(1, 0x10, 0x08000000); }, [] { return k4160_get_encoder(3); }, -134217728},
    {"encoder, most positive", [] { kpx4160_sim_set_pld_register(1, 0x10, 0x07FFFFFF); }, [] { return k4160_get_encoder(3); }, 134217727},
    {"encoder, high nibble dropped", [] { kpx4160_sim_set_pld_register(1, 0x10, 0xF0000005); }, [] { return k4160_get_encoder(3); }, 5},
    {"encoder -1", [] { kpx4160_sim_set_pld_register(1, 0x10, 0x0FFFFFFF); }, [] { return k4160_get_encoder(3); }, -1},
    {"encoder of chip axis 0", [] { kpx4160_sim_set_pld_register(1, 0x00, 77); }, [] { return k4160_get_encoder(2); }, 77},
    {"chip encoder", [] { kpx4160_sim_set_pcl_register(1, 1, 0xE4, U(-123)); }, [] { return k4160_get_encoder_pcl(3); }, -123},
    {"latch value", [] { kpx4160_sim_set_pld_register(1, 0x0C, 0xF0000005); }, [] { return k4160_get_latch_value(2); }, 5},
    {"latch value, negative", [] { kpx4160_sim_set_pld_register(1, 0x1C, 0x08000000); }, [] { return k4160_get_latch_value(3); }, -134217728},
    {"latch value, positive", [] { kpx4160_sim_set_pld_register(1, 0x1C, 0x07FFFFFF); }, [] { return k4160_get_latch_value(3); }, 134217727},
    {"latch flags", [] { kpx4160_sim_set_pld_register(1, 0x48, 0x12FE0000); }, [] { return k4160_get_latch_flag(1); }, 0x1201},
    {"chip latch 1", [] { kpx4160_sim_set_pcl_register(1, 1, 0xED, 0xDEADBEEF); }, [] { return k4160_get_rcun_latch_value(3, 1); }, 0xDEADBEEF},
    {"chip latch 2", [] { kpx4160_sim_set_pcl_register(1, 1, 0xEE, 0x01234567); }, [] { return k4160_get_rcun_latch_value(3, 2); }, 0x01234567},
    {"chip latch 3 is none", [] {}, [] { return k4160_get_rcun_latch_value(3, 3); }, 0},
    {"chip latch 0xED is none", [] {}, [] { return k4160_get_rcun_latch_value(3, 0xED); }, 0},
    {"counter flags: low nibbles", [] { kpx4160_sim_set_pld_register(1, 0x50, ~0u); }, [] { return k4160_get_counter_flag(1); }, 0x0F0F0F0F},
    {"counter flags: high nibbles", [] { kpx4160_sim_set_pld_register(1, 0x50, 0xF0F0F0F0); }, [] { return k4160_get_counter_flag(1); }, 0},
    {"counter flags of no card", [] {}, [] { return k4160_get_counter_flag(16); }, 0},
    // Sub-status: bit 1 is RDY (low: ready), bit 3 the CMP terminal (high: off).
    {"not ready", [] { kpx4160_sim_set_sub_status(1, 1, 0x0002); }, [] { return k4160_read_RDY_PIN(3); }, 0},
    {"ready", [] { kpx4160_sim_set_sub_status(1, 0, 0x000D); }, [] { return k4160_read_RDY_PIN(2); }, 1},
    {"CMP terminal off", [] { kpx4160_sim_set_sub_status(1, 1, 0x0008); }, [] { return k4160_read_CMP_PIN(3); }, 0},
    {"CMP terminal on", [] { kpx4160_sim_set_sub_status(1, 0, 0x0007); }, [] { return k4160_read_CMP_PIN(2); }, 1},
    // Output port: servo-on is active low, bit 12 + chip axis.
    {"servo on", [] { kpx4160_sim_set_pld_register(1, 0x44, 0xFFFFDFFF); }, [] { return k4160_read_SEVON_PIN(3); }, 1},
    {"servo off", [] { kpx4160_sim_set_pld_register(1, 0x44, 0xFFFFDFFF); }, [] { return k4160_read_SEVON_PIN(2); }, 0},
  };
  for (const Case &c : cases) {
    c.prepare();
    EXPECT_EQ(c.read(), c.want) << c.what;
  }
}

// One thread counts in bits 16-31 of signal configuration 1 with its own
// locked read-modify-write while another keeps changing the pulse output
// mode: if the mode's read and write were not one locked step, a count
// written between them would be overwritten by the stale value.
TEST_F(PulseEncoder, ThreadedPulseOutputModeLosesNoConcurrentUpdate) {
  kpx4160_sim_set_pcl_register(0, 0, 0xDC, 0);
  kpx4160_sim_trace_enable(0);
  constexpr uint32_t kCounts = 20000;
  std::atomic<bool> done{false};
  std::thread mode_writer([&] {
    for (uint16_t m = 0; !done; m = static_cast<uint16_t>((m + 1) & 7)) k4160_set_pulse_outmode(0, m);
  });
  for (uint32_t i = 0; i < kCounts; ++i) {
    core::RegisterTransaction held;
    core::WritePclRegister32(0, 0, 0x9C, core::ReadPclRegister32(0, 0, 0xDC) + 0x10000);
  }
  done = true;
  mode_writer.join();
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x9C) >> 16, kCounts);
}

}  // namespace
}  // namespace kpx::test
