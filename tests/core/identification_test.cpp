// Card identity and versions.
#include <gtest/gtest.h>

#include <cstring>

#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class Identification : public SimTest {};

TEST_F(Identification, SerialNumberUsesOnlyTheLowSixteenBits) {
  OpenCards(1);
  kpx4160_sim_set_pld_register(0, 0x60, 0xDEAD3A7F);
  char sn[10];
  std::memset(sn, '#', sizeof sn);
  EXPECT_EQ(k4160_get_sn(0, sn), 0);
  EXPECT_EQ(std::string(sn, 8), "VEV03A7F");
  EXPECT_EQ(sn[8], '#');  // no terminating zero
  uint32_t word = 0;
  EXPECT_EQ(k4160_read_password(0, &word), 0);
  EXPECT_EQ(word, 0xDEAD3A7Fu);
  EXPECT_EQ(Only(DecodedTrace(), Op::kPldWrite).size(), 0u);  // nothing is written
  EXPECT_EQ(k4160_get_sn(0, nullptr), -1);
  EXPECT_EQ(k4160_read_password(0, nullptr), -1);
}

TEST_F(Identification, CompanyWordsAreByteReversed) {
  OpenCards(1);
  for (unsigned i = 0; i < 5; ++i) kpx4160_sim_set_pld_register(0, 0x64 + 4 * i, 0x44434241u + i);
  uint32_t info[5] = {};
  EXPECT_EQ(k4160_read_company_information(0, info), 0);
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(info[i], __builtin_bswap32(0x44434241u + i));
  EXPECT_EQ(info[0], 0x41424344u);
  const auto reads = Only(DecodedTrace(), Op::kPldRead);
  ASSERT_EQ(reads.size(), 5u);
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(reads[i].code, 0x64u + 4 * i);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_read_company_information(0, nullptr), -1);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(Identification, FirmwareVersionFromThreeCharacters) {
  OpenCards(1);
  uint32_t product = 0, firmware = 0;
  char sn[8];
  kpx4160_sim_set_pld_register(0, 0x74, 0xFF322E35);  // '2' '.' '5'; byte 3 ignored
  EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, sn), 0);
  EXPECT_EQ(product, 4160u);
  EXPECT_EQ(firmware, 250u);
  kpx4160_sim_set_pld_register(0, 0x74, 0x00323035);  // '2' '0' '5'
  EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, sn), 0);
  EXPECT_EQ(firmware, 205u);
  kpx4160_sim_set_pld_register(0, 0x60, 0x0000BEEF);
  EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, sn), 0);
  EXPECT_EQ(std::string(sn, 8), "VEV0BEEF");
  EXPECT_EQ(k4160_get_hard_version(0, nullptr, &firmware, nullptr, sn), -1);
  EXPECT_EQ(k4160_get_hard_version(0, &product, nullptr, nullptr, sn), -1);
  EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, nullptr), -1);
}

TEST_F(Identification, LibraryVersionAndUnopenedCards) {
  uint32_t a = 7, b = 7;
  EXPECT_EQ(k4160_get_lib_version(&a, nullptr), -1);
  EXPECT_EQ(k4160_get_lib_version(nullptr, &b), -1);
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(b, 7u);
  EXPECT_EQ(k4160_get_lib_version(&a, &b), 0);
  EXPECT_EQ(a, 10000u);
  EXPECT_EQ(b, 10001u);
  // Before init every PLD read is 0: five zero words and a zero serial.
  uint32_t info[5] = {1, 1, 1, 1, 1};
  EXPECT_EQ(k4160_read_company_information(0, info), 0);
  for (uint32_t w : info) EXPECT_EQ(w, 0u);
  char sn[8];
  EXPECT_EQ(k4160_get_sn(20, sn), 0);
  EXPECT_EQ(std::string(sn, 8), "VEV00000");
}

}  // namespace
}  // namespace kpx::test
