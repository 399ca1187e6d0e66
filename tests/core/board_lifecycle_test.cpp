// Opening, resetting and closing the cards, read from the register traffic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/board.h"
#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

class BoardLifecycle : public SimTest {};

// The start-up writes of one chip axis, given what SignalConfig2 reads back
// after its first write.
std::vector<RegisterOp> ChipAxisStartup(uint32_t card, uint32_t axis) {
  const uint32_t sc2 = 0x00440000;
  const uint32_t v = (sc2 & ~0x1FBFu) | 0x40;
  return {PclWrite32(card, axis, 0x9C, 0x0C151000), PclWrite32(card, axis, 0x9D, sc2),
          PclRead(card, axis, 0xDD, sc2), PclWrite32(card, axis, 0x9D, v), PclWrite32(card, axis, 0x9D, v | 0xD40)};
}

// True when `want` appears in `ops` in order, other operations (the board
// defaults that follow each step) allowed in between.
::testing::AssertionResult InOrderWithin(const std::vector<RegisterOp> &ops, const std::vector<RegisterOp> &want) {
  size_t next = 0;
  for (const RegisterOp &o : ops)
    if (next < want.size() && o == want[next]) ++next;
  if (next == want.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing or out of order: " << ToString(want[next]) << " (step " << next
                                       << " of " << want.size() << ")";
}

TEST_F(BoardLifecycle, InitOpensEveryCardAndWritesStartupRegistersInOrder) {
  kpx4160_sim_set_card_count(2);
  ASSERT_EQ(k4160_board_init(), 2u);
  EXPECT_EQ(core::CardCount, 2u);
  EXPECT_EQ(core::InitCount, 1u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 2u);

  std::vector<RegisterOp> want;
  for (uint32_t card = 0; card < 2; ++card) {
    want.push_back(PldWrite(card, 0x78, 0x0000008F));
    want.push_back(PldWrite(card, 0x40, 0x38383838));
    for (uint32_t axis = 0; axis < 2; ++axis)
      for (const RegisterOp &o : ChipAxisStartup(card, axis)) want.push_back(o);
  }
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), want));
  EXPECT_EQ(kpx4160_sim_get_pcl_register(1, 1, 0x9D), 0x00440D40u);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 0, 0x9C), 0x0C151000u);
}

TEST_F(BoardLifecycle, InitSignalConfig2KeepsHighBitsAndRewritesTheLowFields) {
  // From a register with every bit set, bits 13-31 and bit 6 stay, bits 0-5
  // and 7-12 go; the second write adds bits 8, 10 and 11.
  OpenCards(1);
  kpx4160_sim_set_pcl_register(0, 1, 0x9D, 0xFFFFFFFF);
  core::InitSignalConfig2(0, 1);
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{PclRead(0, 1, 0xDD, 0xFFFFFFFF),
                                                    PclWrite32(0, 1, 0x9D, 0xFFFFE040),
                                                    PclWrite32(0, 1, 0x9D, 0xFFFFED40)}));
}

TEST_F(BoardLifecycle, NestedInitAndCloseCount) {
  ASSERT_EQ(k4160_board_init(), 1u);
  kpx4160_sim_trace_clear();
  const uint64_t requests = kpx4160_sim_request_count(device::kRequestCardRegister);
  EXPECT_EQ(k4160_board_init(), 1u);  // already initialised: writes nothing, opens nothing
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardRegister), requests);
  EXPECT_EQ(core::InitCount, 2u);

  k4160_board_close();  // matches the second init: releases nothing
  EXPECT_EQ(kpx4160_sim_registered_cards(), 1u);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
  EXPECT_NE(read_dword_pld_register(0, 0x60), 0u);

  kpx4160_sim_trace_clear();
  k4160_board_close();  // the last one: emergency stop, then release
  const auto ops = DecodedTrace();
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_EQ(ops[0], Command(0, 0, 0x0F05));
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  EXPECT_EQ(core::CardCount, 0u);
  EXPECT_EQ(read_dword_pld_register(0, 0x60), 0u);

  k4160_board_close();  // closing again does nothing
  EXPECT_EQ(core::InitCount, 0u);
}

TEST_F(BoardLifecycle, CloseStopsEveryCardInOrderThenReleases) {
  kpx4160_sim_set_card_count(3);
  ASSERT_EQ(k4160_board_init(), 3u);
  kpx4160_sim_trace_clear();
  k4160_board_close();
  EXPECT_EQ(DecodedTrace(), (std::vector<RegisterOp>{Command(0, 0, 0x0F05), Command(1, 0, 0x0F05),
                                                    Command(2, 0, 0x0F05)}));
  for (uint16_t i = 0; i < core::kCardTableSize; ++i) EXPECT_EQ(core::CardTable[i].load(), nullptr);
  // A new init starts from scratch.
  kpx4160_sim_trace_clear();
  ASSERT_EQ(k4160_board_init(), 3u);
  EXPECT_EQ(core::InitCount, 1u);
  EXPECT_TRUE(InOrderWithin(DecodedTrace(), ChipAxisStartup(2, 1)));
}

