#include "sim/motion_plan.h"

#include <algorithm>
#include <cmath>

namespace kpx::sim {
namespace {

// Bisection steps: enough for double precision over any interval used here.
constexpr int kBisectionSteps = 80;

// Jerk of an S-shaped ramp: the curved end takes the speed through the
// section while the acceleration rises from 0 to the rate's acceleration.
double SectionJerk(double acceleration, double section) { return acceleration * acceleration / (2.0 * section); }

}  // namespace

std::vector<MotionPiece> RampPieces(double v_from, double v_to, const RampShape &shape) {
  const double span = std::fabs(v_to - v_from);
  if (span <= 0.0) return {};
  const double sign = v_to > v_from ? 1.0 : -1.0;
  const double a = shape.acceleration;
  if (!shape.s_curve) return {{span / a, v_from, sign * a, 0.0}};
  // A section of 0, or one wider than half the span, curves the whole ramp.
  const double section = shape.s_section > 0.0 ? shape.s_section : span / 2.0;
  const double jerk = SectionJerk(a, section);
  if (2.0 * section >= span) {
    // The acceleration peaks below a: two curved halves meet in the middle.
    const double peak = std::sqrt(span * jerk);
    const double half = peak / jerk;
    return {{half, v_from, 0.0, sign * jerk}, {half, v_from + sign * span / 2.0, sign * peak, -sign * jerk}};
  }
  const double curve = a / jerk;
  std::vector<MotionPiece> pieces{{curve, v_from, 0.0, sign * jerk}};
  const double straight = (span - 2.0 * section) / a;
  if (straight > 0.0) pieces.push_back({straight, v_from + sign * section, sign * a, 0.0});
  pieces.push_back({curve, v_to - sign * section, sign * a, -sign * jerk});
  return pieces;
}

double RampTime(double v_from, double v_to, const RampShape &shape) {
  double t = 0.0;
  for (const MotionPiece &p : RampPieces(v_from, v_to, shape)) t += p.duration;
  return t;
}

// Every ramp shape is point-symmetric about its middle, so it covers the
// distance of its mean speed.
double RampDistance(double v_from, double v_to, const RampShape &shape) {
  return (v_from + v_to) / 2.0 * RampTime(v_from, v_to, shape);
}

void MotionPlan::Append(const std::vector<MotionPiece> &pieces) {
  for (const MotionPiece &p : pieces) {
    if (!(p.duration > 0.0)) continue;
    const double start = Empty() ? 0.0 : starts_.back() + pieces_.back().duration;
    const double distance = Empty() ? 0.0 : distances_.back() + pieces_.back().Distance(pieces_.back().duration);
    pieces_.push_back(p);
    starts_.push_back(start);
    distances_.push_back(distance);
  }
}

void MotionPlan::AppendCruise(double speed, double duration) { Append({{duration, speed, 0.0, 0.0}}); }

size_t MotionPlan::Locate(double tau, double &local) const {
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), tau);
  const size_t i = it == starts_.begin() ? 0 : static_cast<size_t>(it - starts_.begin()) - 1;
  local = std::clamp(tau - starts_[i], 0.0, pieces_[i].duration);
  return i;
}

double MotionPlan::DistanceAt(double tau) const {
  if (Empty()) return 0.0;
  double local;
  const size_t i = Locate(tau, local);
  return distances_[i] + pieces_[i].Distance(local);
}

double MotionPlan::SpeedAt(double tau) const {
  if (Empty()) return 0.0;
  double local;
  const size_t i = Locate(tau, local);
  return pieces_[i].Speed(local);
}

double MotionPlan::AccelerationAt(double tau) const {
  if (Empty()) return 0.0;
  double local;
  const size_t i = Locate(tau, local);
  return pieces_[i].Acceleration(local);
}

double MotionPlan::TimeAtDistance(double x) const {
  if (Empty()) return x <= 0.0 ? 0.0 : kEndless;
  if (x <= 0.0) return 0.0;
  const auto it = std::upper_bound(distances_.begin(), distances_.end(), x);
  const size_t i = static_cast<size_t>(it - distances_.begin()) - 1;
  const MotionPiece &p = pieces_[i];
  const double want = x - distances_[i];
  if (std::isinf(p.duration)) {
    if (p.v0 <= 0.0) return kEndless;
    return starts_[i] + want / p.v0;
  }
  if (p.Distance(p.duration) < want) return kEndless;
  double lo = 0.0, hi = p.duration;
  for (int step = 0; step < kBisectionSteps; ++step) {
    const double mid = (lo + hi) / 2.0;
    (p.Distance(mid) < want ? lo : hi) = mid;
  }
  return starts_[i] + hi;
}

