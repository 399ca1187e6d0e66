// The speed curve of one move as the chip generates it: a list of pieces of
// constant jerk (a trapezoidal ramp is one piece of constant acceleration,
// an S-curve ramp up to three), evaluated in closed form at any time. Path
// positions count pulses along the move from its start (never negative);
// the direction is applied by the axis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace kpx::sim {

inline constexpr double kEndless = std::numeric_limits<double>::infinity();

// One piece: speed v0 and acceleration a0 at its start, constant jerk j.
struct MotionPiece {
  double duration = 0.0;
  double v0 = 0.0;
  double a0 = 0.0;
  double jerk = 0.0;

  double Distance(double tau) const { return tau * (v0 + tau * (a0 / 2.0 + tau * jerk / 6.0)); }
  double Speed(double tau) const { return v0 + tau * (a0 + tau * jerk / 2.0); }
  double Acceleration(double tau) const { return a0 + tau * jerk; }
};

// How one ramp of the chip is shaped, in pulses per second: the rate
// register fixes the acceleration, the S section the speed span of each
// curved end of an S-shaped ramp.
struct RampShape {
  double acceleration = 1.0;  // pulses/s^2, > 0
  bool s_curve = false;
  double s_section = 0.0;  // pulses/s; 0 on an S-curve: curved throughout
};

// The pieces that take the speed from v_from to v_to (either way).
std::vector<MotionPiece> RampPieces(double v_from, double v_to, const RampShape &shape);
// Time and distance of that ramp.
double RampTime(double v_from, double v_to, const RampShape &shape);
double RampDistance(double v_from, double v_to, const RampShape &shape);

class MotionPlan {
 public:
  void Append(const std::vector<MotionPiece> &pieces);
  void AppendCruise(double speed, double duration);
  // Path distance, speed and acceleration tau seconds after the start.
  double DistanceAt(double tau) const;
  double SpeedAt(double tau) const;
  double AccelerationAt(double tau) const;
  // First time the path distance reaches x (the plan never goes back), or
  // kEndless when it never does.
  double TimeAtDistance(double x) const;
  // Drops everything after tau.
  void CutAt(double tau);
  double Duration() const;  // kEndless for a plan that ends in an endless cruise
  double TotalDistance() const { return DistanceAt(Duration()); }
  bool Empty() const { return pieces_.empty(); }

 private:
  // Piece index and time within it for a plan time.
  size_t Locate(double tau, double &local) const;
  std::vector<MotionPiece> pieces_;
  std::vector<double> starts_;     // plan time at which each piece starts
  std::vector<double> distances_;  // path distance at which each piece starts
};

// The plan of a positioning move of n pulses that starts at speed v0: ramp
// towards the running speed fh with `up` (or down with `down` when v0 is
// above it), run, and ramp down to the start speed fl with `down` so that
// the move ends on n. With ramp_down_point < 0 the chip finds the highest
// speed at which both ramps fit; otherwise it starts ramping down when
// ramp_down_point pulses are left, and whatever is left after that ramp runs
// at fl (or the ramp is cut short at the end of the move).
MotionPlan PositioningPlan(double n, double v0, double fl, double fh, const RampShape &up, const RampShape &down,
                           double ramp_down_point);
// An endless run: ramp from v0 to fh, then run at fh.
MotionPlan EndlessPlan(double v0, double fh, const RampShape &up, const RampShape &down);
// A stop: ramp from v0 down to fl, then end; cut at `limit` pulses.
MotionPlan StoppingPlan(double v0, double fl, const RampShape &down, double limit);

}  // namespace kpx::sim
