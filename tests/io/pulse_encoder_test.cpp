// Pulse output mode, encoder counters, filter and counter flags: the bits
// each write keeps and changes (the count and handwheel input modes are in
// the shared-register tables of signal_fields_test.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/registers.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class PulseEncoder : public SimTest {};
using Ops = std::vector<RegisterOp>;

TEST_F(PulseEncoder, PulseOutputModeTranslationKeepsOtherBits) {
  OpenCards(1);
  const uint32_t codes[8] = {0, 1, 2, 3, 4, 7, 5, 6};
  for (uint16_t mode = 0; mode < 8; ++mode) {
    SCOPED_TRACE(mode);
    kpx4160_sim_set_pcl_register(0, 1, 0xDC, 0xAAAAAAAD);
    kpx4160_sim_trace_clear();
    k4160_set_pulse_outmode(1, mode);
    EXPECT_EQ(DecodedTrace(),
              (Ops{PclRead(0, 1, 0xDC, 0xAAAAAAAD), PclWrite32(0, 1, 0x9C, 0xAAAAAAA8 | codes[mode])}));
  }
  kpx4160_sim_trace_clear();
  k4160_set_pulse_outmode(1, 8);
  k4160_set_pulse_outmode(0, 0xFFFF);
  EXPECT_TRUE(DecodedTrace().empty());
  // Chip axis 0 has its own register.
  kpx4160_sim_set_pcl_register(0, 0, 0xDC, 0x0C151000);
  k4160_set_pulse_outmode(1, 3);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0xDC), 0x0C151000u);
}

TEST_F(PulseEncoder, PulseOutputModeBeforeInitAndUnderHeldLock) {
  k4160_set_pulse_outmode(0, 1);  // no card, no lock yet: nothing, no hang
  EXPECT_TRUE(DecodedTrace().empty());
  OpenCards(1);
  {
    core::RegisterTransaction held;  // re-entrant: the same thread may call it
    k4160_set_pulse_outmode(0, 2);
  }
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x9C) & 7u, 2u);
}

TEST_F(PulseEncoder, ThreadedPulseOutputModeLosesNoConcurrentUpdate) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 0, 0xDC, 0);
  kpx4160_sim_trace_enable(0);
  // One thread counts in bits 16-31 of SignalConfig1 with its own locked
  // read-modify-write while another keeps changing the pulse output mode.
  // If the mode's read and write were not one locked step, a count written
  // between them would be overwritten by the stale value.
  constexpr uint32_t kCounts = 20000;
  std::atomic<bool> done{false};
  std::thread mode_writer([&] {
    for (uint16_t m = 0; !done; m = static_cast<uint16_t>((m + 1) & 7)) k4160_set_pulse_outmode(0, m);
  });
  for (uint32_t i = 0; i < kCounts; ++i) {
    core::RegisterTransaction held;
    const uint32_t v = core::ReadPclRegister32(0, 0, 0xDC);
    core::WritePclRegister32(0, 0, 0x9C, v + 0x10000);
  }
  done = true;
  mode_writer.join();
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x9C) >> 16, kCounts);
}

TEST_F(PulseEncoder, PldEncoderSignExtensionAndPreset) {
  OpenCards(1);
  struct Case {
    uint32_t raw;
    int32_t value;
  } cases[] = {{0x08000000, -134217728}, {0x07FFFFFF, 134217727}, {0xF0000005, 5}, {0x0FFFFFFF, -1}, {0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.raw);
    kpx4160_sim_set_pld_register(0, 0x10, c.raw);
    EXPECT_EQ(k4160_get_encoder(1), c.value);
  }
  kpx4160_sim_set_pld_register(0, 0x00, 77);
  EXPECT_EQ(k4160_get_encoder(0), 77);
  kpx4160_sim_trace_clear();
  k4160_set_encoder(1, 134217727);
  k4160_set_encoder(0, -134217727);
  k4160_set_encoder(1, 134217728);
  k4160_set_encoder(1, -134217728);
  k4160_set_encoder(1, INT32_MIN);
  EXPECT_EQ(DecodedTrace(), (Ops{PldWrite(0, 0x18, 134217727), PldWrite(0, 0x1C, 0),
                                 PldWrite(0, 0x08, 0xF8000001), PldWrite(0, 0x0C, 0)}));
}

TEST_F(PulseEncoder, ChipEncoderCounter) {
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 1, 0xE4, 0xFFFFFF85);
  EXPECT_EQ(k4160_get_encoder_pcl(1), -123);
  kpx4160_sim_trace_clear();
  k4160_set_encoder_pcl(1, -134217727);
  k4160_set_encoder_pcl(1, 134217728);
  k4160_set_encoder_pcl(0, INT32_MIN);
  k4160_set_encoder_pcl(0, 134217727);
  EXPECT_EQ(DecodedTrace(), (Ops{PclWrite32(0, 1, 0xA4, 0xF8000001), PclWrite32(0, 0, 0xA4, 134217727)}));
}

TEST_F(PulseEncoder, EncoderFilterByteCappedAt254) {
  OpenCards(1);
  kpx4160_sim_set_pld_register(0, 0x7C, 0x11223344);
  k4160_config_encoder_filter(1, 300);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x7C), 0x1122FE44u);
  k4160_config_encoder_filter(0, 255);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x7C), 0x1122FEFEu);
  kpx4160_sim_set_pld_register(0, 0x7C, 0x1122FEFE);
  k4160_config_encoder_filter(0, 7);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x7C), 0x1122FE07u);
}

TEST_F(PulseEncoder, CounterFlagsMaskedAndReset) {
  OpenCards(2);
  kpx4160_sim_set_pld_register(1, 0x50, 0xFFFFFFFF);
  EXPECT_EQ(k4160_get_counter_flag(1), 0x0F0F0F0Fu);
  kpx4160_sim_set_pld_register(1, 0x50, 0xF0F0F0F0);
  EXPECT_EQ(k4160_get_counter_flag(1), 0u);
  kpx4160_sim_set_pld_register(1, 0x64, 0xFFFF);
  kpx4160_sim_trace_clear();
  k4160_reset_counter_flag(1);
  EXPECT_EQ(DecodedTrace(), (Ops{PldWrite(1, 0x64, 0)}));
  EXPECT_EQ(k4160_get_counter_flag(16), 0u);  // no such card
}

}  // namespace
}  // namespace kpx::test
