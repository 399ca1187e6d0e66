// Cost of a profile write and of a point move on the simulated card: time
// per call and driver requests per call (the simulated register space is an
// I/O space, so every port access is one driver request).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "kpx4160.h"
#include "kpx4160_sim.h"

namespace {

struct OpenSimCard {
  OpenSimCard() {
    kpx4160_sim_reset();
    kpx4160_sim_set_card_count(1);
    k4160_board_init();
    kpx4160_sim_trace_enable(0);
  }
  ~OpenSimCard() { k4160_board_close(); }
};

void BM_SetProfile(benchmark::State &state) {
  OpenSimCard card;
  const uint64_t before = kpx4160_sim_request_count(0);
  double max = 2000;
  for (auto _ : state) {
    k4160_set_profile(1, 1000, max, 0.1, 0.1);
    max = max == 2000 ? 100000 : 2000;  // alternate ranges so nothing is cached
  }
  state.counters["requests/call"] =
      benchmark::Counter(static_cast<double>(kpx4160_sim_request_count(0) - before) / state.iterations());
}
BENCHMARK(BM_SetProfile);

void BM_TPmove(benchmark::State &state) {
  OpenSimCard card;
  k4160_set_profile(1, 1000, 2000, 0.1, 0.1);
  const uint16_t posi_mode = static_cast<uint16_t>(state.range(0));
  const uint64_t before = kpx4160_sim_request_count(0);
  for (auto _ : state) k4160_t_pmove(1, 1000, posi_mode);
  state.counters["requests/call"] =
      benchmark::Counter(static_cast<double>(kpx4160_sim_request_count(0) - before) / state.iterations());
}
BENCHMARK(BM_TPmove)->Arg(0)->Arg(1)->ArgName("absolute");

}  // namespace
