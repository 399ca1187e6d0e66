// Point moves of several axes in one call, and the chip's synchronisation
// options: each axis can be made to start on the simultaneous-start command
// (or the CSTA input) and to stop with the others.
#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/pcl_codes.h"

namespace {

constexpr int32_t kDone = 1;
constexpr int32_t kRejected = -1;

// Operation-mode word: synchronisation mode in bits 18-19, the two
// synchronisation flags in bits 24 and 25.
constexpr unsigned kSyncModeShift = 18;
constexpr uint32_t kSyncModeField = 3u << kSyncModeShift;
constexpr uint32_t kSyncFlag1 = 1u << 24;
constexpr uint32_t kSyncFlag2 = 1u << 25;
constexpr uint16_t kSyncModeMax = 3;
// SignalConfig1 bit 19: stop together with the other synchronised axes.
constexpr uint32_t kSyncStopMode = 1u << 19;

// Simultaneous start of every axis waiting for it.
constexpr uint16_t kPclStartSimultaneous = 0x06;

// Position mode: 0 distances relative to where each axis stands, 1 targets.
constexpr uint16_t kAbsolute = 1;

// The symmetric trapezoidal point move keeps the synchronisation fields.
static_assert((kpx::motion::kTPmoveMask & (kSyncModeField | kSyncFlag1 | kSyncFlag2)) ==
              (kSyncModeField | kSyncFlag1 | kSyncFlag2));

// Loads and starts a symmetric trapezoidal point move on one axis, as a
// single relative or absolute point move does.
void LoadAndStart(uint16_t axis, int32_t distance, uint16_t posi_mode, const kpx::motion::AxisProfile &profile) {
  using namespace kpx::core;
  const uint16_t card = CardOf(axis);
  const uint16_t base = BaseOf(axis);
  int64_t d = distance;
  if (posi_mode == kAbsolute) {
    d -= static_cast<int32_t>(ReadPclRegister32(card, base, kpx::motion::kPclLogicalPositionRead));
  }
  // The chip's distance register is 32 bits wide: the difference wraps like
  // the chip's own position arithmetic.
  WritePclRegister32(card, base, kpx::motion::kPclDistancePre, static_cast<uint32_t>(d));
  WritePclRegister32(card, base, kpx::motion::kPclRampDownPointPre, 0);
  WritePclRegister16(card, base, kpx::motion::kPclDecelRatePre, profile.accel_rate);
  ModifyPclRegister(card, base, kPclOperationModeRead, kPclOperationModePre, kpx::motion::kTPmoveMask,
                    kpx::motion::kTPmoveValue);
  WritePclCommand(card, base, kpx::motion::kPclStartAccelerating);
}

}  // namespace

extern "C" {

int32_t k4160_set_t_move_all(uint16_t count, const uint16_t *axes, const int32_t *distances, uint16_t posi_mode) {
  if (count == 0 || axes == nullptr || distances == nullptr || posi_mode > kAbsolute) return kRejected;
  // Every axis must have a profile record before the first one is touched.
  for (uint16_t k = 0; k < count; ++k) {
    if (kpx::motion::ProfileFor(axes[k]) == nullptr) return kRejected;
  }
  for (uint16_t k = 0; k < count; ++k) {
    LoadAndStart(axes[k], distances[k], posi_mode, *kpx::motion::ProfileFor(axes[k]));
  }
  return kDone;
}

int32_t k4160_start_move_all(uint16_t axis) {
  kpx::core::WritePclCommand(kpx::core::CardOf(axis), kpx::core::BaseOf(axis), kPclStartSimultaneous);
  return kDone;
}

int32_t k4160_set_sync_option(uint16_t axis, uint16_t sync_flag1, uint16_t sync_flag2, uint16_t sync_mode,
                              uint16_t extra) {
  (void)extra;  // accepted for compatibility, selects nothing
  if (sync_flag1 > 1 || sync_flag2 > 1 || sync_mode > kSyncModeMax) return kRejected;
  uint32_t v = static_cast<uint32_t>(sync_mode) << kSyncModeShift;
  if (sync_flag1 == 1) v |= kSyncFlag1;
  if (sync_flag2 == 1) v |= kSyncFlag2;
  kpx::core::ModifyPclRegister(kpx::core::CardOf(axis), kpx::core::BaseOf(axis), kpx::core::kPclOperationModeRead,
                               kpx::core::kPclOperationModeWrite, ~(kSyncModeField | kSyncFlag1 | kSyncFlag2), v);
  return kDone;
}

int32_t k4160_set_sync_stop_mode(uint16_t axis, uint16_t mode) {
  if (mode > 1) return kRejected;
  kpx::core::ModifyPclRegister(kpx::core::CardOf(axis), kpx::core::BaseOf(axis), kpx::core::kPclSignalConfig1Read,
                               kpx::core::kPclSignalConfig1Write, ~kSyncStopMode, mode == 1 ? kSyncStopMode : 0);
  return kDone;
}

}  // extern "C"
