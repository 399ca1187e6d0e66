// kpx4160-demo: drives a simulated card through the kinds of motion the
// library offers -- a trapezoidal point move, an S-curve point move, a
// two-axis line and a full circle -- while the simulator logs the motion,
// then draws the X-Y path and the speeds as kpx4160-demo.svg (and writes the
// log as kpx4160-demo.csv) in the current folder or the one given with -o.
// It runs in real time, or with --virtual on the simulator's virtual clock
// in a fraction of a second.
//
// The path: (0, 0) along axis 0 to (10000, 0), up axis 1 to (10000, 8000),
// a line to (0, 5000), then a counter-clockwise circle of radius 5000 about
// (5000, 5000) back to (0, 5000).
#include <CLI/CLI.hpp>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "kpx4160.h"
#include "kpx4160_sim.h"
#include "tools/svg_plot.h"

namespace {

constexpr const char *kSvgFile = "kpx4160-demo.svg";
constexpr const char *kCsvFile = "kpx4160-demo.csv";
constexpr double kLogInterval = 0.002;   // s between motion-log samples
constexpr double kMoveTimeLimit = 10.0;  // s of simulated time before a move counts as stuck
constexpr auto kPollPause = std::chrono::milliseconds(1);
constexpr double kVirtualPollStep = 20e-6;  // s of virtual time each status poll lets pass

struct Xy {
  int32_t x = 0, y = 0;
  bool operator==(const Xy &) const = default;
};

// On the virtual clock the status polls themselves move time on: no pause.
bool virtual_clock = false;

Xy Positions() { return {k4160_get_position(0), k4160_get_position(1)}; }

// Closes the library on every way out of main once the cards are open.
struct BoardGuard {
  bool open = false;
  ~BoardGuard() {
    if (open) k4160_board_close();
  }
};

bool Fail(const std::string &message) {
  std::fprintf(stderr, "kpx4160-demo: %s\n", message.c_str());
  return false;
}

// Polls the done flag of the axes with short sleeps between the polls;
// false if they are still moving after kMoveTimeLimit of simulated time.
bool WaitDone(std::initializer_list<uint16_t> axes) {
  const double give_up = kpx4160_sim_time() + kMoveTimeLimit;
  for (;;) {
    bool done = true;
    for (uint16_t axis : axes) done = done && k4160_check_done(axis) == 1;
    if (done) return true;
    if (kpx4160_sim_time() > give_up) return false;
    if (!virtual_clock) std::this_thread::sleep_for(kPollPause);
  }
}

// Starts one move, waits for it and reports where both axes went and how
// long it took on the simulator's clock; false (with a message) if the move
// could not be started, did not end, or ended anywhere but at `want`.
bool RunMove(int number, const std::string &what, std::initializer_list<uint16_t> axes, Xy want,
             const std::function<bool()> &start) {
  const Xy from = Positions();
  const double t0 = kpx4160_sim_time();
  if (!start()) return Fail(what + ": the move was refused");
  if (!WaitDone(axes)) return Fail(what + ": still moving after " + std::to_string(int(kMoveTimeLimit)) + " s");
  const double took = kpx4160_sim_time() - t0;
  const Xy to = Positions();
  std::printf("%d. %s\n   axis 0: %" PRId32 " -> %" PRId32 ", axis 1: %" PRId32 " -> %" PRId32 " pulses, %.3f s\n",
              number, what.c_str(), from.x, to.x, from.y, to.y, took);
  std::fflush(stdout);
  if (to != want)
    return Fail(what + ": ended at (" + std::to_string(to.x) + ", " + std::to_string(to.y) + ") instead of (" +
                std::to_string(want.x) + ", " + std::to_string(want.y) + ")");
  return true;
}

// The chords of an arc run back to back only while the program feeds the
// next one into the pre-buffer before the running one ends; a chord started
// on an axis already at rest means the feed fell behind (the feeding thread
// was late, e.g. not scheduled for a while).
void ReportChordFeed() {
  kpx4160_sim_axis_state x{}, y{};
  if (kpx4160_sim_get_axis_state(0, 0, &x) != 0 || kpx4160_sim_get_axis_state(0, 1, &y) != 0) return;
  const uint32_t behind = x.underruns > y.underruns ? x.underruns : y.underruns;
  if (behind == 0)
    std::printf("   %" PRIu32 " chords, each queued in the pre-buffer before the one before it ended\n", x.moves_started);
  else
    std::printf("   %" PRIu32 " chords; the arc feed fell behind %" PRIu32
                " time(s): the pre-buffer emptied between chords and the axes paused\n",
                x.moves_started, behind);
}

bool RunSequence() {
  int n = 0;
  if (!RunMove(++n, "trapezoidal point move of axis 0 by +10000 (500 -> 10000 pulses/s, 0.2 s ramps)", {0},
               {10000, 0}, [] {
                 k4160_set_profile(0, 500, 10000, 0.2, 0.2);
                 k4160_t_pmove(0, 10000, K4160_RELATIVE);
                 return true;
               }))
    return false;
  if (!RunMove(++n, "S-curve point move of axis 1 by +8000 (500 -> 8000 pulses/s, 0.3 s ramps, S 2000 pulses/s)",
               {1}, {10000, 8000}, [] {
                 k4160_set_s_profile(1, 500, 8000, 0.3, 0.3, 2000, 2000);
                 k4160_s_pmove(1, 8000, K4160_RELATIVE);
                 return true;
               }))
    return false;
  if (!RunMove(++n, "line of axes 0 and 1 to (0, 5000) (path 1000 -> 12000 pulses/s, 0.2 s ramps)", {0, 1},
               {0, 5000}, [] {
                 k4160_set_vector_profile(1000, 12000, 0.2, 0.2);
                 k4160_t_line2(0, 0, 1, 5000, K4160_ABSOLUTE);
                 return true;
               }))
    return false;
  // A target on the start ray is a full turn: the circle ends where it began.
  kpx4160_sim_clear_run_counts();
  if (!RunMove(++n, "full circle, counter-clockwise, radius 5000 about (5000, 5000) (path 2000 -> 20000 pulses/s)",
                 {0, 1}, {0, 5000}, [] {
                   k4160_set_vector_profile(2000, 20000, 0.1, 0.1);
                   const uint16_t axes[2] = {0, 1};
                   const int32_t target[2] = {0, 5000};
                   const int32_t centre[2] = {5000, 5000};
                   const int32_t issued = k4160_arc_move(axes, target, centre, K4160_ARC_CCW);
                   std::fflush(stdout);
                   return issued == 1;
                 }))
    return false;
  ReportChordFeed();
  return true;
}

std::vector<kpx4160_sim_sample> LoggedSamples() {
  std::vector<kpx4160_sim_sample> samples(kpx4160_sim_log_size());
  for (uint32_t i = 0; i < samples.size(); ++i)
    if (kpx4160_sim_log_sample(i, &samples[i]) != 0) samples.resize(i);
  return samples;
}

// Sampling instants in the log: it holds one sample per chip axis at each.
size_t Instants(const std::vector<kpx4160_sim_sample> &samples) {
  std::set<double> times;
  for (const kpx4160_sim_sample &s : samples) times.insert(s.time);
  return times.size();
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"Runs a simulated card through a point move, an S-curve move, a line and a full circle,\n"
               "and writes the motion log (kpx4160-demo.csv) and its picture (kpx4160-demo.svg).",
               "kpx4160-demo"};
  std::string out_dir = ".";
  app.add_option("-o,--output", out_dir, "Folder for the CSV and SVG files (default: the current folder)");
  app.add_flag("--virtual", virtual_clock, "Run on the simulator's virtual clock: done in a fraction of a second");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(out_dir, ec);
  const std::filesystem::path csv_file = std::filesystem::path(out_dir) / kCsvFile;
  const std::filesystem::path svg_file = std::filesystem::path(out_dir) / kSvgFile;
  if (virtual_clock) kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, kVirtualPollStep);

  BoardGuard board;
  const uint32_t cards = k4160_board_init();
  if (cards >= K4160_INIT_FAILED_BASE) {
    board.open = true;
    Fail("opening card " + std::to_string(cards - K4160_INIT_FAILED_BASE) + " failed");
    return 1;
  }
  if (cards == 0) {
    Fail("no card found");
    return 1;
  }
  board.open = true;
  // The simulator records every register access for the tests; a program
  // that polls in real time would fill memory with that record, and growing
  // it stalls the polling thread long enough to starve the arc's chords.
  kpx4160_sim_trace_enable(0);
  std::printf("%u simulated card(s) open; moving axes 0 and 1 of card 0 %s\n", cards,
              virtual_clock ? "on the virtual clock" : "in real time");

  if (kpx4160_sim_log_start(kLogInterval) != 0) {
    Fail("the motion log did not start");
    return 1;
  }
  const double t0 = kpx4160_sim_time();
  const bool moved = RunSequence();
  const double total = kpx4160_sim_time() - t0;
  kpx4160_sim_log_stop();
  if (!moved) return 1;

  const std::vector<kpx4160_sim_sample> samples = LoggedSamples();
  std::printf("all moves done in %.3f s of simulated time; positions and speeds sampled at %zu instants, every %.0f ms\n",
              total, Instants(samples), kLogInterval * 1000);
  if (kpx4160_sim_log_write_csv(csv_file.c_str()) != 0) {
    Fail("cannot write " + csv_file.string());
    return 1;
  }
  if (!kpx::tools::svg::WriteSvg(svg_file.string(), samples)) {
    Fail("cannot write " + svg_file.string());
    return 1;
  }
  std::printf("motion log: %s\npicture: %s\n", std::filesystem::absolute(csv_file, ec).string().c_str(),
              std::filesystem::absolute(svg_file, ec).string().c_str());
  return 0;
}
