// The simulator's own services: its clocks (advancing virtual time and what
// is refused, restarting time, the poll step), its motion log (samples of
// every chip axis at a fixed interval, read one by one or written as CSV)
// and its bounded access trace.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class SimClockAndLog : public SimMotionTest {};

TEST_F(SimClockAndLog, ClocksAdvanceRestartAndRefuse) {
  OpenCards(1);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 20e-6), 0);
  for (auto [dt, ret] : {std::pair{0.25, 0}, {0.0, 0}, {-0.001, -1}, {std::nan(""), -1}, {kInf, -1}, {-kInf, -1}})
    EXPECT_EQ(kpx4160_sim_advance(dt), ret) << dt;
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25);
  k4160_axis_status(0);  // a status poll is worth one poll step
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25 + 20e-6);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0), 0);  // unusable: 10 microseconds
  k4160_check_done(1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);
  EXPECT_EQ(kpx4160_sim_set_clock(static_cast<kpx4160_sim_clock_mode>(2), 1e-5), -1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);
  // Setting the clock stops a running move where it is and starts time at 0.
  k4160_t_vmove(0, 1);
  ASSERT_EQ(kpx4160_sim_advance(1.0), 0);
  const int32_t at = k4160_get_position(0);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  EXPECT_EQ(kpx4160_sim_time(), 0.0);
  ASSERT_EQ(kpx4160_sim_advance(1000.0), 0);
  EXPECT_EQ(k4160_get_position(0), at);
  // Real time runs by itself from 0 and cannot be pushed.
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_REAL, -1.0), 0);
  EXPECT_LT(kpx4160_sim_time(), 1000.0);
  EXPECT_EQ(kpx4160_sim_advance(0.5), -1);
  EXPECT_EQ(kpx4160_sim_advance(0.0), -1);
}

TEST_F(SimClockAndLog, LogSamplesEveryAxisAtItsIntervalAndWritesThemAsCsv) {
  OpenCards(2);
  for (double bad : {0.0, -0.01, std::nan(""), kInf}) EXPECT_EQ(kpx4160_sim_log_start(bad), -1) << bad;
  ASSERT_EQ(kpx4160_sim_set_encoder(1, 1, 2.0), 0);
  k4160_set_profile(3, 1000, 2000, 0.1, 0.1);
  k4160_set_position(3, -50);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  MOTION_default_const_vmove(3, 1);  // card 1, chip axis 1 at 1000 pulses/s; the rest at rest
  ASSERT_EQ(kpx4160_sim_log_start(0.01), 0);
  ASSERT_EQ(kpx4160_sim_advance(0.105), 0);
  ASSERT_EQ(kpx4160_sim_log_size(), 44u);  // instants 0, 0.01 .. 0.10, four chip axes each
  std::string want = "time,card,chip_axis,position,encoder,speed\n";
  kpx4160_sim_sample s{};
  for (uint32_t i = 0; i < 44; ++i) {
    ASSERT_EQ(kpx4160_sim_log_sample(i, &s), 0);
    const bool moving = i % 4 == 3;
    EXPECT_EQ(s.card * 2 + s.chip_axis, i % 4) << i;
    EXPECT_NEAR(s.time, 0.01 * (i / 4), 1e-12) << i;
    EXPECT_EQ(s.speed, moving ? 1000.0 : 0.0) << i;
    EXPECT_NEAR(s.position, moving ? -50 + 1000.0 * s.time : 0.0, 1.0) << i;
    EXPECT_EQ(s.encoder, moving ? 2 * (s.position + 50) : 0) << i;
    char row[128];
    std::snprintf(row, sizeof row, "%.6f,%u,%u,%d,%d,%.3f\n", s.time, s.card, s.chip_axis, s.position, s.encoder, s.speed);
    want += row;
  }
  EXPECT_EQ(kpx4160_sim_log_sample(44, &s), -1);
  EXPECT_EQ(kpx4160_sim_log_sample(0, nullptr), -1);
  EXPECT_EQ(kpx4160_sim_log_stop(), 0);  // stopped: time moves on, the log does not grow
  ASSERT_EQ(kpx4160_sim_advance(0.05), 0);
  EXPECT_EQ(kpx4160_sim_log_size(), 44u);
  const std::string path = ::testing::TempDir() + "kpx4160_motion_log.csv";
  ASSERT_EQ(kpx4160_sim_log_write_csv(path.c_str()), 0);
  std::ifstream csv(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(csv), {}), want);
  std::remove(path.c_str());
  EXPECT_EQ(kpx4160_sim_log_write_csv("/nonexistent-folder/kpx4160.csv"), -1);
  EXPECT_EQ(kpx4160_sim_log_write_csv(nullptr), -1);
  ASSERT_EQ(kpx4160_sim_log_start(0.5), 0);  // a new log drops the old samples, starts with one now
  EXPECT_EQ(kpx4160_sim_log_size(), 4u);
}

// The trace keeps the start of the record up to its bound, so a program
// polling for a long time keeps its memory; the registers work on past it.
TEST_F(SimClockAndLog, TraceKeepsTheFirstAccessesUntilCleared) {
  constexpr uint32_t kCapacity = 1u << 20;
  OpenCards(1);
  k4160_set_position(1, 42);
  kpx4160_sim_access first{}, again{};
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &first), 0);
  while (kpx4160_sim_trace_size() < kCapacity) k4160_axis_status(0);
  k4160_axis_status(0);
  EXPECT_EQ(kpx4160_sim_trace_size(), kCapacity);
  ASSERT_EQ(kpx4160_sim_trace_entry(0, &again), 0);
  EXPECT_TRUE(again.offset == first.offset && again.value == first.value);
  EXPECT_EQ(kpx4160_sim_trace_entry(kCapacity, &again), -1);
  EXPECT_EQ(k4160_get_position(1), 42);
  kpx4160_sim_trace_clear();
  EXPECT_EQ(kpx4160_sim_trace_size(), 0u);
}

}  // namespace
}  // namespace kpx::test
