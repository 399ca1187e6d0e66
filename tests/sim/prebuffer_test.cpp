// The simulated card's pre-buffer model, driven through the library's own
// register accessors: starts make an axis busy for a fixed number of status
// reads, a start while busy is queued, stops end everything.
#include <gtest/gtest.h>

#include "core/registers.h"
#include "sim/prebuffer.h"
#include "sim/sim_bus.h"
#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

using core::ReadPclMainStatus;
using core::WritePclCommand;
using sim::kMainStatusBusy;
using sim::kMainStatusPrebuffer;

constexpr uint16_t kAccelStart = 0x53;
constexpr uint16_t kConstStart = 0x50;

class SimPrebuffer : public SimTest {};

uint32_t Overruns(unsigned card, unsigned chip_axis) {
  sim::SimBus &bus = sim::Bus();
  std::lock_guard lock(bus.mutex);
  return bus.Slot(card)->card.chip[chip_axis].prebuffer.Overruns();
}

TEST_F(SimPrebuffer, StartBusyQueueAndTakeOver) {
  OpenCards(1);
  EXPECT_EQ(ReadPclMainStatus(0, 8), 0);
  WritePclCommand(0, 8, kAccelStart);
  EXPECT_EQ(ReadPclMainStatus(0, 8), kMainStatusBusy);
  // Queued behind the running move: bit 14 shows until the running move ends.
  WritePclCommand(0, 8, kConstStart);
  EXPECT_EQ(ReadPclMainStatus(0, 8), kMainStatusBusy | kMainStatusPrebuffer);
  EXPECT_EQ(ReadPclMainStatus(0, 8), kMainStatusBusy);
  EXPECT_EQ(ReadPclMainStatus(0, 8), kMainStatusBusy);
  EXPECT_EQ(ReadPclMainStatus(0, 8), 0);
  EXPECT_EQ(ReadPclMainStatus(0, 8), 0);
  // Chip axis 0 never moved.
  EXPECT_EQ(ReadPclMainStatus(0, 0), 0);
  EXPECT_EQ(Overruns(0, 1), 0u);
}

TEST_F(SimPrebuffer, StartWhileQueuedIsAnOverrunAndOtherCodesDoNothing) {
  OpenCards(1);
  WritePclCommand(0, 0, 0x14);  // a terminal command is no start
  core::WritePclRegister32(0, 0, 0x80, 1000);
  EXPECT_EQ(ReadPclMainStatus(0, 0), 0);
  WritePclCommand(0, 0, kAccelStart);
  WritePclCommand(0, 0, kAccelStart);
  EXPECT_EQ(Overruns(0, 0), 0u);
  WritePclCommand(0, 0, kAccelStart);
  EXPECT_EQ(Overruns(0, 0), 1u);
  EXPECT_EQ(ReadPclMainStatus(0, 0), kMainStatusBusy | kMainStatusPrebuffer);
}

TEST_F(SimPrebuffer, StopsEndRunningAndQueuedMoves) {
  OpenCards(1);
  for (uint16_t stop : {uint16_t{0x49}, uint16_t{0x4A}, uint16_t{0x07}}) {
    SCOPED_TRACE(stop);
    WritePclCommand(0, 8, kAccelStart);
    WritePclCommand(0, 8, kAccelStart);
    WritePclCommand(0, 8, stop);
    EXPECT_EQ(ReadPclMainStatus(0, 8), 0);
  }
  // Reset and emergency stop go to chip axis 0 and stop both axes.
  for (uint16_t stop : {uint16_t{0x0F04}, uint16_t{0x0F05}}) {
    SCOPED_TRACE(stop);
    WritePclCommand(0, 0, kAccelStart);
    WritePclCommand(0, 8, kAccelStart);
    WritePclCommand(0, 8, kAccelStart);
    WritePclCommand(0, 0, stop);
    EXPECT_EQ(ReadPclMainStatus(0, 0), 0);
    EXPECT_EQ(ReadPclMainStatus(0, 8), 0);
  }
}

TEST_F(SimPrebuffer, KeepsStatusBitsSetByTheTest) {
  OpenCards(1);
  kpx4160_sim_set_main_status(0, 0, 0x0120);
  WritePclCommand(0, 0, kAccelStart);
  EXPECT_EQ(ReadPclMainStatus(0, 0), 0x0121);
  EXPECT_EQ(ReadPclMainStatus(0, 0), 0x0121);
  EXPECT_EQ(ReadPclMainStatus(0, 0), 0x0120);
  // A test-set bit 14 is not taken over: only the model's own bit moves.
  kpx4160_sim_set_main_status(0, 0, kMainStatusPrebuffer);
  EXPECT_EQ(ReadPclMainStatus(0, 0), kMainStatusPrebuffer);
  EXPECT_EQ(ReadPclMainStatus(0, 0), kMainStatusPrebuffer);
}

}  // namespace
}  // namespace kpx::test
