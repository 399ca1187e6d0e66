// Registers that several subsystems share. Every writer of one of these reads
// it, clears only its own field and writes it back.
#pragma once

#include <cstdint>

namespace kpx::core {

// ---- Chip registers (per chip axis; write code, read code = write + 0x40) ----
inline constexpr uint16_t kPclOperationModePre = 0x87;   // operation mode of the next start
inline constexpr uint16_t kPclOperationModeWrite = 0x97;  // operation mode of the axis
inline constexpr uint16_t kPclOperationModeRead = 0xD7;
inline constexpr uint16_t kPclSignalConfig1Write = 0x9C;  // SignalConfig1
inline constexpr uint16_t kPclSignalConfig1Read = 0xDC;
inline constexpr uint16_t kPclSignalConfig2Write = 0x9D;  // SignalConfig2
inline constexpr uint16_t kPclSignalConfig2Read = 0xDD;
inline constexpr uint16_t kPclSignalConfig3Write = 0x9E;  // SignalConfig3
inline constexpr uint16_t kPclSignalConfig3Read = 0xDE;

// ---- Chip commands ------------------------------------------------------------
inline constexpr uint16_t kPclCommandReset = 0x0F04;          // resets the chip (sent to chip axis 0)
inline constexpr uint16_t kPclCommandEmergencyStop = 0x0F05;  // stops both axes at once

// ---- PLD registers (byte offsets in the register space) -----------------------
inline constexpr uint16_t kPldCounterConfig = 0x40;  // count input / EZ configuration, one byte per chip axis
inline constexpr uint16_t kPldOutputPort = 0x44;     // general outputs and servo-on, active low
inline constexpr uint16_t kPldSignalControl = 0x48;  // LTC enables, EZ logic, trigger, speaker
inline constexpr uint16_t kPldInputPort = 0x4C;      // general inputs 1-16
inline constexpr uint16_t kPldConfig = 0x78;         // EL, EMG, EZ and latch modes, LTC filter

}  // namespace kpx::core
