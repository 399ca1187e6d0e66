// The default state every card, axis and the library are put in when the
// cards are opened, and the part of it a board reset restores. The defaults
// are made through the library's own exported setters, so the state after
// k4160_board_init is exactly what an application gets by making the same
// calls itself.
#include "core/board_defaults.h"

#include "kpx4160.h"

namespace kpx::core {
namespace {
// Outputs 15-20 are the chip's general-purpose terminals; they start on.
constexpr uint16_t kFirstTerminalOutput = 15;
constexpr uint16_t kLastTerminalOutput = 20;
// Automatic speed range, covering speeds up to this many pulses/s.
constexpr uint16_t kAutomaticSpeedRange = 0;
constexpr double kAutomaticRangeMaxSpeed = 6553600.0;
// Default single-axis profile: 1000 -> 2000 pulses/s in 0.1 s each way.
constexpr double kStartSpeed = 1000.0, kMaxSpeed = 2000.0, kRampTime = 0.1;
// Default vector profile of the interpolated moves.
constexpr double kVectorStartSpeed = 1000.0, kVectorMaxSpeed = 5000.0, kVectorRampTime = 0.1;
// One pulse per user unit.
constexpr double kPulseEquivalent = 1.0;
}  // namespace

void ApplyCardDefaults(uint16_t card) { k4160_config_latch_mode(card, 1); }

void ApplyAxisDefaults(uint16_t card, uint16_t chip_axis) {
  const uint16_t axis = static_cast<uint16_t>(2 * card + chip_axis);
  // The outputs are card-wide: each chip axis of the card switches all six on.
  for (uint16_t n = kFirstTerminalOutput; n <= kLastTerminalOutput; ++n) k4160_write_outbit(card, n, 1);
  k4160_variety_speed_range(axis, kAutomaticSpeedRange, kAutomaticRangeMaxSpeed);
  k4160_set_profile(axis, kStartSpeed, kMaxSpeed, kRampTime, kRampTime);
  k4160_set_handwheel_inmode(axis, 0, 0);
  k4160_config_home_mode(axis, 0, 1);
  k4160_set_sync_stop_mode(axis, 0);
  k4160_set_sync_option(axis, 0, 0, 0, 0);
  k4160_set_equiv(axis, kPulseEquivalent);
  Set_cnt_src(axis, 0);
}

void ApplyLibraryDefaults() {
  k4160_set_vector_profile(kVectorStartSpeed, kVectorMaxSpeed, kVectorRampTime, kVectorRampTime);
}

void ApplyResetDefaults(uint16_t card, uint16_t chip_axis) {
  const uint16_t axis = static_cast<uint16_t>(2 * card + chip_axis);
  k4160_variety_speed_range(axis, kAutomaticSpeedRange, kAutomaticRangeMaxSpeed);
  k4160_set_equiv(axis, kPulseEquivalent);
}

}  // namespace kpx::core
