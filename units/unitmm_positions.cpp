// Positions and encoder counts in user units.
#include "kpx4160.h"
#include "units/unit_conversion.h"

using kpx::units::EquivalentOf;
using kpx::units::kUnitsDone;
using kpx::units::kUnitsNullPointer;
using kpx::units::kUnitsRefused;
using kpx::units::PulsesToUnits;
using kpx::units::UnitsToPulses;

extern "C" {

int32_t k4160_get_position_unitmm(uint16_t axis, double *pos) {
  if (pos == nullptr) return kUnitsNullPointer;
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  *pos = PulsesToUnits(k4160_get_position(axis), *e);
  return kUnitsDone;
}

int32_t k4160_set_position_unitmm(uint16_t axis, double pos) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_set_position(axis, UnitsToPulses(pos, *e));
  return kUnitsDone;
}

int32_t k4160_get_encoder_unitmm(uint16_t axis, double *pos) {
  if (pos == nullptr) return kUnitsNullPointer;
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  *pos = PulsesToUnits(k4160_get_encoder(axis), *e);
  return kUnitsDone;
}

int32_t k4160_set_encoder_unitmm(uint16_t axis, double pos) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_set_encoder(axis, UnitsToPulses(pos, *e));
  return kUnitsDone;
}

}  // extern "C"
