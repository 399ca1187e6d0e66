// Opening, resetting and closing the cards, the default state the opening
// leaves every card, axis and the vector profile in, and the card's identity,
// read from the register traffic.
#include <cstring>
#include <string>
#include <tuple>

#include "core/board.h"
#include "core/core_fixture.h"
#include "device/error_text.h"
#include "motion/axis_profile.h"

namespace kpx::test {
namespace {

class BoardLifecycle : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    motion::ClearAllProfiles();  // profile records outlive a test
  }
};

// True when `want` appears in `ops` in order, other operations allowed in between.
::testing::AssertionResult InOrderWithin(const std::vector<RegisterOp> &ops, const std::vector<RegisterOp> &want) {
  size_t next = 0;
  for (const RegisterOp &o : ops) next += next < want.size() && o == want[next];
  if (next == want.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing or out of order: " << ToString(want[next]);
}

// Per card: the PLD start-up writes (or the reset command), the latch mode's read-modify-write of
// PldConfig, then per chip axis the signal configurations, SignalConfig2 read back after its first write.
std::vector<RegisterOp> Startup(uint32_t cards, bool reset) {
  const uint32_t sc2 = 0x00440000, v = (sc2 & ~0x1FBFu) | 0x40;
  std::vector<RegisterOp> want;
  for (uint32_t c = 0; c < cards; ++c) {
    if (reset) want.push_back(Command(c, 0, 0x0F04));
    else want.insert(want.end(), {PldWrite(c, 0x78, 0x8F), PldWrite(c, 0x40, 0x38383838), PldRead(c, 0x78, 0x8F)});
    for (uint32_t a = 0; a < 2; ++a)
      want.insert(want.end(), {PclWrite32(c, a, 0x9C, 0x0C151000), PclWrite32(c, a, 0x9D, sc2), PclRead(c, a, 0xDD, sc2),
                               PclWrite32(c, a, 0x9D, v), PclWrite32(c, a, 0x9D, v | 0xD40)});
  }
  return want;
}

// Magnification, start, max, accel, decel, range mode, count source, pulse equivalent.
using Record = std::tuple<int, int, int, int, int, int, int, double>;
Record RecordOf(uint16_t axis) {
  const motion::AxisProfile &p = *motion::ProfileFor(axis);
  return {p.magnification, p.start_speed, p.max_speed, p.accel_rate, p.decel_rate, p.range_mode, p.count_source,
          p.pulse_equivalent};
}
const Record kDefaultRecord{1199, 1000, 2000, 982, 982, 0, 0, 1.0};

TEST_F(BoardLifecycle, InitWritesStartupRegistersAndDefaultsInOrder) {
  kpx4160_sim_set_card_count(2);
  motion::AxisProfile &leftover = *motion::ProfileFor(3);  // an earlier program's
  std::tie(leftover.range_mode, leftover.count_source, leftover.pulse_equivalent) = std::tuple(1, 7, 4.0);
  kpx4160_sim_set_pcl_register(1, 1, 0x97, 0xFFFFFFFF);
  ASSERT_EQ(k4160_board_init(), 2u);
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), Startup(2, false)));
  for (uint16_t axis = 0; axis < 4; ++axis) EXPECT_EQ(RecordOf(axis), kDefaultRecord) << axis;
  const motion::VectorProfile &v = motion::TheVectorProfile();
  EXPECT_EQ(std::tie(v.start_speed, v.max_speed, v.accel_time, v.decel_time), std::tuple(1000.0, 5000.0, 0.1, 0.1));
  // The profile reached the chip's speed pre-registers; the operation mode's sync mode (bits 18-19)
  // and sync flags (24-25) are cleared; outputs 15-20 read back on.
  for (auto [code, mask, value] : {std::tuple{0x81, 0xFFFFu, 1000u}, {0x82, 0xFFFFu, 2000u}, {0x85, 0xFFFFu, 1199u},
                                   {0x97, 0x030C0000u, 0u}})
    EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, code) & mask, value) << code;
  EXPECT_EQ(k4160_read_outport(1) & 0xFC000u, 0xFC000u);
  // From a register with every bit set, InitSignalConfig2 keeps bits 13-31 and bit 6, clears bits
  // 0-5 and 7-12; the second write adds bits 8, 10 and 11.
  kpx4160_sim_set_pcl_register(0, 1, 0x9D, 0xFFFFFFFF);
  kpx4160_sim_trace_clear();
  core::InitSignalConfig2(0, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclRead(0, 1, 0xDD, 0xFFFFFFFF),
                                                    PclWrite32(0, 1, 0x9D, 0xFFFFE040),
                                                    PclWrite32(0, 1, 0x9D, 0xFFFFED40)}));
  // A reset rewrites the signal configuration after each card's reset command, restores speed range
  // and pulse equivalent, and leaves the PLD and the rest of the profile alone.
  k4160_variety_speed_range(0, 1, 100000.0);  // fixed range
  k4160_set_profile(0, 500.0, 3000.0, 0.2, 0.3);
  k4160_set_equiv(0, 2.5);
  Set_cnt_src(0, 1);
  Record want = RecordOf(0);
  ASSERT_EQ(std::get<5>(want), 1);
  std::get<5>(want) = 0, std::get<7>(want) = 1.0;
  kpx4160_sim_trace_clear();
  k4160_board_reset();
  EXPECT_EQ(DecodedTrace().front(), Command(0, 0, 0x0F04));
  EXPECT_TRUE(Only(DecodedTrace(), Op::kPldWrite).empty());
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), Startup(2, true)));
  EXPECT_EQ(RecordOf(0), want);
}

