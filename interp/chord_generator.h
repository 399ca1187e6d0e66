// Feeds an arc to the chip chord by chord. The chip holds one running line
// and one queued line per axis, so each chord is handed over as soon as the
// queue of both axes has room, and the arc runs without a stop between
// chords. The chord speed reaches the line through the vector profile.
#pragma once

#include <cstdint>

#include "interp/arc_geometry.h"

namespace kpx::interp {

// What the generator drives; the hardware form is in arc_move.cpp, tests
// record the calls.
class ChordSink {
 public:
  virtual ~ChordSink() = default;
  // The vector profile's start and maximum speed, read once at the start.
  virtual double VectorStartSpeed() = 0;
  virtual double VectorMaxSpeed() = 0;
  virtual void SetVectorMaxSpeed(double speed) = 0;
  // Writes speed into both the start and the maximum speed of the vector
  // profile: the chords that follow run at that constant speed.
  virtual void SetChordSpeed(double speed) = 0;
  // Returns once the pre-buffer of both axes is free, or both axes are idle;
  // with pause, waits a millisecond between polls.
  virtual void WaitForRoom(bool pause) = 0;
  // Starts one chord as a relative two-axis line.
  virtual void IssueChord(int32_t dx, int32_t dy) = 0;
};

// Runs the chords of a planned arc with at least one chord. The last chord
// goes to the exact target, so the rounding of the points in between never
// accumulates. pause_before_last: wait a millisecond between the polls
// before the last chord.
void RunChords(const ArcPlan &plan, ChordSink &sink, bool pause_before_last);

}  // namespace kpx::interp
