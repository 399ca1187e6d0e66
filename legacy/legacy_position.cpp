// Positions of the older command set: the "position" follows the axis's
// count source (command counter or PLD encoder); the "command" is always the
// chip's command position.
#include <cstdint>

#include "kpx4160.h"
#include "legacy/legacy_axis.h"
#include "motion/axis_profile.h"

namespace {
// True when the axis's position functions use the PLD encoder counter. An
// axis outside the profile table has no count source and uses the command
// position counter.
bool UsesEncoder(int32_t axis) {
  const int32_t index = kpx::legacy::LegacyRecordIndex(axis);
  return index >= 0 && kpx::motion::ProfileFor(static_cast<uint16_t>(index))->count_source != 0;
}
}  // namespace

extern "C" {

KPX4160_API double Get_position(int32_t axis) {
  const uint16_t a = kpx::legacy::MainAxis(axis);
  return UsesEncoder(axis) ? static_cast<double>(k4160_get_encoder(a)) : static_cast<double>(k4160_get_position(a));
}

KPX4160_API void Set_position(int32_t axis, double position) {
  const uint16_t a = kpx::legacy::MainAxis(axis);
  const int32_t p = kpx::legacy::PulsesOf(position);
  if (UsesEncoder(axis))
    k4160_set_encoder(a, p);
  else
    k4160_set_position(a, p);
}

KPX4160_API double Get_command(int32_t axis) {
  return static_cast<double>(k4160_get_position(kpx::legacy::MainAxis(axis)));
}

KPX4160_API void Set_command(int32_t axis, double position) {
  k4160_set_position(kpx::legacy::MainAxis(axis), kpx::legacy::PulsesOf(position));
}

}  // extern "C"
