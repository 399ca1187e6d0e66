// Stops, the speed change of a running move, positions and status words.
#include <cstdint>

#include "core/board.h"
#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/conversions.h"
#include "motion/pcl_codes.h"
#include "motion/speed_range.h"

using namespace kpx::motion;
using namespace kpx::core;

namespace {
inline constexpr int32_t kPositionMagnitudeMax = 0x7FFFFFF;  // the counters are 28 bits wide
inline constexpr int32_t kRateMax = 16383;
}  // namespace

extern "C" {

void k4160_decel_stop(uint16_t axis, double decel_time) {
  AxisProfile *p = ProfileFor(axis);
  if (p == nullptr) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  const uint32_t mode = ReadPclRegister32(card, base, kPclOperationModeRead);
  // Span of the running profile in speed units, as a 16-bit difference.
  const uint16_t d = static_cast<uint16_t>(p->max_speed - p->start_speed);
  if (d != 0) {
    double divisor;
    if (mode & kModeSCurve) {
      // A section of 0 is a ramp S-shaped throughout.
      divisor = p->s_decel_section == 0 ? 4.0 * d : 2.0 * (d + 2.0 * p->s_decel_section);
    } else {
      divisor = 2.0 * d;
    }
    p->decel_rate = static_cast<uint16_t>(ClampToRange(Trunc32(decel_time * 19660800.0 / divisor - 1.0), 1, kRateMax));
    WritePclRegister16(card, base, kPclDecelRate, p->decel_rate);
  }
  WritePclCommand(card, base, kPclStopDecelerating);
}

void k4160_imd_stop(uint16_t axis) { WritePclCommand(CardOf(axis), BaseOf(axis), kPclStopImmediate); }

void k4160_simultaneous_stop(uint16_t axis) { WritePclCommand(CardOf(axis), BaseOf(axis), kPclStopSimultaneous); }

void k4160_emg_stop(void) { EmergencyStopAllCards(); }

void k4160_change_speed(uint16_t axis, double speed) {
  const AxisProfile *p = ProfileFor(axis);
  if (p == nullptr || p->range_mode != 1 || speed < 0) return;
  const double v = speed > p->fixed_max_speed ? p->fixed_max_speed : speed;
  uint16_t r = Low16(Trunc64(v / p->speed_unit));
  if (r == 0) r = 1;
  WritePclRegister16(CardOf(axis), BaseOf(axis), kPclMaxSpeed, r);
}

double k4160_read_current_speed(uint16_t axis) {
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  const uint16_t code = ReadPclRegister16(card, base, kPclMagnificationRead);
  const double unit = code != 0 ? 1200.0 / (code + 1.0) : 0.0;
  const uint16_t s = ReadPclRegister16(card, base, kPclPresentSpeedRead);
  return static_cast<double>(Trunc32(s * unit));
}

int32_t k4160_get_position(uint16_t axis) {
  return static_cast<int32_t>(ReadPclRegister32(CardOf(axis), BaseOf(axis), kPclLogicalPositionRead));
}

void k4160_set_position(uint16_t axis, int32_t position) {
  const int64_t magnitude = position < 0 ? -static_cast<int64_t>(position) : position;
  if (magnitude > kPositionMagnitudeMax) return;
  WritePclRegister32(CardOf(axis), BaseOf(axis), kPclLogicalPositionWrite, static_cast<uint32_t>(position));
}

uint16_t k4160_axis_status(uint16_t axis) { return ReadPclMainStatus(CardOf(axis), BaseOf(axis)); }

uint16_t k4160_check_done(uint16_t axis) {
  return (ReadPclMainStatus(CardOf(axis), BaseOf(axis)) & kMainStatusBusy) == 0 ? 1 : 0;
}

uint16_t k4160_prebuff_status(uint16_t axis) {
  return (ReadPclMainStatus(CardOf(axis), BaseOf(axis)) & kMainStatusPrebufferFull) != 0 ? 1 : 0;
}

uint16_t k4160_axis_io_status(uint16_t axis) {
  return static_cast<uint16_t>(read_word_pcl_sstsw(CardOf(axis), BaseOf(axis)) & kSubStatusSignals);
}

uint32_t k4160_get_rsts(uint16_t axis) {
  return ReadPclRegister32(CardOf(axis), BaseOf(axis), kPclExtendedStatusRead);
}

}  // extern "C"
