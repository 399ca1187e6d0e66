// Point-to-point and continuous moves. The moves compute no speeds: they use
// the speed pre-registers the last profile write loaded and the axis's
// record, write the distance and the ramp registers their variant needs, the
// operation-mode word, and then start the chip.
#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/pcl_codes.h"
#include "motion/ramp_down.h"

using namespace kpx::motion;
using namespace kpx::core;

namespace {

inline constexpr uint16_t kAbsolute = 1;

// An absolute target becomes the 32-bit two's-complement difference to the
// command position.
int32_t RelativeDistance(uint16_t card, uint16_t base, int32_t distance, uint16_t posi_mode) {
  if (posi_mode != kAbsolute) return distance;
  const uint32_t position = ReadPclRegister32(card, base, kPclLogicalPositionRead);
  return static_cast<int32_t>(static_cast<uint32_t>(distance) - position);
}

// Reads the axis's operation mode, keeps the bits of `mask`, ORs in `value`
// and writes it to `write_code` (pre-register for point moves, the running
// register for continuous moves).
void WriteMode(uint16_t card, uint16_t base, uint16_t write_code, uint32_t mask, uint32_t value) {
  ModifyPclRegister(card, base, kPclOperationModeRead, write_code, mask, value);
}

void ContinuousMove(uint16_t axis, uint16_t direction, uint32_t positive, uint32_t negative, uint16_t start) {
  if (ProfileFor(axis) == nullptr || direction > 1) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  WriteMode(card, base, kPclOperationModeWrite, kVmoveMask, direction == 1 ? positive : negative);
  WritePclCommand(card, base, start);
}

}  // namespace

extern "C" {

void k4160_t_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode) {
  const AxisProfile *p = ProfileFor(axis);
  if (p == nullptr) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  distance = RelativeDistance(card, base, distance, posi_mode);
  WritePclRegister32(card, base, kPclDistancePre, static_cast<uint32_t>(distance));
  WritePclRegister32(card, base, kPclRampDownPointPre, 0);
  // Symmetric: the deceleration mirrors the acceleration.
  WritePclRegister16(card, base, kPclDecelRatePre, p->accel_rate);
  WriteMode(card, base, kPclOperationModePre, kTPmoveMask, kTPmoveValue);
  WritePclCommand(card, base, kPclStartAccelerating);
}

void k4160_s_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode) {
  const AxisProfile *p = ProfileFor(axis);
  if (p == nullptr) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  WritePclRegister32(card, base, kPclRampDownPointPre, 0);
  WritePclRegister16(card, base, kPclDecelRatePre, p->accel_rate);
  WritePclRegister16(card, base, kPclSDecelSectionPre, p->s_accel_section);
  distance = RelativeDistance(card, base, distance, posi_mode);
  WritePclRegister32(card, base, kPclDistancePre, static_cast<uint32_t>(distance));
  WriteMode(card, base, kPclOperationModePre, kSPmoveMask, kSPmoveValue);
  WritePclCommand(card, base, kPclStartAccelerating);
}

// The asymmetric moves: the distance first, then the ramp-down point the
// chip needs to start decelerating in time, computed from that distance.
static void AsymmetricMove(uint16_t axis, int32_t distance, uint16_t posi_mode,
                           void (*compute_ramp_down)(AxisProfile &, int32_t), uint32_t mask, uint32_t value) {
  AxisProfile *p = ProfileFor(axis);
  if (p == nullptr) return;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  distance = RelativeDistance(card, base, distance, posi_mode);
  WritePclRegister32(card, base, kPclDistancePre, static_cast<uint32_t>(distance));
  compute_ramp_down(*p, distance);
  WritePclRegister32(card, base, kPclRampDownPointPre, p->ramp_down_point);
  WriteMode(card, base, kPclOperationModePre, mask, value);
  WritePclCommand(card, base, kPclStartAccelerating);
}

void k4160_ex_t_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode) {
  AsymmetricMove(axis, distance, posi_mode, ComputeRampDownPoint, kExTPmoveMask, kExTPmoveValue);
}

void k4160_ex_s_pmove(uint16_t axis, int32_t distance, uint16_t posi_mode) {
  AsymmetricMove(axis, distance, posi_mode, ComputeSRampDownPoint, kExSPmoveMask, kExSPmoveValue);
}

void k4160_t_vmove(uint16_t axis, uint16_t direction) {
  ContinuousMove(axis, direction, kModeContinuousPositive, kModeContinuousNegative, kPclStartAccelerating);
}

void k4160_s_vmove(uint16_t axis, uint16_t direction) {
  ContinuousMove(axis, direction, kModeContinuousPositive | kModeSCurve, kModeContinuousNegative | kModeSCurve,
                 kPclStartAccelerating);
}

void k4160_reset_target_position(uint16_t axis, int32_t value) {
  WritePclRegister32(CardOf(axis), BaseOf(axis), kPclDistance, static_cast<uint32_t>(value));
}

uint32_t k4160_pulse_loop(uint16_t axis) {
  if (ProfileFor(axis) == nullptr) return 0;
  const int32_t encoder = k4160_get_encoder(axis);
  const int32_t position = k4160_get_position(axis);
  k4160_t_pmove(axis, static_cast<int32_t>(static_cast<uint32_t>(encoder) - static_cast<uint32_t>(position)), 0);
  return 1;
}

}  // extern "C"

// Continuous move started at the start speed without a ramp.
void MOTION_default_const_vmove(unsigned short axis, unsigned short direction) {
  ContinuousMove(axis, direction, kModeContinuousPositive, kModeContinuousNegative, kPclStartConstant);
}
