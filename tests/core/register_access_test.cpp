// Port sequences of the register accessors, on the simulated card's trace.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/registers.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using core::ReadPclRegister16;
using core::ReadPclRegister32;
using core::WritePclRegister16;
using core::WritePclRegister32;

class RegisterAccess : public SimTest {};

kpx4160_sim_access W16(uint32_t card, uint32_t offset, uint32_t value) { return {card, 1, offset, 16, value, 1}; }
kpx4160_sim_access R16(uint32_t card, uint32_t offset, uint32_t value) { return {card, 1, offset, 16, value, 0}; }

void ExpectRaw(const std::vector<kpx4160_sim_access> &want) {
  const auto got = RawTrace();
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].card, want[i].card);
    EXPECT_EQ(got[i].space, want[i].space);
    EXPECT_EQ(got[i].offset, want[i].offset);
    EXPECT_EQ(got[i].width, want[i].width);
    EXPECT_EQ(got[i].value, want[i].value);
    EXPECT_EQ(got[i].is_write, want[i].is_write);
  }
}

TEST_F(RegisterAccess, ThirtyTwoBitWriteAndReadPortOrder) {
  OpenCards(1);
  // Chip axis 1: ports at 0xA0 (command), 0xB0 (low), 0xB8 (high).
  WritePclRegister32(0, 8, 0x80, 0x12345678);
  EXPECT_EQ(ReadPclRegister32(0, 8, 0xC0), 0x12345678u);
  ExpectRaw({W16(0, 0xB0, 0x5678), W16(0, 0xB8, 0x1234), W16(0, 0xA0, 0x80),  // low, high, then code
             W16(0, 0xA0, 0xC0), R16(0, 0xB8, 0x1234), R16(0, 0xB0, 0x5678)});  // code, high, then low
}

TEST_F(RegisterAccess, SixteenBitWriteLeavesDataHighAlone) {
  OpenCards(1);
  WritePclRegister32(0, 0, 0x81, 0xAAAA0001);
  kpx4160_sim_trace_clear();
  WritePclRegister16(0, 0, 0x82, 0x4321);
  ExpectRaw({W16(0, 0x90, 0x4321), W16(0, 0x80, 0x82)});
  // The data-high port still holds the earlier value, and a 16-bit read
  // returns only the low port.
  kpx4160_sim_trace_clear();
  EXPECT_EQ(ReadPclRegister16(0, 0, 0xC2), 0x4321u);
  ExpectRaw({W16(0, 0x80, 0xC2), R16(0, 0x90, 0x4321)});
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x82) >> 16, 0xAAAAu);
}

TEST_F(RegisterAccess, RawExportsAddressTheRightPorts) {
  kpx4160_sim_set_card_count(2);
  ASSERT_EQ(k4160_board_init(), 2u);
  kpx4160_sim_trace_clear();
  kpx4160_sim_set_pld_register(1, 0x74, 0xCAFEF00D);
  kpx4160_sim_set_sub_status(1, 1, 0x0005);
  kpx4160_sim_set_pcl_register(0, 1, 0xE3, 0xFFFFFC18);

  write_word_pcl_otpw(1, 8, 0x00FF);
  EXPECT_EQ(read_word_pcl_sstsw(1, 8) & 0x7, 0x5u);
  EXPECT_EQ(read_dword_pld_register(1, 0x74), 0xCAFEF00Du);
  write_dword_pld_register(1, 0x44, 0x0000BEEF);
  EXPECT_EQ(k4160_read_pcl_register(0, 1, 0xE3), 0xFFFFFC18u);
  k4160_write_pcl_register(1, 0, 0x9C, 0x01020304);

  const auto raw = RawTrace();
  ASSERT_GE(raw.size(), 6u);
  EXPECT_EQ(raw[0].offset, 0xA8u);  // OTPW of chip axis 1
  EXPECT_EQ(raw[0].card, 1u);
  EXPECT_EQ(raw[1].offset, 0xA8u);  // SSTSW of chip axis 1
  EXPECT_EQ(raw[2].offset, 0x74u);
  EXPECT_EQ(raw[2].width, 32u);
  EXPECT_EQ(raw[3].offset, 0x44u);
  EXPECT_EQ(raw[4].offset, 0xA0u);  // command port of chip axis 1, card 0
  EXPECT_EQ(raw[4].card, 0u);
  EXPECT_EQ(kpx4160_sim_get_otpw(1, 1), 0x00FFu);
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x44), 0x0000BEEFu);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 0, 0x9C), 0x01020304u);
}

// The PLD decodes whole dwords: the card drops a dword write at an offset
// that is not a multiple of 4 and reads such a dword as 0, and the simulated
// card counts both (the fixture fails any test that makes one).
TEST_F(RegisterAccess, MisalignedDwordPldAccessIsAnErrorOnTheCard) {
  OpenCards(1);
  const uint32_t outputs = kpx4160_sim_get_pld_register(0, 0x44);
  EXPECT_EQ(read_dword_pld_register(0, 0x61), 0u);
  write_dword_pld_register(0, 0x46, 0xFFFFFFFF);
  EXPECT_EQ(kpx4160_sim_get_pld_register(0, 0x44), outputs);
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0x00010001u);
  EXPECT_EQ(kpx4160_sim_misaligned_accesses(), 2u);
  kpx4160_sim_reset();
  EXPECT_EQ(kpx4160_sim_misaligned_accesses(), 0u);
}

TEST_F(RegisterAccess, SilentBeforeInitAfterCloseAndOutsideTheTable) {
  kpx4160_sim_set_pld_register(0, 0x60, 0x11111111);
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0u);
  write_dword_pld_register(0, 0x44, 1);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);

  OpenCards(1);
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0x11111111u);
  kpx4160_sim_trace_clear();
  // Card 1 is an empty slot; card numbers from 16 up lie outside the table.
  for (uint16_t card : {uint16_t{1}, uint16_t{15}, uint16_t{16}, uint16_t{0xFFFF}}) {
    EXPECT_EQ(read_dword_pld_register(card, 0x60), 0u);
    EXPECT_EQ(k4160_read_pcl_register(card, 0, 0xC0), 0u);
    EXPECT_EQ(read_word_pcl_sstsw(card, 0), 0u);
    write_dword_pld_register(card, 0x44, 1);
    k4160_write_pcl_register(card, 1, 0x80, 1);
  }
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);

  k4160_board_close();
  kpx4160_sim_trace_clear();
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0u);
  k4160_write_pcl_register(0, 0, 0x80, 5);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(RegisterAccess, LockIsReentrantAcrossReadAndWrite) {
  OpenCards(1);
  {
    core::RegisterTransaction hold;
    const uint32_t v = ReadPclRegister32(0, 0, 0xD7);
    WritePclRegister32(0, 0, 0x97, v | 0x200);
  }
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x97), 0x200u);
}

TEST_F(RegisterAccess, ThreadedPortSequencesNeverInterleave) {
  OpenCards(1);
  // Each thread writes its own register on the same chip axis and reads it
  // back; an interleaved port sequence would latch another thread's data.
  constexpr int kThreads = 4, kRounds = 300;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &mismatches] {
      const auto code = static_cast<uint16_t>(0xA0 + t);
      for (int i = 0; i < kRounds; ++i) {
        const uint32_t v = static_cast<uint32_t>(t) << 24 | static_cast<uint32_t>(i) << 4 | 0x5;
        WritePclRegister32(0, 0, code, v);
        if (ReadPclRegister32(0, 0, static_cast<uint16_t>(code + 0x40)) != v) ++mismatches;
      }
    });
  for (auto &th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace kpx::test
