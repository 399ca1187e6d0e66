// The blocking moves of the older command set hold the caller until the
// axis reports done, polling its main status. The simulated axis is held busy
// from the test (forced main status bits) and released. Every wait of the
// test has a time-out; a move that never returns is ended by the test
// runner's own time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using namespace std::chrono_literals;
constexpr uint16_t kBusy = 0x0001;  // main status bit 0: the axis is moving

class LegacyBlocking : public SimTest {};

// Main-status reads of the decoded trace, as (card, chip axis) pairs.
std::vector<std::pair<uint32_t, uint32_t>> StatusPolls() {
  std::vector<std::pair<uint32_t, uint32_t>> polls;
  for (const RegisterOp &o : Only(DecodedTrace(), Op::kMainStatus)) polls.emplace_back(o.card, o.chip_axis);
  return polls;
}

// Waits until the trace holds at least n main-status reads; false on time-out.
bool WaitForPolls(size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (StatusPolls().size() < n)
    if (std::chrono::steady_clock::now() > deadline) return false;
    else std::this_thread::sleep_for(1ms);
  return true;
}

TEST_F(LegacyBlocking, ThreadedEachBlockingMoveReturnsOnlyOnceTheAxisIsDone) {
  OpenCards(1);
  const std::function<void()> moves[] = {
      [] { A_move(1, 500.0, 100, 1000, 0.1); },
      [] { R_move(1, -500.0, 100, 1000, 0.1); },
      [] { S_move(1, 500.0, 100, 1000, 0.1, 0.02); },
      [] { Rs_move(1, 500.0, 100, 1000, 0.1, 0.02); },
      [] { Wait_for_done(1); },
  };
  for (const auto &move : moves) {
    kpx4160_sim_set_main_status(0, 1, kBusy);
    kpx4160_sim_trace_clear();
    auto done = std::async(std::launch::async, move);
    ASSERT_TRUE(WaitForPolls(5));
    EXPECT_EQ(done.wait_for(20ms), std::future_status::timeout) << "returned while the axis was busy";
    kpx4160_sim_set_main_status(0, 1, 0);
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    // Every poll was of the moving axis itself.
    for (const auto &p : StatusPolls()) EXPECT_EQ(p, std::make_pair(0u, 1u));
  }
}

TEST_F(LegacyBlocking, ThreadedMoveXyAsksTheSecondAxisOnlyOnceTheFirstIsDone) {
  OpenCards(1);
  kpx4160_sim_set_main_status(0, 0, kBusy);
  kpx4160_sim_set_main_status(0, 1, kBusy);
  kpx4160_sim_trace_clear();
  auto done = std::async(std::launch::async, [] { Move_xy(0, 100.0, 200.0); });
  ASSERT_TRUE(WaitForPolls(4));
  // First axis busy: the second is never asked.
  for (const auto &p : StatusPolls()) EXPECT_EQ(p, std::make_pair(0u, 0u));

  kpx4160_sim_set_main_status(0, 0, 0);
  const size_t before = StatusPolls().size();
  ASSERT_TRUE(WaitForPolls(before + 40));
  EXPECT_EQ(done.wait_for(20ms), std::future_status::timeout);
  // Now each round asks the first axis, then the second.
  const auto polls = StatusPolls();
  size_t second = 0;
  for (size_t i = before; i + 1 < polls.size(); ++i)
    if (polls[i + 1] == std::make_pair(0u, 1u)) {
      EXPECT_EQ(polls[i], std::make_pair(0u, 0u));
      ++second;
    }
  EXPECT_GT(second, 0u);

  kpx4160_sim_set_main_status(0, 1, 0);
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
}

}  // namespace
}  // namespace kpx::test
