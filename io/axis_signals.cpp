// Setters of the dedicated inputs and outputs of one axis that live in the
// chip: each is a read-modify-write of exactly its own bits of the
// operation-mode and signal-configuration registers.
#include "io/axis_registers.h"
#include "io/signal_bits.h"
#include "kpx4160.h"

using namespace kpx::io;

namespace {
// Arguments of the ERC setter that fit their fields.
constexpr uint16_t kErcModeMax = 3;
constexpr uint16_t kErcLogicMax = 1;
constexpr uint16_t kErcCode3Max = 7;
constexpr uint16_t kErcCode2Max = 3;
// Filter levels above this leave the level field 0.
constexpr uint16_t kFilterLevelMax = 2;
}  // namespace

extern "C" {

void k4160_config_SD_PIN(uint16_t axis, uint16_t enable, uint16_t logic, uint16_t mode) {
  ModifyOperationMode(axis, kModeSdEnable, enable == 1 ? kModeSdEnable : 0);
  ModifySignalConfig1(axis, kSc1SdMode | BitMask(kSc1SdLogicBit),
                      FieldValue(mode, 5, 4) | BitIf(logic == 1, kSc1SdLogicBit));
}

void k4160_config_PCS_PIN(uint16_t axis, uint16_t enable, uint16_t logic) {
  ModifyOperationMode(axis, kModePcsEnable | kModeBit26, enable == 1 ? kModePcsEnable : 0);
  ModifySignalConfig1(axis, BitMask(kSc1PcsLogicBit), BitIf(logic == 1, kSc1PcsLogicBit));
}

void k4160_config_INP_PIN(uint16_t axis, uint16_t enable, uint16_t logic) {
  ModifyOperationMode(axis, kModeInpEnable | kModeBit26, enable == 1 ? kModeInpEnable : 0);
  ModifySignalConfig1(axis, BitMask(kSc1InpLogicBit), BitIf(logic == 1, kSc1InpLogicBit));
}

void k4160_config_ERC_PIN(uint16_t axis, uint16_t mode, uint16_t logic, uint16_t code3, uint16_t code2) {
  if (mode > kErcModeMax || logic > kErcLogicMax || code3 > kErcCode3Max || code2 > kErcCode2Max) return;
  ModifySignalConfig1(axis, kSc1ErcAll,
                      FieldValue(mode, 11, 10) | BitIf(logic == 0, kSc1ErcInvertBit) | FieldValue(code3, 14, 12) |
                          FieldValue(code2, 17, 16));
}

void k4160_config_ALM_PIN(uint16_t axis, uint16_t logic, uint16_t mode) {
  ModifySignalConfig1(axis, BitMask(kSc1AlmLogicBit) | BitMask(kSc1AlmModeBit),
                      BitIf(logic == 1, kSc1AlmLogicBit) | BitIf(mode == 1, kSc1AlmModeBit));
}

void k4160_set_HOME_pin_logic(uint16_t axis, uint16_t logic, uint16_t filter) {
  ModifySignalConfig1(axis, BitMask(kSc1HomeLogicBit) | BitMask(kSc1FilterEnableBit),
                      BitIf(logic == 1, kSc1HomeLogicBit) | BitIf(filter == 1, kSc1FilterEnableBit));
}

void k4160_set_ez_logic(uint16_t axis, uint16_t logic) {
  ModifySignalConfig2(axis, BitMask(kSc2EzLogicBit), BitIf(logic == 1, kSc2EzLogicBit));
}

int32_t k4160_config_CSTA_PIN(uint16_t axis, uint16_t mode) {
  ModifySignalConfig1(axis, BitMask(kSc1CstaModeBit), BitIf(mode == 1, kSc1CstaModeBit));
  return 1;
}

void k4160_config_axis_io_filter(uint16_t axis, uint16_t level, uint16_t enable) {
  const uint32_t level_bits = level <= kFilterLevelMax ? FieldValue(level, 21, 20) : 0;
  ModifySignalConfig1(axis, kSc1FilterLevel | BitMask(kSc1FilterEnableBit),
                      level_bits | BitIf(enable == 1, kSc1FilterEnableBit));
}

}  // extern "C"