TEST_F(BoardLifecycle, NestedInitAndCloseCount) {
  kpx4160_sim_set_card_count(2);
  ASSERT_EQ(k4160_board_init(), 2u);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(k4160_board_init(), 2u);  // already initialised: opens nothing
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardRegister), 2u);
  EXPECT_EQ(core::InitCount, 2u);
  k4160_board_close();  // matches the second init: releases nothing
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_NE(read_dword_pld_register(0, 0x60), 0u);
  kpx4160_sim_trace_clear();
  k4160_board_close();  // the last one: emergency stop of every card in order, then release
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(0, 0, 0x0F05), Command(1, 0, 0x0F05)}));
  EXPECT_EQ(kpx4160_sim_open_handles() + core::CardCount + read_dword_pld_register(0, 0x60), 0u);
  k4160_board_close();  // closing again does nothing
  EXPECT_EQ(core::InitCount, 0u);
  ASSERT_EQ(k4160_board_init(), 2u);  // a new init starts from scratch
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardRegister), 4u);
  // A nested init whose scan finds fewer cards lowers the count; the last close still releases every card.
  kpx4160_sim_set_card_count(1);
  EXPECT_EQ(k4160_board_init(), 1u);
  k4160_board_close();
  k4160_board_close();
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  for (uint16_t i = 0; i < core::kCardTableSize; ++i) EXPECT_EQ(core::CardTable[i].load(), nullptr);
}

TEST_F(BoardLifecycle, FailedSecondCardLeavesTheFirstOpenAndInitialised) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT);
  EXPECT_EQ(k4160_board_init(), 1002u);
  EXPECT_STREQ(device::ErrorText(), "Card does not have all items expected for KPX4X60\n");
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x9D), 0x00440D40u);  // card 0 fully set up
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x78), 0u);              // card 1 untouched
  EXPECT_EQ(RecordOf(1), kDefaultRecord);
  EXPECT_EQ(RecordOf(2), Record{});  // card 1's axes and the vector profile got nothing
  EXPECT_EQ(motion::TheVectorProfile().max_speed, 0.0);
  EXPECT_EQ(k4160_board_init(), 2u);  // register access stays enabled; another init retries nothing
  EXPECT_EQ(core::CardTable[1].load(), nullptr);
  CloseLibraryCompletely();
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NORMAL);  // after a full close the next init retries it
  EXPECT_EQ(k4160_board_init(), 2u);
  EXPECT_NE(core::CardTable[1].load(), nullptr);
}

