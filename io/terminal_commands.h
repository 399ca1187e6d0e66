// The chip's general-purpose terminal commands: command 0x10 + t switches
// terminal t off and 0x18 + t switches it on. Terminal 3 is the CMP terminal;
// terminals 4-6 of both chip axes are general outputs 15-20, and their state
// is reported in sub-status bits 4-6.
#pragma once

#include <array>
#include <cstdint>

namespace kpx::io {

inline constexpr std::array<uint16_t, 16> kTerminalCommandTable = {
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
inline constexpr unsigned kTerminalOnOffset = 8;

inline constexpr uint16_t TerminalCommand(unsigned terminal, bool on) {
  return kTerminalCommandTable[(terminal + (on ? kTerminalOnOffset : 0)) % kTerminalCommandTable.size()];
}

inline constexpr unsigned kCmpTerminal = 3;
inline constexpr unsigned kFirstOutputTerminal = 4;

static_assert(TerminalCommand(4, false) == 0x14 && TerminalCommand(6, true) == 0x1E);
static_assert(TerminalCommand(kCmpTerminal, true) == 0x1B && TerminalCommand(kCmpTerminal, false) == 0x13);

}  // namespace kpx::io
