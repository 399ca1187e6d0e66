// The simulator's clocks and its motion log: advancing virtual time and
// what is refused, restarting time, the poll step, and samples of every
// chip axis at a fixed interval, read one by one or written as CSV.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/sim_motion_fixture.h"

namespace kpx::test {
namespace {

class SimClockAndLog : public SimMotionTest {};

TEST_F(SimClockAndLog, AdvanceAndRestartOfTheClocks) {
  OpenCards(1);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 20e-6), 0);
  EXPECT_EQ(kpx4160_sim_time(), 0.0);
  EXPECT_EQ(kpx4160_sim_advance(0.25), 0);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25);
  EXPECT_EQ(kpx4160_sim_advance(0.0), 0);
  for (double bad : {-0.001, std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(kpx4160_sim_advance(bad), -1);
  }
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25);
  // Each status poll is worth one poll step of virtual time.
  k4160_axis_status(0);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 0.25 + 20e-6);
  // An unusable step falls back to 10 microseconds per poll.
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0), 0);
  k4160_check_done(1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);
  EXPECT_EQ(kpx4160_sim_set_clock(static_cast<kpx4160_sim_clock_mode>(2), 1e-5), -1);
  EXPECT_DOUBLE_EQ(kpx4160_sim_time(), 10e-6);  // nothing changed

  // Setting the clock stops a running move where it is and starts time at 0.
  k4160_set_profile(0, 1000, 2000, 0.1, 0.1);
  k4160_t_vmove(0, 1);
  ASSERT_EQ(kpx4160_sim_advance(1.0), 0);
  const int32_t at = k4160_get_position(0);
  EXPECT_GT(at, 1000);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  EXPECT_EQ(kpx4160_sim_time(), 0.0);
  EXPECT_EQ(k4160_check_done(0), 1);
  ASSERT_EQ(kpx4160_sim_advance(1000.0), 0);
  EXPECT_EQ(k4160_get_position(0), at);

  // Real time: time runs by itself from 0 and cannot be pushed.
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_REAL, -1.0), 0);
  const double r0 = kpx4160_sim_time();
  EXPECT_GE(r0, 0.0);
  EXPECT_LT(r0, 1000.0);  // restarted, not going on from the 1000 s of virtual time before
  EXPECT_EQ(kpx4160_sim_advance(0.5), -1);
  EXPECT_EQ(kpx4160_sim_advance(0.0), -1);
  EXPECT_LT(kpx4160_sim_time(), r0 + 0.5);
  EXPECT_GE(kpx4160_sim_time(), r0);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  EXPECT_EQ(kpx4160_sim_time(), 0.0);
}

std::vector<std::string> Split(const std::string &line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string f;
  while (std::getline(in, f, ',')) fields.push_back(f);
  return fields;
}

TEST_F(SimClockAndLog, LogSamplesEveryAxisAtItsIntervalAndWritesThemAsCsv) {
  OpenCards(2);
  for (double bad : {0.0, -0.01, std::nan(""), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(kpx4160_sim_log_start(bad), -1);
  }
  ASSERT_EQ(kpx4160_sim_set_encoder(1, 1, 2.0), 0);
  k4160_set_profile(3, 1000, 2000, 0.1, 0.1);
  k4160_set_position(3, -50);
  ASSERT_EQ(kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, 50e-6), 0);
  // Card 1, chip axis 1 runs at its start speed of 1000 pulses/s without a
  // ramp; everything else rests.
  MOTION_default_const_vmove(3, 1);
  const double ts = kpx4160_sim_time();
  ASSERT_EQ(kpx4160_sim_log_start(0.01), 0);
  ASSERT_EQ(kpx4160_sim_advance(0.105), 0);
  // Instants 0, 0.01, ..., 0.10: eleven, each with the four chip axes.
  ASSERT_EQ(kpx4160_sim_log_size(), 44u);
  std::vector<kpx4160_sim_sample> samples(44);
  for (uint32_t i = 0; i < 44; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(kpx4160_sim_log_sample(i, &samples[i]), 0);
    const kpx4160_sim_sample &s = samples[i];
    EXPECT_NEAR(s.time, ts + 0.01 * (i / 4), 1e-12);
    EXPECT_EQ(s.card, (i / 2) % 2);
    EXPECT_EQ(s.chip_axis, i % 2);
    if (s.card == 1 && s.chip_axis == 1) {
      EXPECT_EQ(s.speed, 1000.0);
      EXPECT_NEAR(s.position, -50 + 1000.0 * s.time, 1.0);
      EXPECT_EQ(s.encoder, 2 * (s.position + 50));
    } else {
      EXPECT_EQ(s.speed, 0.0);
      EXPECT_EQ(s.position, 0);
    }
  }
  kpx4160_sim_sample out{};
  EXPECT_EQ(kpx4160_sim_log_sample(44, &out), -1);
  EXPECT_EQ(kpx4160_sim_log_sample(0, nullptr), -1);

  // Stopped: time moves on, the log does not grow, the samples stay.
  EXPECT_EQ(kpx4160_sim_log_stop(), 0);
  ASSERT_EQ(kpx4160_sim_advance(0.05), 0);
  EXPECT_EQ(kpx4160_sim_log_size(), 44u);

  const std::string path = ::testing::TempDir() + "kpx4160_motion_log.csv";
  ASSERT_EQ(kpx4160_sim_log_write_csv(path.c_str()), 0);
  std::ifstream csv(path);
  std::string line;
  ASSERT_TRUE(std::getline(csv, line));
  EXPECT_EQ(line, "time,card,chip_axis,position,encoder,speed");
  size_t rows = 0;
  while (std::getline(csv, line)) {
    SCOPED_TRACE(line);
    ASSERT_LT(rows, samples.size());
    const std::vector<std::string> f = Split(line);
    ASSERT_EQ(f.size(), 6u);
    const kpx4160_sim_sample &s = samples[rows++];
    EXPECT_NEAR(std::stod(f[0]), s.time, 1e-6);
    EXPECT_EQ(std::stoul(f[1]), s.card);
    EXPECT_EQ(std::stoul(f[2]), s.chip_axis);
    EXPECT_EQ(std::stol(f[3]), s.position);
    EXPECT_EQ(std::stol(f[4]), s.encoder);
    EXPECT_NEAR(std::stod(f[5]), s.speed, 1e-3);
  }
  EXPECT_EQ(rows, samples.size());
  std::remove(path.c_str());
  EXPECT_EQ(kpx4160_sim_log_write_csv("/nonexistent-folder/kpx4160.csv"), -1);
  EXPECT_EQ(kpx4160_sim_log_write_csv(nullptr), -1);

  // A new log drops the old samples and starts with one now.
  ASSERT_EQ(kpx4160_sim_log_start(0.5), 0);
  EXPECT_EQ(kpx4160_sim_log_size(), 4u);
  ASSERT_EQ(kpx4160_sim_log_sample(3, &out), 0);
  EXPECT_NEAR(out.time, ts + 0.155, 1e-12);
  EXPECT_NEAR(out.position, -50 + 1000.0 * out.time, 1.0);
}

}  // namespace
}  // namespace kpx::test
