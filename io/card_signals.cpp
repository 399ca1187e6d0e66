// Signals whose configuration sits in the card's PLD, or in both the PLD and
// the chip: EL, LTC and EZ per axis, EMG, the LTC filter, the speaker and the
// trigger channel per card.
#include <algorithm>

#include "io/axis_registers.h"
#include "io/signal_bits.h"
#include "kpx4160.h"

using namespace kpx::io;
using kpx::core::CardOf;
using kpx::core::ChipAxisOf;
using kpx::core::kPldConfig;
using kpx::core::kPldCounterConfig;
using kpx::core::kPldSignalControl;

namespace {

// EL mode argument: bit 0 goes to the chip, bit 1 (inverted) to the card.
constexpr uint16_t kElChipBit = 1u << 0;
constexpr uint16_t kElCardBit = 1u << 1;

// EZ modes: 0 and 1 count EZ through the chip, 2 and 3 through the card's
// counters (card-wide PldConfig bit 6); odd modes select the other edge.
enum EzMode : uint16_t { kEzChipEven = 0, kEzChipOdd = 1, kEzCardEven = 2, kEzCardOdd = 3 };

}  // namespace

extern "C" {

void k4160_config_LTC_PIN(uint16_t axis, uint16_t logic, uint16_t option) {
  const uint16_t card = CardOf(axis);
  const unsigned a = ChipAxisOf(axis);
  ModifySignalConfig1(axis, BitMask(kSc1LtcLogicBit), BitIf(logic == 1, kSc1LtcLogicBit));
  ModifySignalConfig3(axis, BitMask(kSc3LtcOptionBit), BitIf(option == 1, kSc3LtcOptionBit));
  ModifyCardRegister(card, kPldSignalControl, BitMask(kCtlLtcEnableBit + a), BitIf(logic != 0, kCtlLtcEnableBit + a));
  ModifyCardRegister(card, kPldSignalControl, BitMask(kCtlLtcClearBit + a), 0);
}

void k4160_config_EL_MODE(uint16_t axis, uint16_t mode) {
  const unsigned a = ChipAxisOf(axis);
  ModifySignalConfig1(axis, BitMask(kSc1ElModeBit), BitIf((mode & kElChipBit) != 0, kSc1ElModeBit));
  ModifyCardRegister(CardOf(axis), kPldConfig, BitMask(kCfgElModeBit + a),
                     BitIf((mode & kElCardBit) == 0, kCfgElModeBit + a));
}

void k4160_config_EMG_PIN(uint16_t card, uint16_t enable, uint16_t logic) {
  if (enable > 1 || logic > 1) return;
  ModifyCardRegister(card, kPldConfig, BitMask(kCfgEmgLogicBit) | BitMask(kCfgEmgDisableBit),
                     BitIf(enable == 0, kCfgEmgDisableBit) | BitIf(logic == 1, kCfgEmgLogicBit));
}

void k4160_config_EZ_PIN(uint16_t axis, uint16_t logic, uint16_t mode) {
  const uint16_t card = CardOf(axis);
  const unsigned a = ChipAxisOf(axis);
  const unsigned s = CounterByteShift(a);
  // CounterConfig and PldConfig are shared with the other axis: the whole
  // sequence holds RegisterLock so none of its updates is lost.
  const kpx::core::RegisterTransaction hold;
  ModifyCardRegister(card, kPldSignalControl, BitMask(kCtlEzLogicBit + a), BitIf(logic != 0, kCtlEzLogicBit + a));
  ModifyCardRegister(card, kPldConfig, BitMask(kCfgEzModeBit), 0);
  uint32_t counter = read_dword_pld_register(card, kPldCounterConfig);
  if (mode == kEzCardEven || mode == kEzCardOdd) {
    // The card-wide mode bit changes how the counters take EZ: read the
    // counter configuration again after it is set.
    ModifyCardRegister(card, kPldConfig, BitMask(kCfgEzModeBit), BitMask(kCfgEzModeBit));
    counter = read_dword_pld_register(card, kPldCounterConfig);
  }
  if (mode <= kEzCardOdd) {
    const bool even = mode == kEzChipEven || mode == kEzCardEven;
    counter = (counter & ~(kCounterEzField << s)) | ((even ? kCounterEzEven : kCounterEzOdd) << s);
  }
  write_dword_pld_register(card, kPldCounterConfig, counter);
}

void k4160_config_LTC_filter(uint16_t card, uint16_t value) {
  const uint32_t v = std::min<uint32_t>(value, kLtcFilterMax);
  ModifyCardRegister(card, kPldConfig, kCfgLtcFilter, FieldValue(v, 15, 8));
}

void k4160_set_speaker_logic(uint16_t card, uint16_t logic) {
  if (logic > 1) return;
  ModifyCardRegister(card, kPldSignalControl, BitMask(kCtlSpeakerLogicBit), BitIf(logic == 1, kCtlSpeakerLogicBit));
}

void k4160_triger_chunnel(uint16_t card, uint16_t channel) {
  if (channel > 1) return;
  ModifyCardRegister(card, kPldSignalControl, BitMask(kCtlTriggerChannelBit), BitIf(channel == 1, kCtlTriggerChannelBit));
}

}  // extern "C"
