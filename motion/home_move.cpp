// Home search: the chip searches for the home switch (and encoder index, as
// configured) by itself under its home-search operation codes; the library
// only resets the card's home latch, writes the mode word and starts.
#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "motion/axis_profile.h"
#include "motion/home_codes.h"
#include "motion/pcl_codes.h"

namespace kpx::motion {
namespace {

// Written 0 at the start of every home search; one register per card.
constexpr uint16_t kPldHomeReset = 0x70;

// SignalConfig2 home-search options: bits 24-27 count - 1, bit 29 the home mode.
constexpr uint32_t kSc2HomeCount = 0x0F000000u;
constexpr unsigned kSc2HomeCountShift = 24;
constexpr uint32_t kSc2HomeMode = 1u << 29;
constexpr uint16_t kHomeCountMin = 1;
constexpr uint16_t kHomeCountMax = 16;

constexpr uint16_t kHomePositive = 1;
constexpr uint16_t kHomeNegative = 2;
constexpr uint16_t kVelConstant = 0;
constexpr uint16_t kVelAccelerating = 1;

}  // namespace
}  // namespace kpx::motion

using namespace kpx::motion;
using kpx::core::BaseOf;
using kpx::core::CardOf;

extern "C" {

void k4160_home_move(uint16_t axis, uint16_t home_dir, uint16_t vel_mode) {
  // The search runs with whatever speeds the axis's last profile write left
  // in the chip; it needs no profile record, so every axis of every card
  // (30 and 31 included) can home.
  const uint16_t card = CardOf(axis);
  const uint16_t base = BaseOf(axis);
  write_dword_pld_register(card, kPldHomeReset, 0);
  uint32_t mode = kpx::core::ReadPclRegister32(card, base, kpx::core::kPclOperationModeRead) & kHomeModeKeep;
  if (home_dir == kHomePositive) {
    mode |= kModeHomePositive;
  } else if (home_dir == kHomeNegative) {
    mode |= kModeHomeNegative;
  } else {
    return;
  }
  kpx::core::WritePclRegister32(card, base, kpx::core::kPclOperationModePre, mode);
  if (vel_mode == kVelConstant) {
    kpx::core::WritePclCommand(card, base, kPclStartConstant);
  } else if (vel_mode == kVelAccelerating) {
    kpx::core::WritePclCommand(card, base, kPclStartAccelerating);
  }
}

void k4160_config_home_mode(uint16_t axis, uint16_t home_mode, uint16_t count) {
  uint32_t v = 0;
  if (home_mode != 0) v |= kSc2HomeMode;
  if (count >= kHomeCountMin && count <= kHomeCountMax) v |= static_cast<uint32_t>(count - 1) << kSc2HomeCountShift;
  kpx::core::ModifyPclRegister(CardOf(axis), BaseOf(axis), kpx::core::kPclSignalConfig2Read,
                               kpx::core::kPclSignalConfig2Write, ~(kSc2HomeCount | kSc2HomeMode), v);
}

}  // extern "C"
