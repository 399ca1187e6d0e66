#include "support/sim_fixture.h"

#include "core/card_table.h"

namespace kpx::test {

void CloseLibraryCompletely() {
  while (core::InitCount > 0) {
    if (core::CardCount == 0) core::CardCount = 1;  // a nested init that found nothing
    k4160_board_close();
  }
}

// Tests run on the virtual clock: the same accesses give the same motion on
// every run, and waits for a move cost no wall time.
void SimTest::SetUp() {
  CloseLibraryCompletely();
  kpx4160_sim_reset();
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0);
}

// Every test also checks that no PLD register was reached at an offset the
// PLD cannot decode (a dword register read at 0x61 instead of 0x60).
void SimTest::TearDown() {
  EXPECT_EQ(kpx4160_sim_misaligned_accesses(), 0u) << "32-bit PLD access at an offset not a multiple of 4";
  CloseLibraryCompletely();
  kpx4160_sim_reset();
}

void SimTest::OpenCards(unsigned cards) {
  kpx4160_sim_set_card_count(cards);
  ASSERT_EQ(k4160_board_init(), cards);
  kpx4160_sim_trace_clear();
}

}  // namespace kpx::test
