// How fast the simulated cards run motion on the virtual clock: simulated
// seconds per wall-clock second for a workload that keeps all four axes of
// two cards moving. Each round, card 1 runs a long two-axis line (about 10 s
// of simulated time) while card 0 runs a half turn of radius 10000 (1110
// chords fed through the pre-buffer) and then a long point move on each of
// its axes; the round ends when all four axes are done. The argument is the
// virtual time one status poll is worth, in microseconds: the program's
// waits are status polls, so a finer step costs more polls per simulated
// second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "quiet_stdout.h"

namespace {

bool AllDone() {
  bool done = true;
  for (uint16_t a = 0; a < 4; ++a) done = (k4160_check_done(a) == 1) && done;
  return done;
}

void BM_FourAxisSimulatedTime(benchmark::State &state) {
  kpx4160_sim_reset();
  kpx4160_sim_set_card_count(2);
  if (k4160_board_init() != 2) {
    state.SkipWithError("no simulated cards");
    return;
  }
  kpx4160_sim_trace_enable(0);
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, static_cast<double>(state.range(0)) * 1e-6);
  for (uint16_t a = 0; a < 2; ++a) k4160_set_profile(a, 1000, 20000, 0.2, 0.2);
  const uint16_t arc_axes[2] = {0, 1};
  double simulated = 0.0;
  double wall = 0.0;
  int32_t sign = 1;
  const uint64_t requests_before = kpx4160_sim_request_count(0);
  {
    kpx::bench::QuietStdout quiet;
    for (auto _ : state) {
      const auto w0 = std::chrono::steady_clock::now();
      const double t0 = kpx4160_sim_time();
      k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
      k4160_t_line2(2, 30000 * sign, 3, -40000 * sign, 0);
      const int32_t target[2] = {20000 * sign, 0};
      const int32_t centre[2] = {10000 * sign, 0};
      k4160_rel_arc_move(arc_axes, target, centre, 1);
      while (k4160_check_done(0) == 0 || k4160_check_done(1) == 0) {
      }
      k4160_set_profile(0, 1000, 20000, 0.2, 0.2);
      k4160_set_profile(1, 1000, 20000, 0.2, 0.2);
      k4160_t_pmove(0, 30000 * sign, 0);
      k4160_t_pmove(1, -30000 * sign, 0);
      while (!AllDone()) {
      }
      simulated += kpx4160_sim_time() - t0;
      wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
      sign = -sign;
    }
  }
  if (k4160_get_position(2) != (sign < 0 ? 30000 : 0)) state.SkipWithError("card 1 did not end where its lines go");
  state.counters["sim_s_per_wall_s"] = wall > 0.0 ? simulated / wall : 0.0;
  state.counters["sim_s_per_round"] = simulated / static_cast<double>(state.iterations());
  state.counters["requests_per_sim_s"] = static_cast<double>(kpx4160_sim_request_count(0) - requests_before) / simulated;
  k4160_board_close();
  kpx4160_sim_reset();
}
BENCHMARK(BM_FourAxisSimulatedTime)->Arg(10)->Arg(50)->ArgName("poll_us")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
