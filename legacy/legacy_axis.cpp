#include "legacy/legacy_axis.h"

#include "core/pause.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/conversions.h"

namespace kpx::legacy {
namespace {
// Pause between two done polls of a blocking move.
constexpr uint32_t kDonePollMs = 1;
}  // namespace

int32_t LegacyRecordIndex(int32_t axis) {
  const int32_t index = LegacyCard(axis) * 2 + LegacyChipAxis(axis);
  if (index < 0 || index >= static_cast<int32_t>(motion::kAxisProfileCount)) return -1;
  return index;
}

int32_t PulsesOf(double position) { return motion::Trunc32(position); }

uint16_t WaitForAxisDone(uint16_t axis) {
  uint16_t done;
  while (((done = k4160_check_done(axis)) & 0xFFFFu) == 0) core::PauseMilliseconds(kDonePollMs);
  return done;
}

}  // namespace kpx::legacy
