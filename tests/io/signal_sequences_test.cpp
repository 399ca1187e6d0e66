// Register sequences of the signal setters whose order or values matter
// beyond their fields: the SD read-modify-write order, the LTC and EZ
// sequences over chip and card registers, and the PWM counts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "io/pwm.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class SignalSequences : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

TEST_F(SignalSequences, SdReadsAndWritesModeThenSignalConfig1) {
  kpx4160_sim_set_pcl_register(1, 1, 0x97, 0x04000100);
  kpx4160_sim_set_pcl_register(1, 1, 0x9C, 0xFFFFFFFF);
  kpx4160_sim_trace_clear();
  k4160_config_SD_PIN(3, 0, 0, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{
                                PclRead(1, 1, 0xD7, 0x04000100), PclWrite32(1, 1, 0x97, 0x04000000),
                                PclRead(1, 1, 0xDC, 0xFFFFFFFF), PclWrite32(1, 1, 0x9C, 0xFFFFFF9F)}));
}

TEST_F(SignalSequences, LtcTouchesChipThenCardTwice) {
  kpx4160_sim_set_pld_register(1, 0x48, 0x00000300);
  kpx4160_sim_set_pcl_register(1, 1, 0x9C, 0);
  kpx4160_sim_set_pcl_register(1, 1, 0x9E, 0);
  kpx4160_sim_trace_clear();
  k4160_config_LTC_PIN(3, 1, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{
                                PclRead(1, 1, 0xDC, 0), PclWrite32(1, 1, 0x9C, 1u << 23),
                                PclRead(1, 1, 0xDE, 0), PclWrite32(1, 1, 0x9E, 1u << 13),
                                PldRead(1, 0x48, 0x300), PldWrite(1, 0x48, 0x302),
                                PldRead(1, 0x48, 0x302), PldWrite(1, 0x48, 0x102)}));
}

TEST_F(SignalSequences, EzModesOnCardRegisters) {
  kpx4160_sim_set_pld_register(1, 0x40, 0x38383838);
  kpx4160_sim_set_pld_register(1, 0x78, 0x0000008F);
  kpx4160_sim_trace_clear();
  k4160_config_EZ_PIN(3, 1, 2);  // chip axis 1, card counters
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{
                                // EZ logic of chip axis 1; the idle latch flags (bits 16-23) read back
                                PldRead(1, 0x48, 0xFF0000), PldWrite(1, 0x48, 0xFF0020),
                                PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0x8F),          // bit 6 cleared
                                PldRead(1, 0x40, 0x38383838),                             // working value
                                PldRead(1, 0x78, 0x8F), PldWrite(1, 0x78, 0xCF),          // bit 6 set
                                PldRead(1, 0x40, 0x38383838),                             // read again
                                PldWrite(1, 0x40, 0x3838F838)}));                         // bits 11-15 set
  k4160_config_EZ_PIN(2, 0, 0);  // chip axis 0 clears the card-wide bit again
  EXPECT_EQ(read_dword_pld_register(1, 0x78), 0x8Fu);
  EXPECT_EQ(read_dword_pld_register(1, 0x40), 0x3838F8F8u);
  k4160_config_EZ_PIN(2, 0, 1);
  EXPECT_EQ(read_dword_pld_register(1, 0x40), 0x3838F8E8u);
}

TEST_F(SignalSequences, PwmCountsAndWriteOrder) {
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_config_PWM_PIN(1, 1, 500.0, 0.5), 0);  // 500 Hz uses 1000 Hz
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0xC4, 33488), PldWrite(1, 0xC8, 16744),
                                                     PldWrite(1, 0xC0, 1)}));
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_config_PWM2_PIN(1, 7, 1e9, 1.5), 0);  // 180000 Hz; duty above 1; enable non-zero
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0xD0, 187), PldWrite(1, 0xD4, 186),
                                                     PldWrite(1, 0xCC, 1)}));
  kpx4160_sim_trace_clear();
  k4160_config_PWM2_PIN(1, 0, 1000.0, 0.25);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0xD0, 33488), PldWrite(1, 0xD4, 8372),
                                                     PldWrite(1, 0xCC, 0)}));

  using io::ComputePwmCounts;
  EXPECT_EQ(ComputePwmCounts(1000.0, 1.5).high, 33487u);
  EXPECT_EQ(ComputePwmCounts(1000.0, 1.0).high, 33487u);
  EXPECT_EQ(ComputePwmCounts(1000.0, 0.0).high, 1u);
  EXPECT_EQ(ComputePwmCounts(1000.0, -3.0).high, 1u);
  EXPECT_EQ(ComputePwmCounts(2000.0, 0.5).period, 16744u);  // 33487800 / 2000 + 1 = 16744.9
  EXPECT_EQ(ComputePwmCounts(2000.0, 0.5).high, 8372u);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(ComputePwmCounts(nan, nan).period, 0x80000000u);
  EXPECT_EQ(ComputePwmCounts(nan, nan).high, 0x80000000u);
  EXPECT_EQ(ComputePwmCounts(std::numeric_limits<double>::infinity(), 0.5).period, 187u);
  EXPECT_EQ(ComputePwmCounts(-std::numeric_limits<double>::infinity(), 0.5).period, 33488u);
}

TEST_F(SignalSequences, RefusedCallsTouchNothing) {
  kpx4160_sim_trace_clear();
  k4160_config_ERC_PIN(0, 4, 0, 0, 0);
  k4160_config_ERC_PIN(0, 0, 2, 0, 0);
  k4160_config_ERC_PIN(0, 0, 0, 8, 0);
  k4160_config_ERC_PIN(0, 0, 0, 0, 4);
  k4160_config_EMG_PIN(0, 2, 0);
  k4160_config_EMG_PIN(0, 0, 2);
  k4160_set_speaker_logic(0, 2);
  k4160_triger_chunnel(0, 3);
  k4160_write_SEVON_PIN(0, 2);
  k4160_write_ERC_PIN(0, 7);
  EXPECT_TRUE(DecodedTrace().empty());
  // Cards 16 and above address nothing; axis 32 and above are on such cards.
  k4160_config_SD_PIN(32, 1, 1, 1);
  k4160_config_EMG_PIN(16, 1, 1);
  k4160_config_EZ_PIN(65535, 1, 2);
  k4160_config_PWM_PIN(16, 1, 2000.0, 0.5);
  EXPECT_TRUE(DecodedTrace().empty());
}

}  // namespace
}  // namespace kpx::test
