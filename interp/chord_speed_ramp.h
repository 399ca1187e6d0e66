// Speeds of the chords of an arc. The chip ramps each chord on its own, so a
// long arc would stop and restart at every chord if each chord carried a
// ramp from zero. Instead every chord after the first runs at one constant
// speed (start speed = maximum speed), and the arc as a whole ramps up over
// its first ten chords and down over its last ten, in steps of a tenth of
// the difference between the vector start and maximum speeds. Arcs of fewer
// than 20 chords have no room for both ramps and run at the start speed.
#pragma once

#include <cstdint>
#include <optional>

namespace kpx::interp {

inline constexpr int32_t kFewestRampedChords = 20;
inline constexpr int32_t kRampChords = 10;  // the speed difference is cut into tenths

class ChordSpeedRamp {
 public:
  // start_speed and max_speed: the vector profile's speeds before the arc.
  ChordSpeedRamp(double start_speed, double max_speed, int32_t chords);

  // The vector maximum speed that chord 1 runs with (its start speed is the
  // vector start speed itself).
  double FirstChordMaxSpeed() const { return max_speed_; }
  // The speed of chord i (1 .. chords - 1) for a chord on the rising or the
  // falling ramp; nothing for a chord that holds the speed of the one before.
  // Call it once per chord, in the order the chords are issued.
  std::optional<double> Advance(int32_t chord);
  // The speed of the last chord (one step below the chord before it).
  double LastChordSpeed();

  double Step() const { return step_; }

 private:
  int32_t chords_;
  double max_speed_;
  double step_;
  double speed_;
};

}  // namespace kpx::interp
