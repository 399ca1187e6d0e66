// The per-axis pulse equivalent, kept in the axis's profile record.
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "units/unit_conversion.h"

namespace kpx::units {
namespace {

// Smallest equivalent accepted: below it a user unit would be less than a
// millionth of a pulse and the unit-to-pulse products would all be 0.
constexpr double kSmallestEquivalent = 0.000001;
constexpr int32_t kEquivStored = 1;
constexpr int32_t kEquivRefused = 2;
constexpr int32_t kEquivRead = 1;

}  // namespace

std::optional<double> EquivalentOf(uint16_t axis) {
  double e = 0.0;
  if (k4160_get_equiv(axis, &e) != kEquivRead) return std::nullopt;
  return e;
}

}  // namespace kpx::units

using kpx::units::kEquivRead;
using kpx::units::kEquivRefused;
using kpx::units::kEquivStored;
using kpx::units::kSmallestEquivalent;

extern "C" {

int32_t k4160_set_equiv(uint16_t axis, double equiv) {
  kpx::motion::AxisProfile *profile = kpx::motion::ProfileFor(axis);
  // A NaN compares false and is stored, as any other value not below the floor.
  if (profile == nullptr || equiv < kSmallestEquivalent) return kEquivRefused;
  profile->pulse_equivalent = equiv;
  return kEquivStored;
}

int32_t k4160_get_equiv(uint16_t axis, double *equiv) {
  if (equiv == nullptr) return kpx::units::kUnitsNullPointer;
  const kpx::motion::AxisProfile *profile = kpx::motion::ProfileFor(axis);
  if (profile == nullptr) return kpx::units::kUnitsRefused;
  *equiv = profile->pulse_equivalent;
  return kEquivRead;
}

}  // extern "C"
