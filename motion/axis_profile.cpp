#include "motion/axis_profile.h"

namespace kpx::motion {

namespace {
// Zero-initialised at load; indexed by the API axis number.
AxisProfile g_profiles[kAxisProfileCount];
VectorProfile g_vector_profile;
}  // namespace

AxisProfile *ProfileFor(uint16_t axis) { return axis < kAxisProfileCount ? &g_profiles[axis] : nullptr; }

AxisProfile *ProfileFor(uint16_t card, uint16_t chip_axis) {
  if (chip_axis > 1) return nullptr;
  const uint32_t index = static_cast<uint32_t>(card) * 2u + chip_axis;
  return index < kAxisProfileCount ? &g_profiles[index] : nullptr;
}

VectorProfile &TheVectorProfile() { return g_vector_profile; }

void ClearAllProfiles() {
  for (AxisProfile &p : g_profiles) p = AxisProfile{};
  g_vector_profile = VectorProfile{};
}

}  // namespace kpx::motion