void MotionPlan::CutAt(double tau) {
  if (Empty()) return;
  double local;
  const size_t i = Locate(tau, local);
  pieces_[i].duration = local;
  pieces_.resize(i + 1);
  starts_.resize(i + 1);
  distances_.resize(i + 1);
  if (!(local > 0.0)) {
    pieces_.pop_back();
    starts_.pop_back();
    distances_.pop_back();
  }
}

double MotionPlan::Duration() const { return Empty() ? 0.0 : starts_.back() + pieces_.back().duration; }

namespace {

const RampShape &ShapeBetween(double v_from, double v_to, const RampShape &up, const RampShape &down) {
  return v_to >= v_from ? up : down;
}

double RampDownDistance(double v, double fl, const RampShape &down) {
  return v > fl ? RampDistance(v, fl, down) : 0.0;
}

void AppendRampDown(MotionPlan &plan, double v, double fl, const RampShape &down) {
  if (v > fl) plan.Append(RampPieces(v, fl, down));
}

// Ends the plan exactly on n: cut where it passes n, or run out the rest
// (rounding leftovers) at the last speed.
void EndOn(MotionPlan &plan, double n, double fl) {
  const double total = plan.TotalDistance();
  if (total > n) {
    plan.CutAt(plan.TimeAtDistance(n));
  } else if (total < n) {
    const double v = std::max(plan.SpeedAt(plan.Duration()), fl);
    plan.AppendCruise(v, (n - total) / v);
  }
}

}  // namespace

MotionPlan PositioningPlan(double n, double v0, double fl, double fh, const RampShape &up, const RampShape &down,
                           double ramp_down_point) {
  MotionPlan plan;
  if (!(n > 0.0)) return plan;
  auto first = [&](double vp) { return RampDistance(v0, vp, ShapeBetween(v0, vp, up, down)); };
  if (ramp_down_point < 0.0) {
    // The highest running speed at which the ramp up and the ramp down fit.
    double peak = fh;
    if (first(fh) + RampDownDistance(fh, fl, down) > n) {
      if (v0 >= fh || RampDownDistance(v0, fl, down) >= n) {
        peak = v0;
      } else {
        double lo = v0, hi = fh;
        for (int step = 0; step < kBisectionSteps; ++step) {
          const double mid = (lo + hi) / 2.0;
          (first(mid) + RampDownDistance(mid, fl, down) <= n ? lo : hi) = mid;
        }
        peak = lo;
      }
    }
    plan.Append(RampPieces(v0, peak, ShapeBetween(v0, peak, up, down)));
    const double cruise = n - first(peak) - RampDownDistance(peak, fl, down);
    if (cruise > 0.0 && peak > 0.0) plan.AppendCruise(peak, cruise / peak);
    AppendRampDown(plan, peak, fl, down);
  } else {
    // Ramp down once ramp_down_point pulses are left.
    const double turn = n - ramp_down_point;
    double vp = v0;
    if (turn > 0.0) {
      plan.Append(RampPieces(v0, fh, ShapeBetween(v0, fh, up, down)));
      const double reached = plan.TotalDistance();
      if (reached <= turn) {
        if (fh > 0.0) plan.AppendCruise(fh, (turn - reached) / fh);
        vp = fh;
      } else {
        const double t = plan.TimeAtDistance(turn);
        vp = plan.SpeedAt(t);
        plan.CutAt(t);
      }
    }
    AppendRampDown(plan, vp, fl, down);
  }
  EndOn(plan, n, fl);
  return plan;
}

MotionPlan EndlessPlan(double v0, double fh, const RampShape &up, const RampShape &down) {
  MotionPlan plan;
  plan.Append(RampPieces(v0, fh, ShapeBetween(v0, fh, up, down)));
  plan.AppendCruise(fh, kEndless);
  return plan;
}

MotionPlan StoppingPlan(double v0, double fl, const RampShape &down, double limit) {
  MotionPlan plan;
  AppendRampDown(plan, v0, fl, down);
  if (plan.TotalDistance() > limit) plan.CutAt(plan.TimeAtDistance(limit));
  return plan;
}

}  // namespace kpx::sim
