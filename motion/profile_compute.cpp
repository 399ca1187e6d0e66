#include "motion/profile_compute.h"

#include "core/registers.h"
#include "motion/axis_profile.h"
#include "motion/conversions.h"
#include "motion/pcl_codes.h"
#include "motion/speed_range.h"

namespace kpx::motion {

namespace {

inline constexpr int32_t kSpeedRegisterMax = 16383;  // 14-bit speed and rate registers
inline constexpr int32_t kSSectionMax = 8191;        // 13-bit S-section registers
inline constexpr double kMinSpan = 0.0001;           // below this span the profile runs at constant speed
// Ramp-time constants of the chip's reference clock (19.6608 MHz).
inline constexpr double kTrapezoidClock = 19660800.0;
inline constexpr double kSCurveClock = 9830400.0;

enum class Span { kRamp, kConstant, kRefused };

// The common first step: speed range, start and maximum speed counts, and the
// span in speed units (truncated to whole units when `whole_span`). Returns
// kRefused when the automatic range has no row for the maximum speed (the
// record is untouched), kConstant after setting up a constant-speed profile.
Span ComputeSpeeds(AxisProfile &p, double lo, double hi, bool s_curve, bool whole_span, double *span, double *unit_out) {
  if (lo > hi) hi = lo;
  double unit;
  if (p.range_mode == 1) {
    unit = Trunc32(p.fixed_speed_unit);
    if (lo > p.fixed_max_speed) lo = p.fixed_max_speed;
    if (hi > p.fixed_max_speed) hi = p.fixed_max_speed;
  } else {
    uint16_t code = 0;
    uint16_t range_unit = 0;
    if (LookupSpeedRange(hi, &code, &range_unit) != kRangeFound) return Span::kRefused;
    p.speed_unit = range_unit;
    p.magnification = code;
    unit = range_unit;
  }
  p.start_speed = static_cast<uint16_t>(ClampToRange(Trunc32(lo / unit), 1, kSpeedRegisterMax));
  p.max_speed = static_cast<uint16_t>(ClampToRange(Trunc32(hi / unit), 1, kSpeedRegisterMax));
  double delta = (hi - lo) / unit;
  if (whole_span) delta = Trunc32(delta);
  *span = delta;
  *unit_out = unit;
  if (delta < kMinSpan) {
    p.max_speed = p.start_speed;
    p.accel_rate = 1;
    p.decel_rate = 1;
    if (s_curve) {
      p.s_accel_section = 1;
      p.s_decel_section = 1;
    }
    return Span::kConstant;
  }
  return Span::kRamp;
}

uint16_t TrapezoidRate(double time, double span) {
  return static_cast<uint16_t>(ClampToRange(Trunc32(time * kTrapezoidClock / (span * 2.0) - 1.0), 1, kSpeedRegisterMax));
}

uint16_t SCurveRate(double time, uint16_t section, double span) {
  return static_cast<uint16_t>(
      ClampToRange(Trunc32(time * kSCurveClock / (2.0 * section + span) - 1.0), 1, kSpeedRegisterMax));
}

// A section given in pulses/s, in units of the magnification in the record.
uint16_t SectionFromSpeed(uint16_t magnification, int32_t speed) {
  return static_cast<uint16_t>(
      ClampToRange(Trunc32((magnification + 1.0) * (static_cast<double>(speed) * (1.0 / 1200.0))), 1, kSSectionMax));
}

uint16_t SectionFromTime(double s_time, double ramp_time, double unit, uint16_t start_speed) {
  return static_cast<uint16_t>(
      ClampToRange(Trunc32(s_time * 0.5 / (ramp_time - s_time) / unit + start_speed), 1, kSSectionMax));
}

}  // namespace

void ComputeTrapezoidProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed,
                             double accel_time, double decel_time) {
  AxisProfile *p = ProfileFor(card, chip_axis);
  if (p == nullptr) return;
  double span = 0, unit = 0;
  if (ComputeSpeeds(*p, start_speed, max_speed, false, false, &span, &unit) != Span::kRamp) return;
  p->accel_rate = TrapezoidRate(accel_time, span);
  p->decel_rate = TrapezoidRate(decel_time, span);
}

void ComputeSProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed, double accel_time,
                     double decel_time, int32_t s_accel_speed, int32_t s_decel_speed) {
  AxisProfile *p = ProfileFor(card, chip_axis);
  if (p == nullptr) return;
  double span = 0, unit = 0;
  if (ComputeSpeeds(*p, start_speed, max_speed, true, false, &span, &unit) != Span::kRamp) return;
  p->s_accel_section = SectionFromSpeed(p->magnification, s_accel_speed);
  p->accel_rate = SCurveRate(accel_time, p->s_accel_section, span);
  p->s_decel_section = SectionFromSpeed(p->magnification, s_decel_speed);
  p->decel_rate = SCurveRate(decel_time, p->s_decel_section, span);
}

void ComputeSTimeProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed,
                         double accel_time, double decel_time, double s_accel_time, double s_decel_time) {
  AxisProfile *p = ProfileFor(card, chip_axis);
  if (p == nullptr) return;
  double span = 0, unit = 0;
  if (ComputeSpeeds(*p, start_speed, max_speed, true, true, &span, &unit) != Span::kRamp) return;
  p->s_accel_section = SectionFromTime(s_accel_time, accel_time, unit, p->start_speed);
  p->s_decel_section = SectionFromTime(s_decel_time, decel_time, unit, p->start_speed);
  p->accel_rate = SCurveRate(accel_time, p->s_accel_section, span);
  p->decel_rate = SCurveRate(decel_time, p->s_decel_section, span);
}

void WriteProfileRegisters(uint16_t card, uint16_t chip_axis) {
  const AxisProfile *p = ProfileFor(card, chip_axis);
  if (p == nullptr) return;
  const uint16_t base = core::BaseOfChipAxis(chip_axis);
  core::WritePclRegister16(card, base, kPclStartSpeedPre, p->start_speed);
  core::WritePclRegister16(card, base, kPclMaxSpeedPre, p->max_speed);
  core::WritePclRegister16(card, base, kPclAccelRatePre, p->accel_rate);
  core::WritePclRegister16(card, base, kPclDecelRatePre, p->decel_rate);
  // Magnification last: the unit of the speeds above changes with it.
  core::WritePclRegister16(card, base, kPclMagnificationPre, p->magnification);
}

void WriteSProfileRegisters(uint16_t card, uint16_t chip_axis) {
  const AxisProfile *p = ProfileFor(card, chip_axis);
  if (p == nullptr) return;
  const uint16_t base = core::BaseOfChipAxis(chip_axis);
  core::WritePclRegister16(card, base, kPclStartSpeedPre, p->start_speed);
  core::WritePclRegister16(card, base, kPclMaxSpeedPre, p->max_speed);
  core::WritePclRegister16(card, base, kPclAccelRatePre, p->accel_rate);
  core::WritePclRegister16(card, base, kPclDecelRatePre, p->decel_rate);
  core::WritePclRegister16(card, base, kPclSAccelSectionPre, p->s_accel_section);
  core::WritePclRegister16(card, base, kPclSDecelSectionPre, p->s_decel_section);
  core::WritePclRegister16(card, base, kPclMagnificationPre, p->magnification);
}

}  // namespace kpx::motion
