#include "interp/chord_speed_ramp.h"

namespace kpx::interp {

ChordSpeedRamp::ChordSpeedRamp(double start_speed, double max_speed, int32_t chords)
    : chords_(chords), max_speed_(max_speed), speed_(start_speed) {
  if (chords < kFewestRampedChords) max_speed_ = start_speed;
  if (start_speed > max_speed_) max_speed_ = start_speed;
  step_ = (max_speed_ - start_speed) / kRampChords;
}

std::optional<double> ChordSpeedRamp::Advance(int32_t chord) {
  if (chord >= 2 && chord <= kRampChords) {
    speed_ = speed_ + step_;
    return speed_;
  }
  // Chord 11 holds the peak; the falling ramp covers the chords after
  // chords - 10 (the last chord takes one more step down by itself).
  if (chord != kRampChords + 1 && chord > chords_ - kRampChords) {
    speed_ = speed_ - step_;
    return speed_;
  }
  return std::nullopt;
}

double ChordSpeedRamp::LastChordSpeed() {
  speed_ = speed_ - step_;
  return speed_;
}

}  // namespace kpx::interp