TEST_F(BoardLifecycle, ErrorTextAndCardCounts) {
  char text[128];
  ASSERT_EQ(k4160_board_init(), 1u);
  EXPECT_EQ(k4160_get_error_text(text, sizeof text) + text[0], 0);  // nothing failed: empty
  k4160_board_close();
  kpx4160_sim_set_registration_status(0, 0x20000017);
  ASSERT_EQ(k4160_board_init(), 1001u);  // the first card failed; the count stays for the close
  EXPECT_EQ(core::InitCount, 1u);
  const std::string message = "Failed locking device. Status 0x20000017 - Failed to map in user space\n";
  for (auto [size, copied] : {std::pair{128u, message}, {7u, message.substr(0, 6)}, {1u, std::string()}, {0u, "x"}}) {
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(k4160_get_error_text(text, size), static_cast<int32_t>(message.size())) << size;
    EXPECT_EQ(std::string(text, copied.size() + 1), copied + (size ? '\0' : 'x')) << size;  // size 0 writes nothing
  }
  EXPECT_EQ(k4160_get_error_text(nullptr, 10), -1);
  CloseLibraryCompletely();
  kpx4160_sim_trace_clear();
  // No cards: nothing initialised, the close returns at once. More than the table holds: 16.
  kpx4160_sim_set_card_count(0);
  EXPECT_EQ(k4160_board_init() + core::InitCount + core::LibraryInitialised.load(), 0u);
  k4160_board_close();
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  kpx4160_sim_set_card_count(18);
  EXPECT_EQ(k4160_board_init(), 16u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 16u);
  EXPECT_EQ(std::pair(kpx4160_sim_get_pld_register(15, 0x78), kpx4160_sim_get_pld_register(16, 0x78)), std::pair(0x8Fu, 0u));
}

TEST_F(BoardLifecycle, IdentificationWords) {
  uint32_t a = 7, b = 7, word = 0, product = 0, firmware = 0, info[5] = {};
  char sn[10];
  EXPECT_EQ(k4160_get_lib_version(&a, nullptr) + k4160_get_lib_version(nullptr, &b) + k4160_get_sn(20, sn), -2);
  EXPECT_EQ(std::string(sn, 8), "VEV00000");  // no card 20: its words read as 0
  EXPECT_EQ(k4160_get_lib_version(&a, &b), 0);
  EXPECT_EQ(std::pair(a, b), std::pair(10000u, 10001u));
  OpenCards(1);
  kpx4160_sim_set_pld_register(0, 0x60, 0xDEAD3A7F);  // serial from the low 16 bits only
  for (unsigned i = 0; i < 5; ++i) kpx4160_sim_set_pld_register(0, 0x64 + 4 * i, 0x44434241u + i);
  std::memset(sn, '#', sizeof sn);
  EXPECT_EQ(k4160_get_sn(0, sn) + k4160_read_password(0, &word) + k4160_read_company_information(0, info), 0);
  EXPECT_EQ(std::tuple(std::string(sn, 9), word), std::tuple("VEV03A7F#", 0xDEAD3A7Fu));  // no terminating zero
  EXPECT_EQ(std::vector<uint32_t>(info, info + 5),  // each word byte-reversed
            (std::vector<uint32_t>{0x41424344, 0x42424344, 0x43424344, 0x44424344, 0x45424344}));
  // Firmware from the three low characters of 0x74 ('2' '.' '5' is 2.50); byte 3 is ignored.
  for (auto [version, expected] : {std::pair{0xFF322E35u, 250u}, {0x00323035u, 205u}}) {
    kpx4160_sim_set_pld_register(0, 0x74, version);
    EXPECT_EQ(k4160_get_hard_version(0, &product, &firmware, nullptr, sn), 0);
    EXPECT_EQ(std::tuple(product, firmware, std::string(sn, 8)), std::tuple(4160u, expected, "VEV03A7F"));
  }
  EXPECT_EQ(k4160_get_sn(0, nullptr) + k4160_read_password(0, nullptr) + k4160_read_company_information(0, nullptr) +
                k4160_get_hard_version(0, nullptr, &firmware, nullptr, sn) +
                k4160_get_hard_version(0, &product, nullptr, nullptr, sn) +
                k4160_get_hard_version(0, &product, &firmware, nullptr, nullptr),
            -6);
}

}  // namespace
}  // namespace kpx::test
