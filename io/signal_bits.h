// Fields of the dedicated axis signals in the chip's operation-mode and
// signal-configuration registers and in the card's PLD registers.
#pragma once

#include "io/bits.h"

namespace kpx::io {

// Operation-mode register: enables of the SD, INP and PCS inputs. Bit 26 is
// written 0 whenever the INP or PCS enable changes, as every move does.
inline constexpr uint32_t kModeSdEnable = BitMask(8);
inline constexpr uint32_t kModeInpEnable = BitMask(9);
inline constexpr uint32_t kModePcsEnable = BitMask(14);
inline constexpr uint32_t kModeBit26 = BitMask(26);

// SignalConfig1 (bits 0-2 are the pulse output mode, 19 the sync-stop mode).
inline constexpr unsigned kSc1ElModeBit = 3;         // how EL stops the axis
inline constexpr uint32_t kSc1SdMode = FieldMask(5, 4);
inline constexpr unsigned kSc1SdLogicBit = 6;
inline constexpr unsigned kSc1HomeLogicBit = 7;
inline constexpr unsigned kSc1AlmModeBit = 8;        // how ALM stops the axis
inline constexpr unsigned kSc1AlmLogicBit = 9;
inline constexpr uint32_t kSc1ErcMode = FieldMask(11, 10);
inline constexpr uint32_t kSc1ErcCode3 = FieldMask(14, 12);  // ERC pulse width code
inline constexpr unsigned kSc1ErcInvertBit = 15;             // set for an active-low ERC
inline constexpr uint32_t kSc1ErcCode2 = FieldMask(17, 16);  // ERC off-time code
inline constexpr uint32_t kSc1ErcAll = FieldMask(17, 10);
inline constexpr unsigned kSc1CstaModeBit = 18;
inline constexpr uint32_t kSc1FilterLevel = FieldMask(21, 20);
inline constexpr unsigned kSc1InpLogicBit = 22;
inline constexpr unsigned kSc1LtcLogicBit = 23;
inline constexpr unsigned kSc1PcsLogicBit = 24;
inline constexpr unsigned kSc1FilterEnableBit = 26;  // shared by the HOME filter and the input filter

// SignalConfig2: logic of the chip's EZ input.
inline constexpr unsigned kSc2EzLogicBit = 28;

// SignalConfig3: LTC option (the same bit is comparator 1's upper condition bit).
inline constexpr unsigned kSc3LtcOptionBit = 13;

// SignalControl (PLD, per card).
inline constexpr unsigned kCtlLtcEnableBit = 0;  // + chip axis
inline constexpr unsigned kCtlEzLogicBit = 4;    // + chip axis
inline constexpr unsigned kCtlLtcClearBit = 8;   // + chip axis; cleared when LTC is configured
inline constexpr unsigned kCtlTriggerChannelBit = 12;
inline constexpr unsigned kCtlSpeakerLogicBit = 13;

// PldConfig (PLD, per card).
inline constexpr unsigned kCfgElModeBit = 0;  // + chip axis; 1 selects the EL mode of bit 1 clear
inline constexpr unsigned kCfgEmgLogicBit = 4;
inline constexpr unsigned kCfgEmgDisableBit = 5;
inline constexpr unsigned kCfgEzModeBit = 6;  // card-wide: EZ through the PLD counters
inline constexpr unsigned kCfgLatchModeBit = 7;
inline constexpr uint32_t kCfgLtcFilter = FieldMask(15, 8);
inline constexpr uint32_t kLtcFilterMax = 254;

// CounterConfig (PLD, per card): bits 3-7 of each chip axis's byte configure EZ.
inline constexpr uint32_t kCounterEzField = FieldMask(7, 3);
inline constexpr uint32_t kCounterEzEven = 0xF8;  // modes 0 and 2: bit 4 set
inline constexpr uint32_t kCounterEzOdd = 0xE8; // modes 1 and 3: bit 4 clear
inline constexpr unsigned CounterByteShift(unsigned chip_axis) { return 8u * chip_axis; }

}  // namespace kpx::io
