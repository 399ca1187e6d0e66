// Signal configuration of the older command set: mode translations onto the
// main interface, the per-axis count source, and the two SD functions that
// write the chip's registers themselves.
#include <cstdint>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "kpx4160.h"
#include "legacy/legacy_axis.h"
#include "motion/axis_profile.h"

namespace {
using kpx::legacy::MainAxis;

// Operation-mode register: bit 8 lets the SD input act on the axis.
constexpr uint32_t kOpModeSdEnable = 1u << 8;
// SignalConfig1: bits 4-5 are the SD mode and bit 6 the SD logic. The older
// interface sets bit 5 from its option argument, bit 4 from its stop mode
// (set for stop mode 0) and bit 6 for logic 1.
constexpr uint32_t kSc1SdModeOption = 1u << 5;
constexpr uint32_t kSc1SdModeStop = 1u << 4;
constexpr uint32_t kSc1SdLogic = 1u << 6;

// Pulse output modes 1, 2, 3 of the older interface are modes 4, 2, 5 of the
// chip's table; other values are passed on unchanged.
uint16_t MainPulseOutputMode(int32_t mode) {
  switch (mode) {
    case 1: return 4;
    case 2: return 2;
    case 3: return 5;
    default: return static_cast<uint16_t>(mode);
  }
}

// Count input modes 0, 1, 2, 3 are modes 1, 2, 3, 0; other values become
// mode + 1, which the counter configuration reduces to its field.
uint16_t MainCountInputMode(int32_t mode) {
  if (mode == 3) return 0;
  // Unsigned: INT32_MAX + 1 would overflow; the low 16 bits are the same.
  return static_cast<uint16_t>(static_cast<uint32_t>(mode) + 1u);
}

// Chip axis register access for a legacy axis number; negative axes address
// no card (their chip axis would be -1) and are ignored.
bool ChipAddress(int32_t axis, uint16_t &card, uint16_t &base) {
  if (axis < 0) return false;
  card = static_cast<uint16_t>(kpx::legacy::LegacyCard(axis));
  base = kpx::core::BaseOfChipAxis(static_cast<uint16_t>(kpx::legacy::LegacyChipAxis(axis)));
  return true;
}

void ModifySignalConfig1(uint16_t card, uint16_t base, uint32_t clear, uint32_t set) {
  kpx::core::RegisterTransaction lock;
  kpx::core::ModifyPclRegister(card, base, kpx::core::kPclSignalConfig1Read, kpx::core::kPclSignalConfig1Write,
                               ~clear, set);
}

}  // namespace

extern "C" {

KPX4160_API void Set_pls_outmode(int32_t axis, int32_t mode) {
  k4160_set_pulse_outmode(MainAxis(axis), MainPulseOutputMode(mode));
}

KPX4160_API void Set_pls_iptmode(int32_t axis, int32_t mode) {
  k4160_counter_config(MainAxis(axis), MainCountInputMode(mode));
}

KPX4160_API void Set_cnt_src(int32_t axis, uint16_t source) {
  const int32_t index = kpx::legacy::LegacyRecordIndex(axis);
  if (index < 0) return;
  kpx::motion::ProfileFor(static_cast<uint16_t>(index))->count_source = source;
}

KPX4160_API void Set_sd_logic(int32_t axis, int32_t logic, int32_t option, int32_t enable) {
  uint16_t card, base;
  if (!ChipAddress(axis, card, base)) return;
  {
    kpx::core::RegisterTransaction lock;
    kpx::core::ModifyPclRegister(card, base, kpx::core::kPclOperationModeRead, kpx::core::kPclOperationModeWrite,
                                 ~kOpModeSdEnable, enable == 1 ? kOpModeSdEnable : 0);
  }
  ModifySignalConfig1(card, base, kSc1SdModeOption | kSc1SdLogic,
                      (logic == 1 ? kSc1SdLogic : 0) | (option != 0 ? kSc1SdModeOption : 0));
}

KPX4160_API void Set_sd_stop_mode(int32_t axis, int32_t mode) {
  uint16_t card, base;
  if (!ChipAddress(axis, card, base)) return;
  ModifySignalConfig1(card, base, kSc1SdModeStop, mode == 0 ? kSc1SdModeStop : 0);
}

KPX4160_API void Set_alm_logic(int32_t axis, int32_t logic, int32_t mode) {
  k4160_config_ALM_PIN(MainAxis(axis), static_cast<uint16_t>(logic), static_cast<uint16_t>(mode));
}

KPX4160_API void Set_erc_enable(int32_t axis, int32_t enable) {
  // The older interface knows only "ERC on" (mode 3) or off, always with
  // logic 0, 3-bit code 7 and 2-bit code 1.
  k4160_config_ERC_PIN(MainAxis(axis), enable != 0 ? 3 : 0, 0, 7, 1);
}

KPX4160_API void Set_inp_logic(int32_t axis, int32_t logic, int32_t enable) {
  k4160_config_INP_PIN(MainAxis(axis), static_cast<uint16_t>(enable), static_cast<uint16_t>(logic));
}

KPX4160_API void Set_home_config(int32_t axis, int32_t home_mode, int32_t home_logic, int32_t unused,
                                 int32_t ez_logic) {
  (void)unused;
  const uint16_t a = MainAxis(axis);
  k4160_config_home_mode(a, static_cast<uint16_t>(home_mode), 1);
  k4160_set_HOME_pin_logic(a, static_cast<uint16_t>(home_logic), 1);
  k4160_config_EZ_PIN(a, static_cast<uint16_t>(ez_logic), 1);
}

}  // extern "C"
