// The simulated card's access trace is bounded, so a program polling for a
// long time keeps its memory; what it keeps is the start of the record.
#include <gtest/gtest.h>

#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

class TraceCapacity : public SimTest {};

TEST_F(TraceCapacity, KeepsTheFirstAccessesUntilCleared) {
  constexpr uint32_t kCapacity = 1u << 20;
  OpenCards(1);
  k4160_set_position(1, 42);  // a recognisable first access pattern
  const uint32_t first_call = kpx4160_sim_trace_size();
  ASSERT_GT(first_call, 0u);
  kpx4160_sim_access first{};
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &first), 0);

  const uint32_t per_poll = [] {
    const uint32_t before = kpx4160_sim_trace_size();
    k4160_axis_status(0);
    return kpx4160_sim_trace_size() - before;
  }();
  ASSERT_GT(per_poll, 0u);
  for (uint32_t i = 0; i < kCapacity / per_poll + 10; ++i) k4160_axis_status(0);
  EXPECT_EQ(kpx4160_sim_trace_size(), kCapacity);
  kpx4160_sim_access again{};
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &again), 0);
  EXPECT_EQ(again.offset, first.offset);
  EXPECT_EQ(again.value, first.value);
  EXPECT_EQ(kpx4160_sim_trace_entry(kCapacity, &again), -1);
  // The registers keep working past the bound.
  EXPECT_EQ(k4160_get_position(1), 42);

  kpx4160_sim_trace_clear();
  k4160_axis_status(0);
  EXPECT_EQ(kpx4160_sim_trace_size(), per_poll);
}

}  // namespace
}  // namespace kpx::test
