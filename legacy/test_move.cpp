// A bare constant-speed point move written straight into the chip, without
// the profile computation: magnification code 1 (speed unit 600 pulses/s),
// start and maximum speed both speed / 600. Useful to check wiring and pulse
// output with the fewest registers involved.
#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"

namespace {
constexpr uint32_t kPointMoveMode = 0x41;           // operation mode: point move
constexpr uint16_t kTestMagnification = 1;          // magnification code: unit 600 pulses/s
constexpr uint16_t kTestSpeedUnit = 600;            // pulses/s per speed step at that code
constexpr uint16_t kDistancePre = 0x80;             // distance pre-register
constexpr uint16_t kStartSpeedPre = 0x81;           // start speed pre-register
constexpr uint16_t kMaxSpeedPre = 0x82;             // maximum speed pre-register
constexpr uint16_t kMagnificationPre = 0x85;        // magnification pre-register
constexpr uint16_t kConstantSpeedStart = 0x50;      // start at the start speed, no ramp
}  // namespace

extern "C" KPX4160_API void vtr_test_move(uint16_t axis, uint16_t speed, uint32_t distance) {
  using namespace kpx::core;
  const uint16_t card = CardOf(axis), base = BaseOf(axis);
  const uint16_t speed_steps = static_cast<uint16_t>(speed / kTestSpeedUnit);
  WritePclRegister32(card, base, kPclOperationModePre, kPointMoveMode);
  WritePclRegister32(card, base, kDistancePre, distance);
  WritePclRegister16(card, base, kMagnificationPre, kTestMagnification);
  WritePclRegister16(card, base, kStartSpeedPre, speed_steps);
  WritePclRegister16(card, base, kMaxSpeedPre, speed_steps);
  WritePclCommand(card, base, kConstantSpeedStart);
}
