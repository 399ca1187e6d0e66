// A full turn of radius 10000 pulses (2221 chords) on a simulated card with
// the access trace off: the cost of cutting an arc into chords and feeding
// them through the register path, per arc and per chord, and the number of
// driver requests each chord takes. The simulated card runs the chords in
// time, so the arc runs on the virtual clock (the argument is the virtual
// time one status poll is worth, in microseconds): the turn takes about
// 14 s of simulated time but only the library's and the simulator's own work
// in wall time. A chord's requests are those that issue it (a two-axis line
// on idle axes, measured on its own) and the status polls of the wait for
// room in the pre-buffer, which grow as the poll step shrinks. Rates are per
// wall-clock second.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "quiet_stdout.h"

namespace {

constexpr int64_t kFullTurnChords = 2221;

void BM_FullTurnArc(benchmark::State &state) {
  kpx4160_sim_reset();
  kpx4160_sim_set_card_count(1);
  if (k4160_board_init() != 1) {
    state.SkipWithError("no simulated card");
    return;
  }
  kpx4160_sim_trace_enable(0);
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, static_cast<double>(state.range(0)) * 1e-6);
  // What issuing one chord costs by itself: a line on idle axes.
  uint64_t before = kpx4160_sim_request_count(0);
  k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
  k4160_t_line2(0, 20, 1, 20, 0);
  const uint64_t issue_requests = kpx4160_sim_request_count(0) - before;
  while (k4160_check_done(0) == 0 || k4160_check_done(1) == 0) {
  }

  const uint16_t axes[2] = {0, 1};
  const int32_t target[2] = {0, 0};
  const int32_t centre[2] = {10000, 0};
  int64_t chords = 0;
  double simulated = 0.0;
  uint32_t underruns = 0;
  before = kpx4160_sim_request_count(0);
  {
    kpx::bench::QuietStdout quiet;
    for (auto _ : state) {
      const double t0 = kpx4160_sim_time();
      kpx4160_sim_clear_run_counts();
      k4160_set_vector_profile(1000, 5000, 0.1, 0.1);
      benchmark::DoNotOptimize(k4160_rel_arc_move(axes, target, centre, 1));
      chords += kFullTurnChords;
      // The call returns with the last chord or two still to run.
      while (k4160_check_done(0) == 0 || k4160_check_done(1) == 0) {
      }
      simulated += kpx4160_sim_time() - t0;
      kpx4160_sim_axis_state x{}, y{};
      kpx4160_sim_get_axis_state(0, 0, &x);
      kpx4160_sim_get_axis_state(0, 1, &y);
      underruns += x.underruns + y.underruns;
    }
  }
  const uint64_t requests = kpx4160_sim_request_count(0) - before;
  if (underruns != 0) state.SkipWithError("the arc ran dry between chords");
  state.SetItemsProcessed(chords);
  state.counters["chords_per_s"] = benchmark::Counter(static_cast<double>(chords), benchmark::Counter::kIsRate);
  state.counters["requests_per_chord"] = static_cast<double>(requests) / static_cast<double>(chords);
  state.counters["issue_requests_per_chord"] = static_cast<double>(issue_requests);
  state.counters["sim_s_per_arc"] = simulated / static_cast<double>(state.iterations());
  k4160_board_close();
  kpx4160_sim_reset();
}
BENCHMARK(BM_FullTurnArc)->Arg(10)->Arg(50)->ArgName("poll_us")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
