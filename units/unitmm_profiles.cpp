// Speed ranges, profiles and the present speed in user units per second.
// Times (ramps, S-curve sections given as times) are not scaled.
#include "kpx4160.h"
#include "units/unit_conversion.h"

using kpx::units::EquivalentOf;
using kpx::units::kUnitsDone;
using kpx::units::kUnitsNullPointer;
using kpx::units::kUnitsRefused;
using kpx::units::SpeedToPulses;
using kpx::units::SpeedToUnits;
using kpx::units::UnitsToPulses;

extern "C" {

int32_t k4160_variety_speed_range_unitmm(uint16_t axis, uint16_t mode, double max_speed) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_variety_speed_range(axis, mode, SpeedToPulses(max_speed, *e));
  return kUnitsDone;
}

int32_t k4160_read_current_speed_unitmm(uint16_t axis, double *speed) {
  if (speed == nullptr) return kUnitsNullPointer;
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  *speed = SpeedToUnits(k4160_read_current_speed(axis), *e);
  return kUnitsDone;
}

int32_t k4160_set_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_set_profile(axis, SpeedToPulses(start_speed, *e), SpeedToPulses(max_speed, *e), tacc, tdec);
  return kUnitsDone;
}

int32_t k4160_set_s_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec,
                                   double s_acc, double s_dec) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  // The S sections are speeds too, but the pulse function takes whole pulses per second.
  k4160_set_s_profile(axis, SpeedToPulses(start_speed, *e), SpeedToPulses(max_speed, *e), tacc, tdec,
                      UnitsToPulses(s_acc, *e), UnitsToPulses(s_dec, *e));
  return kUnitsDone;
}

int32_t k4160_set_st_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc, double tdec,
                                    double ts_acc, double ts_dec) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_set_st_profile(axis, SpeedToPulses(start_speed, *e), SpeedToPulses(max_speed, *e), tacc, tdec, ts_acc, ts_dec);
  return kUnitsDone;
}

int32_t k4160_set_vector_profile_unitmm(uint16_t axis, double start_speed, double max_speed, double tacc,
                                        double tdec) {
  // The vector profile belongs to no axis; the caller names the one whose
  // units the path speeds are given in.
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_set_vector_profile(SpeedToPulses(start_speed, *e), SpeedToPulses(max_speed, *e), tacc, tdec);
  return kUnitsDone;
}

}  // extern "C"
