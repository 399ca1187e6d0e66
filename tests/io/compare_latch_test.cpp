// Comparator data, soft-limit data order, CMP terminal, latch values and flags.
#include <gtest/gtest.h>

#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class CompareLatch : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenCards(2);
  }
};

TEST_F(CompareLatch, ComparatorAndSoftLimitDataOrder) {
  k4160_set_comparator_data(3, -1000, 5000);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite32(1, 1, 0xA7, static_cast<uint32_t>(-1000)),
                                                     PclWrite32(1, 1, 0xA8, 5000)}));
  kpx4160_sim_trace_clear();
  k4160_set_softlimit_data(2, -1000, 5000);  // limit_b first, to comparator 1
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclWrite32(1, 0, 0xA7, 5000),
                                                     PclWrite32(1, 0, 0xA8, static_cast<uint32_t>(-1000))}));
}

TEST_F(CompareLatch, SoftLimitsAndComparatorsOverwriteEachOther) {
  kpx4160_sim_set_pcl_register(1, 0, 0x9E, 0x12345678);
  kpx4160_sim_set_pcl_register(1, 1, 0x9E, 0);
  k4160_enable_softlimit(3, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9E), 0xB000u);  // bits 12, 13, 15
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, 0x9E), 0x12345678u);
  k4160_config_comparator(3, 1, 0, 1);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9E), 0x1000u);
  k4160_config_softlimit(3, 0);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9E), 0x1002u);
}

TEST_F(CompareLatch, CmpTerminal) {
  k4160_write_CMP_PIN(3, 0);
  k4160_write_CMP_PIN(2, 1);
  k4160_write_CMP_PIN(2, 9);
  EXPECT_EQ(Only(DecodedTrace(), Op::kCommand),
            (std::vector<RegisterOp>{Command(1, 1, 0x1B), Command(1, 0, 0x13), Command(1, 0, 0x13)}));
  kpx4160_sim_set_sub_status(1, 1, 0x0008);
  kpx4160_sim_set_sub_status(1, 0, 0x0007);
  EXPECT_EQ(k4160_read_CMP_PIN(3), 0);
  EXPECT_EQ(k4160_read_CMP_PIN(2), 1);
}

TEST_F(CompareLatch, LatchValuesAndFlags) {
  kpx4160_sim_set_pld_register(1, 0x0C, 0xF0000005);
  kpx4160_sim_set_pld_register(1, 0x1C, 0x08000000);
  EXPECT_EQ(k4160_get_latch_value(2), 5);
  EXPECT_EQ(k4160_get_latch_value(3), -134217728);
  kpx4160_sim_set_pld_register(1, 0x1C, 0x07FFFFFF);
  EXPECT_EQ(k4160_get_latch_value(3), 134217727);

  kpx4160_sim_set_pld_register(1, 0x48, 0x12FE0000);
  EXPECT_EQ(k4160_get_latch_flag(1), 0x1201u);
  kpx4160_sim_set_pcl_register(1, 1, 0xED, 0xDEADBEEF);
  kpx4160_sim_set_pcl_register(1, 1, 0xEE, 0x01234567);
  EXPECT_EQ(k4160_get_rcun_latch_value(3, 1), 0xDEADBEEFu);
  EXPECT_EQ(k4160_get_rcun_latch_value(3, 2), 0x01234567u);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_get_rcun_latch_value(3, 3), 0u);
  EXPECT_EQ(k4160_get_rcun_latch_value(3, 0xED), 0u);
  EXPECT_TRUE(DecodedTrace().empty());

  k4160_reset_latch_flag(1);
  k4160_reset_clear_flag(1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PldWrite(1, 0x4C, 0), PldWrite(1, 0x5C, 0)}));

  CloseLibraryCompletely();
  EXPECT_EQ(k4160_get_latch_flag(1), 0xFFu);
  EXPECT_EQ(k4160_read_CMP_PIN(0), 1);
}

}  // namespace
}  // namespace kpx::test
