// Point moves and lines in user units. Their distances are whole user units.
#include "kpx4160.h"
#include "units/unit_conversion.h"

using kpx::units::EquivalentOf;
using kpx::units::kUnitsDone;
using kpx::units::kUnitsRefused;
using kpx::units::UnitsToPulses;

namespace {

using PointMove = void (*)(uint16_t, int32_t, uint16_t);

int32_t PointMoveInUnits(PointMove move, uint16_t axis, int32_t dist, uint16_t posi_mode) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  move(axis, UnitsToPulses(dist, *e), posi_mode);
  return kUnitsDone;
}

}  // namespace

extern "C" {

int32_t k4160_t_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode) {
  return PointMoveInUnits(k4160_t_pmove, axis, dist, posi_mode);
}

int32_t k4160_ex_t_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode) {
  return PointMoveInUnits(k4160_ex_t_pmove, axis, dist, posi_mode);
}

int32_t k4160_s_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode) {
  return PointMoveInUnits(k4160_s_pmove, axis, dist, posi_mode);
}

int32_t k4160_ex_s_pmove_unitmm(uint16_t axis, int32_t dist, uint16_t posi_mode) {
  return PointMoveInUnits(k4160_ex_s_pmove, axis, dist, posi_mode);
}

int32_t k4160_reset_target_position_unitmm(uint16_t axis, double pos) {
  const auto e = EquivalentOf(axis);
  if (!e) return kUnitsRefused;
  k4160_reset_target_position(axis, UnitsToPulses(pos, *e));
  return kUnitsDone;
}

int32_t k4160_t_line2_unitmm(uint16_t axis1, int32_t dist1, uint16_t axis2, int32_t dist2, uint16_t posi_mode) {
  // Both equivalents first, the first axis's before the second's.
  const auto e1 = EquivalentOf(axis1);
  const auto e2 = EquivalentOf(axis2);
  if (!e1 || !e2) return kUnitsRefused;
  k4160_t_line2(axis1, UnitsToPulses(dist1, *e1), axis2, UnitsToPulses(dist2, *e2), posi_mode);
  return kUnitsDone;
}

}  // extern "C"
