// Moves of the older command set: each loads a profile and starts the move
// through the main interface; the blocking forms then poll for the end.
#include <cmath>
#include <cstdint>

#include "core/pause.h"
#include "kpx4160.h"
#include "legacy/legacy_axis.h"

namespace {
using kpx::legacy::MainAxis;
using kpx::legacy::PulsesOf;

// Position modes of the point moves.
constexpr uint16_t kRelative = 0;
constexpr uint16_t kAbsolute = 1;
// Continuous-move directions of the main interface.
constexpr uint16_t kVmoveNegative = 0;
constexpr uint16_t kVmovePositive = 1;
// Home search directions of the main interface.
constexpr uint16_t kHomePositive = 1;
constexpr uint16_t kHomeNegative = 2;
// Pause between done polls of Move_xy.
constexpr uint32_t kDonePollMs = 1;

void TrapezoidProfile(uint16_t a, double s, double v, double t) { k4160_set_profile(a, s, std::fabs(v), t, t); }
void SCurveProfile(uint16_t a, double s, double v, double t, double p) {
  k4160_set_st_profile(a, s, std::fabs(v), t, t, p, p);
}

// The first axis of a legacy card number: 2 x card, kept to 16 bits. Done in
// unsigned arithmetic, which wraps where the signed product would overflow
// (card numbers beyond +-2^30) and equals it everywhere else.
uint16_t FirstAxisOfCard(int32_t card) { return static_cast<uint16_t>(static_cast<uint32_t>(card) * 2u); }

}  // namespace

extern "C" {

KPX4160_API void V_move(int32_t axis, double s, double v, double t) {
  const uint16_t a = MainAxis(axis);
  TrapezoidProfile(a, s, v, t);
  k4160_t_vmove(a, v < 0 ? kVmoveNegative : kVmovePositive);
}

KPX4160_API void Sv_move(int32_t axis, double s, double v, double t, double p) {
  const uint16_t a = MainAxis(axis);
  SCurveProfile(a, s, v, t, p);
  k4160_s_vmove(a, v < 0 ? kVmoveNegative : kVmovePositive);
}

KPX4160_API void Home_move(int32_t axis, double s, double v, double t) {
  const uint16_t a = MainAxis(axis);
  TrapezoidProfile(a, s, v, t);
  k4160_home_move(a, v < 0 ? kHomeNegative : kHomePositive, 1);
}

KPX4160_API void V_change(int32_t axis, double speed) { k4160_change_speed(MainAxis(axis), std::fabs(speed)); }

KPX4160_API void Start_a_move(int32_t axis, double position, double s, double v, double t) {
  const uint16_t a = MainAxis(axis);
  TrapezoidProfile(a, s, v, t);
  k4160_t_pmove(a, PulsesOf(position), kAbsolute);
}

KPX4160_API void A_move(int32_t axis, double position, double s, double v, double t) {
  Start_a_move(axis, position, s, v, t);
  kpx::legacy::WaitForAxisDone(MainAxis(axis));
}

KPX4160_API void Start_r_move(int32_t axis, double distance, double s, double v, double t) {
  const uint16_t a = MainAxis(axis);
  TrapezoidProfile(a, s, v, t);
  k4160_t_pmove(a, PulsesOf(distance), kRelative);
}

KPX4160_API void R_move(int32_t axis, double distance, double s, double v, double t) {
  Start_r_move(axis, distance, s, v, t);
  kpx::legacy::WaitForAxisDone(MainAxis(axis));
}

KPX4160_API void Start_s_move(int32_t axis, double position, double s, double v, double t, double p) {
  const uint16_t a = MainAxis(axis);
  SCurveProfile(a, s, v, t, p);
  k4160_s_pmove(a, PulsesOf(position), kAbsolute);
}

KPX4160_API void S_move(int32_t axis, double position, double s, double v, double t, double p) {
  Start_s_move(axis, position, s, v, t, p);
  kpx::legacy::WaitForAxisDone(MainAxis(axis));
}

KPX4160_API void Start_rs_move(int32_t axis, double distance, double s, double v, double t, double p) {
  const uint16_t a = MainAxis(axis);
  SCurveProfile(a, s, v, t, p);
  k4160_s_pmove(a, PulsesOf(distance), kRelative);
}

KPX4160_API void Rs_move(int32_t axis, double distance, double s, double v, double t, double p) {
  Start_rs_move(axis, distance, s, v, t, p);
  kpx::legacy::WaitForAxisDone(MainAxis(axis));
}

KPX4160_API void Start_move_xy(int32_t card, double x, double y) {
  const uint16_t first = FirstAxisOfCard(card);
  k4160_t_line2(first, PulsesOf(x), static_cast<uint16_t>(first + 1), PulsesOf(y), kAbsolute);
}

KPX4160_API void Move_xy(int32_t card, double x, double y) {
  Start_move_xy(card, x, y);
  const uint16_t first = FirstAxisOfCard(card);
  const uint16_t second = static_cast<uint16_t>(first + 1);
  // The second axis is asked only once the first reports done; a busy answer
  // from either starts the round again with the first.
  while ((k4160_check_done(first) & 0xFFFFu) == 0 || (k4160_check_done(second) & 0xFFFFu) == 0)
    kpx::core::PauseMilliseconds(kDonePollMs);
}

KPX4160_API void Decel_stop(int32_t axis, double time) { k4160_decel_stop(MainAxis(axis), time); }

KPX4160_API uint16_t Motion_done(int32_t axis) {
  return static_cast<uint16_t>(k4160_check_done(MainAxis(axis)) & 0xFFFFu);
}

KPX4160_API void Wait_for_done(int32_t axis) { kpx::legacy::WaitForAxisDone(MainAxis(axis)); }

}  // extern "C"
