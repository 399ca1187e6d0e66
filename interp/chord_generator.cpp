#include "interp/chord_generator.h"

#include "interp/chord_speed_ramp.h"
#include "interp/int_math.h"

namespace kpx::interp {

void RunChords(const ArcPlan &plan, ChordSink &sink, bool pause_before_last) {
  ChordSpeedRamp ramp(sink.VectorStartSpeed(), sink.VectorMaxSpeed(), plan.chords);
  sink.SetVectorMaxSpeed(ramp.FirstChordMaxSpeed());

  ChordPoint previous{0, 0};
  double angle = plan.start_angle;
  for (int32_t chord = 1; chord < plan.chords; ++chord) {
    if (const auto speed = ramp.Advance(chord)) sink.SetChordSpeed(*speed);
    angle = NextAngle(plan, angle);
    const ChordPoint end = PointAt(plan, angle);
    sink.WaitForRoom(false);
    sink.IssueChord(Sub32(end.x, previous.x), Sub32(end.y, previous.y));
    previous = end;
  }
  sink.WaitForRoom(pause_before_last);
  sink.SetChordSpeed(ramp.LastChordSpeed());
  sink.IssueChord(Sub32(plan.target_x, previous.x), Sub32(plan.target_y, previous.y));
}

}  // namespace kpx::interp