TEST_F(BoardLifecycle, FailedSecondCardLeavesTheFirstOpenAndInitialised) {
  kpx4160_sim_set_card_count(2);
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT);
  EXPECT_EQ(k4160_board_init(), 1002u);
  EXPECT_STREQ(device::ErrorText(), "Card does not have all items expected for KPX4X60\n");
  EXPECT_NE(core::CardTable[0].load(), nullptr);
  EXPECT_EQ(core::CardTable[1].load(), nullptr);
  EXPECT_EQ(kpx4160_sim_get_pcl_register(0, 1, 0x9D), 0x00440D40u);  // card 0 fully set up
  EXPECT_EQ(kpx4160_sim_get_pld_register(1, 0x78), 0u);              // card 1 untouched

  // Register access stays enabled; another init retries nothing.
  EXPECT_EQ(k4160_board_init(), 2u);
  EXPECT_EQ(core::CardTable[1].load(), nullptr);
  k4160_board_close();
  k4160_board_close();
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
  // After a full close a new init retries the card that failed.
  kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NORMAL);
  EXPECT_EQ(k4160_board_init(), 2u);
  EXPECT_NE(core::CardTable[1].load(), nullptr);
}

TEST_F(BoardLifecycle, ErrorTextReachesTheApplicationWholeOrTruncated) {
  char text[128];
  ASSERT_EQ(k4160_board_init(), 1u);
  EXPECT_EQ(k4160_get_error_text(text, sizeof text), 0);  // nothing failed
  EXPECT_STREQ(text, "");
  k4160_board_close();
  kpx4160_sim_set_registration_status(0, 0x20000017);
  ASSERT_EQ(k4160_board_init(), 1001u);  // the first card failed; the count stays for the close
  EXPECT_EQ(core::InitCount, 1u);
  const std::string message = "Failed locking device. Status 0x20000017 - Failed to map in user space\n";
  struct Case { uint32_t size; std::string copied; } cases[] = {
      {sizeof text, message}, {7, message.substr(0, 6)}, {1, ""}};
  for (const Case &c : cases) {
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(k4160_get_error_text(text, c.size), static_cast<int32_t>(message.size())) << c.size;
    EXPECT_EQ(std::string(text), c.copied) << c.size;
  }
  text[0] = 'x';
  EXPECT_EQ(k4160_get_error_text(text, 0), static_cast<int32_t>(message.size()));
  EXPECT_EQ(text[0], 'x');  // size 0 writes nothing
  EXPECT_EQ(k4160_get_error_text(nullptr, 10), -1);
  k4160_board_close();
  EXPECT_EQ(core::InitCount, 0u);
}

TEST_F(BoardLifecycle, InitWithoutCardsChangesNothingButTheCount) {
  kpx4160_sim_set_card_count(0);
  EXPECT_EQ(k4160_board_init(), 0u);
  EXPECT_EQ(core::InitCount, 0u);
  EXPECT_EQ(core::LibraryInitialised.load(), 0u);
  k4160_board_close();  // returns at once
  EXPECT_EQ(core::InitCount, 0u);
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

TEST_F(BoardLifecycle, MoreCardsThanTableSlotsOpensSixteen) {
  kpx4160_sim_set_card_count(18);
  EXPECT_EQ(k4160_board_init(), 16u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 16u);
  EXPECT_EQ(kpx4160_sim_get_pld_register(15, 0x78), 0x8Fu);
  EXPECT_EQ(kpx4160_sim_get_pld_register(16, 0x78), 0u);
}

TEST_F(BoardLifecycle, ResetRewritesSignalConfigurationOnlyAfterTheResetCommand) {
  kpx4160_sim_set_card_count(2);
  ASSERT_EQ(k4160_board_init(), 2u);
  kpx4160_sim_trace_clear();
  k4160_board_reset();
  const auto ops = DecodedTrace();
  EXPECT_TRUE(Only(ops, Op::kPldWrite).empty());  // PLD registers are not rewritten
  const auto commands = Only(ops, Op::kCommand);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], Command(0, 0, 0x0F04));
  // Card 0's reset comes before any of its chip writes, card 1's after card 0's.
  EXPECT_EQ(ops.front(), Command(0, 0, 0x0F04));
  std::vector<RegisterOp> want;
  for (uint32_t card = 0; card < 2; ++card) {
    want.push_back(Command(card, 0, 0x0F04));
    for (uint32_t axis = 0; axis < 2; ++axis)
      for (const RegisterOp &o : ChipAxisStartup(card, axis)) want.push_back(o);
  }
  EXPECT_TRUE(InOrderWithin(ops, want));
}

}  // namespace
}  // namespace kpx::test
