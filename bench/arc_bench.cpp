// A full turn of radius 10000 pulses (2221 chords) on a simulated card with
// the access trace off: the cost of cutting an arc into chords and feeding
// them through the register path, per arc and per chord, and the number of
// driver requests each chord takes (the simulated card answers every poll
// at once, so this is the library's own overhead). Rates are per wall-clock
// second.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "kpx4160.h"
#include "kpx4160_sim.h"

namespace {

void BM_FullTurnArc(benchmark::State &state) {
  kpx4160_sim_reset();
  kpx4160_sim_set_card_count(1);
  if (k4160_board_init() != 1) {
    state.SkipWithError("no simulated card");
    return;
  }
  kpx4160_sim_trace_enable(0);
  // The arc prints one line per call; send it to /dev/null while timing so
  // the benchmark's own report stays readable.
  std::fflush(stdout);
  const int saved_stdout = dup(STDOUT_FILENO);
  const int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
  const uint16_t axes[2] = {0, 1};
  const int32_t target[2] = {0, 0};
  const int32_t centre[2] = {10000, 0};
  int64_t chords = 0;
  const uint64_t requests_before = kpx4160_sim_request_count(0);
  for (auto _ : state) {
    k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
    benchmark::DoNotOptimize(k4160_rel_arc_move(axes, target, centre, 1));
    chords += 2221;
  }
  const uint64_t requests = kpx4160_sim_request_count(0) - requests_before;
  std::fflush(stdout);
  if (saved_stdout >= 0) dup2(saved_stdout, STDOUT_FILENO);
  if (saved_stdout >= 0) close(saved_stdout);
  if (null_fd >= 0) close(null_fd);
  state.SetItemsProcessed(chords);
  state.counters["chords_per_s"] = benchmark::Counter(static_cast<double>(chords), benchmark::Counter::kIsRate);
  state.counters["requests_per_chord"] = static_cast<double>(requests) / static_cast<double>(chords);
  k4160_board_close();
  kpx4160_sim_trace_enable(1);
}
BENCHMARK(BM_FullTurnArc)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
