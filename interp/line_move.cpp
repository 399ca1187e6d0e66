// Two-axis linear interpolation. The chip's interpolator needs, on both
// axes, the axis's own distance, the common long-axis distance, the same
// speed registers (the speed of the longer axis) and the line operation
// code; the two accelerating starts then run the axes together. Arcs are
// made of these lines, and a line issued while the axes still run waits in
// their pre-buffer.
#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "interp/int_math.h"
#include "interp/line_geometry.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/pcl_codes.h"
#include "motion/profile_compute.h"

namespace kpx::interp {
namespace {

// Long-axis distance pre-register: the distance of the longer axis, which
// the interpolator steps at the programmed speed.
constexpr uint16_t kLongAxisDistancePre = 0x88;
// Operation-mode bits a line owns: the operation code (bits 0-6), the ramp
// shape (10) and ramp-down mode (13), bits 15 and 26; every other bit
// (signal enables, synchronisation) survives.
constexpr uint32_t kLineModeKeepMask = ~(0x7Fu | 1u << 10 | 1u << 13 | 1u << 15 | 1u << 26);
static_assert(kLineModeKeepMask == 0xFBFF5B80u);
// Two-axis linear interpolation, symmetric trapezoidal ramps.
constexpr uint32_t kLineOperationCode = 0x63;
constexpr uint16_t kAbsoluteTargets = 1;

struct LineAxis {
  uint16_t card;
  uint16_t chip_axis;
  uint16_t base;
};

LineAxis Address(uint16_t axis) { return {core::CardOf(axis), core::ChipAxisOf(axis), core::BaseOf(axis)}; }

}  // namespace
}  // namespace kpx::interp

using namespace kpx;
using namespace kpx::interp;

extern "C" void k4160_t_line2(uint16_t axis1, int32_t dist1, uint16_t axis2, int32_t dist2, uint16_t posi_mode) {
  // Both axes need a profile record; with either missing nothing is started.
  if (motion::ProfileFor(axis1) == nullptr || motion::ProfileFor(axis2) == nullptr) return;
  const LineAxis axes[2] = {Address(axis1), Address(axis2)};
  int32_t dist[2] = {dist1, dist2};

  if (posi_mode == kAbsoluteTargets) {
    for (int i = 0; i < 2; ++i) {
      const auto position = static_cast<int32_t>(
          core::ReadPclRegister32(axes[i].card, axes[i].base, motion::kPclLogicalPositionRead));
      dist[i] = Sub32(dist[i], position);
    }
  }

  const LineSplit split = SplitLine(dist[0], dist[1]);
  const motion::VectorProfile &vector = motion::TheVectorProfile();
  const double start_speed = split.long_axis_share * vector.start_speed;
  const double max_speed = split.long_axis_share * vector.max_speed;
  // The acceleration time serves both ramps: a line is always symmetric.
  for (const LineAxis &a : axes)
    motion::ComputeTrapezoidProfile(a.card, a.chip_axis, start_speed, max_speed, vector.accel_time, vector.accel_time);

  for (int i = 0; i < 2; ++i) {
    core::WritePclRegister32(axes[i].card, axes[i].base, motion::kPclDistancePre, static_cast<uint32_t>(dist[i]));
    core::WritePclRegister32(axes[i].card, axes[i].base, kLongAxisDistancePre, split.long_axis_distance);
  }
  for (const LineAxis &a : axes) {
    motion::WriteProfileRegisters(a.card, a.chip_axis);
    core::WritePclRegister32(a.card, a.base, motion::kPclRampDownPointPre, 0);
    core::ModifyPclRegister(a.card, a.base, core::kPclOperationModeRead, core::kPclOperationModePre,
                            kLineModeKeepMask, kLineOperationCode);
  }
  for (const LineAxis &a : axes) core::WritePclCommand(a.card, a.base, motion::kPclStartAccelerating);
}
