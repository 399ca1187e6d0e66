// Board-wide steps that other subsystems share.
#pragma once

#include <cstdint>

namespace kpx::core {

// Rewrites the fields of SignalConfig2 that start-up and reset fix.
void InitSignalConfig2(uint16_t card, uint16_t chip_axis);
// Emergency stop command to chip axis 0 of every card, card 0 first.
void EmergencyStopAllCards();

}  // namespace kpx::core
