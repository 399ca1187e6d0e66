// Handwheel move: the axis follows the pulses of the handwheel input at a
// fixed speed until switched off. The speed is loaded as a profile without
// ramp (start speed = maximum speed) and the handwheel operation code is
// written to the mode register itself, not the pre-register.
#include <cmath>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/home_codes.h"
#include "motion/pcl_codes.h"
#include "motion/profile_compute.h"

namespace kpx::motion {
namespace {
// At or below this speed (pulses/s), and for NaN, the move is switched off.
constexpr double kHandwheelOffSpeed = 0.01;
constexpr double kHandwheelRampTime = 0.1;
}  // namespace
}  // namespace kpx::motion

using namespace kpx::motion;
using kpx::core::kPclOperationModeRead;
using kpx::core::kPclOperationModeWrite;

extern "C" {

void k4160_handwheel_move(uint16_t axis, double speed) {
  if (ProfileFor(axis) == nullptr) return;
  const uint16_t card = kpx::core::CardOf(axis);
  const uint16_t chip_axis = kpx::core::ChipAxisOf(axis);
  const uint16_t base = kpx::core::BaseOf(axis);
  if (std::fabs(speed) > kHandwheelOffSpeed) {  // false for NaN
    ComputeTrapezoidProfile(card, chip_axis, speed, speed, kHandwheelRampTime, kHandwheelRampTime);
    WriteProfileRegisters(card, chip_axis);
    kpx::core::ModifyPclRegister(card, base, kPclOperationModeRead, kPclOperationModeWrite, kHomeModeKeep,
                                 kModeHandwheel);
    kpx::core::WritePclCommand(card, base, kPclStartConstant);
    return;
  }
  kpx::core::WritePclCommand(card, base, kPclStopDecelerating);
  kpx::core::ModifyPclRegister(card, base, kPclOperationModeRead, kPclOperationModeWrite, kOperationCodeKeep, 0);
}

}  // extern "C"
