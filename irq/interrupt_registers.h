// Where the card's interrupt is controlled and where its causes are read.
#pragma once

#include <cstdint>

namespace kpx::irq {

// PCI configuration word that gates the card's interrupt. Writing
// kPciIntEnableAck both enables the interrupt and acknowledges the one
// being served; writing 0 keeps the card from interrupting.
inline constexpr uint32_t kPciIntControl = 0x48;
inline constexpr uint32_t kPciIntEnableAck = (1u << 9) | (1u << 8);
inline constexpr uint32_t kPciIntOff = 0;

// Chip registers of a chip axis.
inline constexpr uint16_t kPclEventInterruptEnableWrite = 0xAC;  // which chip events may interrupt
inline constexpr uint16_t kPclErrorInterruptFactorRead = 0xF2;   // error causes (read only)
inline constexpr uint16_t kPclEventInterruptFactorRead = 0xF3;   // event causes (read only)

// Event enables the chip has: events 0-12 and event 20.
inline constexpr uint32_t kEventEnableMask = ((1u << 13) - 1) | (1u << 20);
// Event 20 also needs its gate in SignalConfig2 (bit 30) opened.
inline constexpr uint32_t kFactorEvent20 = 1u << 20;
inline constexpr uint32_t kSignalConfig2Event20Gate = 1u << 30;

}  // namespace kpx::irq
