// Pulse output, count input and handwheel input modes, and the two encoder
// counters of each axis: one kept by the PLD (28 bits), one by the chip.
#pragma once

#include <cstdint>

namespace kpx::io {

constexpr uint32_t Bit(unsigned n) { return 1u << n; }

// ---- PLD registers (byte offsets; per-axis ones + 0x10 for chip axis 1) -------
inline constexpr uint16_t kPldAxisStride = 0x10;
inline constexpr uint16_t kPldEncoderCount = 0x00;      // PLD encoder count, 28-bit two's complement
inline constexpr uint16_t kPldEncoderPreset = 0x08;     // new count value
inline constexpr uint16_t kPldEncoderLoadLatch = 0x0C;  // written 0 to load the preset into the counter
inline constexpr uint16_t kPldCounterFlags = 0x50;      // counter flags, four per byte
inline constexpr uint16_t kPldCounterFlagReset = 0x64;  // write 0: clear the counter flags
inline constexpr uint16_t kPldEncoderFilter = 0x7C;     // input filter, one byte per chip axis

inline constexpr uint32_t kEncoderCountMask = 0x0FFFFFFFu;     // the 28 counter bits
inline constexpr uint32_t kEncoderCountSign = Bit(27);          // sign of the 28-bit count
inline constexpr uint32_t kEncoderSignExtension = 0xF0000000u;  // bits 28-31 of a negative count
inline constexpr int32_t kEncoderPresetMagnitudeMax = 0x7FFFFFF;
inline constexpr uint32_t kCounterFlagsReported = 0x0F0F0F0Fu;  // the low nibble of each byte
inline constexpr uint32_t kCountInputModeField = 0x3u;          // bits 0-1 of the axis's CounterConfig byte
inline constexpr uint32_t kEncoderFilterField = 0xFFu;          // the axis's EncoderFilter byte
inline constexpr uint16_t kEncoderFilterMax = 254;

// ---- Chip registers ---------------------------------------------------------
inline constexpr uint16_t kPclEncoderCounterWrite = 0xA4;  // the chip's 32-bit encoder counter
inline constexpr uint16_t kPclEncoderCounterRead = 0xE4;

inline constexpr uint32_t kPulseOutputModeField = 0x7u;   // SignalConfig1 bits 0-2
inline constexpr uint32_t kHandwheelModeShift = 20;       // SignalConfig2 bits 20-21: handwheel input mode
inline constexpr uint32_t kHandwheelModeField = 0x3u << kHandwheelModeShift;
inline constexpr uint32_t kHandwheelAlwaysSet = Bit(22);  // SignalConfig2 bit 22: written 1 always
inline constexpr uint32_t kHandwheelOption = Bit(23);     // SignalConfig2 bit 23: handwheel option
inline constexpr uint32_t kHandwheelKeepMask = ~(kHandwheelModeField | kHandwheelOption);
static_assert(kHandwheelKeepMask == 0xFF4FFFFFu);

// Pulse output mode of the interface to the code the chip takes: modes 5-7
// are numbered differently on the chip.
inline constexpr uint16_t kPulseOutputCode[8] = {0, 1, 2, 3, 4, 7, 5, 6};

// 28-bit two's complement count to a signed 32-bit value.
inline int32_t SignExtendEncoderCount(uint32_t raw) {
  uint32_t v = raw & kEncoderCountMask;
  if (raw & kEncoderCountSign) v |= kEncoderSignExtension;
  return static_cast<int32_t>(v);
}

}  // namespace kpx::io
