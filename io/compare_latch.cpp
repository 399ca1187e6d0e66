// The two position comparators of each chip axis, its CMP terminal, the soft
// limits built from the comparators, and the latches of the card and chip.
#include "core/registers.h"
#include "io/axis_registers.h"
#include "io/gpio_map.h"
#include "io/signal_bits.h"
#include "io/terminal_commands.h"
#include "kpx4160.h"

using namespace kpx::io;
using kpx::core::BaseOf;
using kpx::core::CardOf;
using kpx::core::ChipAxisOf;

namespace {

// SignalConfig2: function of the CMP terminal (bits 6-7) and of terminal 4
// (bits 8-9). 01 leaves the terminal to its general use; 10 gives it to the
// comparator, 11 does the same with the other logic level.
constexpr uint32_t kSc2CmpFunction = FieldMask(7, 6);
constexpr uint32_t kSc2Terminal4Function = FieldMask(9, 8);
constexpr uint32_t kTerminalGeneral = 1;
constexpr uint32_t kTerminalComparator = 2;
constexpr uint32_t kTerminalComparatorInverted = 3;

// SignalConfig3: the reaction to a met comparator condition (set when the
// action argument is 0), the latch trigger source, the two conditions.
constexpr unsigned kSc3ActionBit = 1;
constexpr uint32_t kSc3TriggerSource = BitMask(5) | BitMask(6) | BitMask(9) | BitMask(10);
constexpr uint32_t kSc3Condition1 = FieldMask(13, 12);
constexpr uint32_t kSc3Condition2 = FieldMask(15, 14);
// Soft limits: comparator 1 condition 3 on the upper limit, comparator 2
// condition 2 on the lower one.
constexpr uint32_t kSoftLimitConditions = (3u << 12) | (2u << 14);

// Comparator data registers (32-bit, write codes) and the chip's latched
// counters (read codes).
constexpr uint16_t kPclComparator1Data = 0xA7;
constexpr uint16_t kPclComparator2Data = 0xA8;
constexpr uint16_t kPclLatchedCounter1 = 0xED;
constexpr uint16_t kPclLatchedCounter2 = 0xEE;

// PLD registers of the latches.
constexpr uint16_t kPldEncoderLoadLatch0 = 0x0C;  // latched count of chip axis 0
constexpr uint16_t kPldPerAxisStride = 0x10;      // chip axis 1 at + 0x10
constexpr unsigned kLatchFlagsShift = 16;         // flags in SignalControl bits 16-23, active low
constexpr uint32_t kLatchFlagsActiveLow = FieldMask(23, 16);
constexpr uint16_t kPldLatchFlagReset = 0x4C;     // writing 0 resets the latch flags
constexpr uint16_t kPldClearFlagReset = 0x5C;     // writing 0 resets the clear flag

// The latched count is 28-bit two's complement.
constexpr uint32_t kCount28Mask = FieldMask(27, 0);
constexpr uint32_t kCount28Sign = BitMask(27);
int32_t SignExtend28(uint32_t raw) {
  uint32_t v = raw & kCount28Mask;
  if ((raw & kCount28Sign) != 0) v |= ~kCount28Mask;
  return static_cast<int32_t>(v);
}

uint32_t TerminalFunction(uint16_t arg, uint16_t logic) {
  if (arg != 1) return kTerminalGeneral;
  return logic == 1 ? kTerminalComparatorInverted : kTerminalComparator;
}

void WriteComparators(uint16_t axis, int32_t first, int32_t second) {
  kpx::core::WritePclRegister32(CardOf(axis), BaseOf(axis), kPclComparator1Data, static_cast<uint32_t>(first));
  kpx::core::WritePclRegister32(CardOf(axis), BaseOf(axis), kPclComparator2Data, static_cast<uint32_t>(second));
}

}  // namespace

extern "C" {

void k4160_config_CMP_PIN(uint16_t axis, uint16_t cmp1, uint16_t cmp2, uint16_t logic) {
  ModifySignalConfig2(axis, kSc2CmpFunction | kSc2Terminal4Function,
                      FieldValue(TerminalFunction(cmp1, logic), 7, 6) | FieldValue(TerminalFunction(cmp2, logic), 9, 8));
}

int32_t k4160_read_CMP_PIN(uint16_t axis) {
  return (read_word_pcl_sstsw(CardOf(axis), BaseOf(axis)) & BitMask(kSubCmpBit)) == 0 ? 1 : 0;
}

void k4160_write_CMP_PIN(uint16_t axis, uint16_t value) {
  kpx::core::WritePclCommand(CardOf(axis), BaseOf(axis), TerminalCommand(kCmpTerminal, value == 0));
}

void k4160_config_comparator(uint16_t axis, uint16_t cond1, uint16_t cond2, uint16_t action) {
  ModifySignalConfig3(axis, BitMask(kSc3ActionBit) | kSc3Condition1 | kSc3Condition2,
                      FieldValue(cond1, 13, 12) | FieldValue(cond2, 15, 14) | BitIf(action == 0, kSc3ActionBit));
}

void k4160_set_comparator_data(uint16_t axis, int32_t data1, int32_t data2) { WriteComparators(axis, data1, data2); }

void k4160_config_latch_mode(uint16_t card, uint16_t mode) {
  ModifyCardRegister(card, kpx::core::kPldConfig, BitMask(kCfgLatchModeBit), BitIf(mode != 0, kCfgLatchModeBit));
}

void k4160_set_latch_trigger_source(uint16_t axis, uint16_t source) {
  ModifySignalConfig3(axis, kSc3TriggerSource, source == 1 ? kSc3TriggerSource : 0);
}

int32_t k4160_get_latch_value(uint16_t axis) {
  const auto offset = static_cast<uint16_t>(kPldEncoderLoadLatch0 + kPldPerAxisStride * ChipAxisOf(axis));
  return SignExtend28(read_dword_pld_register(CardOf(axis), offset));
}

uint32_t k4160_get_latch_flag(uint16_t card) {
  return (read_dword_pld_register(card, kpx::core::kPldSignalControl) ^ kLatchFlagsActiveLow) >> kLatchFlagsShift;
}

void k4160_reset_latch_flag(uint16_t card) { write_dword_pld_register(card, kPldLatchFlagReset, 0); }

void k4160_reset_clear_flag(uint16_t card) { write_dword_pld_register(card, kPldClearFlagReset, 0); }

uint32_t k4160_get_rcun_latch_value(uint16_t axis, uint16_t which) {
  uint16_t code;
  if (which == 1) {
    code = kPclLatchedCounter1;
  } else if (which == 2) {
    code = kPclLatchedCounter2;
  } else {
    return 0;  // names no latched register: read nothing
  }
  return kpx::core::ReadPclRegister32(CardOf(axis), BaseOf(axis), code);
}

void k4160_config_softlimit(uint16_t axis, uint16_t action) {
  ModifySignalConfig3(axis, BitMask(kSc3ActionBit), BitIf(action == 0, kSc3ActionBit));
}

void k4160_enable_softlimit(uint16_t axis, uint16_t enable) {
  ModifySignalConfig3(axis, kSc3Condition1 | kSc3Condition2, enable == 1 ? kSoftLimitConditions : 0);
}

void k4160_set_softlimit_data(uint16_t axis, int32_t limit_a, int32_t limit_b) {
  // The upper comparator takes limit_b: the reverse of k4160_set_comparator_data.
  WriteComparators(axis, limit_b, limit_a);
}

}  // extern "C"
