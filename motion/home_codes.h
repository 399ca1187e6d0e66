// Operation codes and mode-word masks of the home search and handwheel move.
#pragma once

#include <cstdint>

namespace kpx::motion {

// Operation codes (bits 0-6); bit 3 gives the negative direction.
inline constexpr uint32_t kModeHomePositive = 0x10;
inline constexpr uint32_t kModeHomeNegative = 0x18;
inline constexpr uint32_t kModeHandwheel = 0x01;

// Bits kept of the mode word read back: the operation code, the S-curve and
// ramp-down bits (10, 13) and bits 12, 15 and 26 are cleared; the signal
// enables and the synchronisation fields stay.
inline constexpr uint32_t kHomeModeKeep = 0xFBFF4B80u;
// Switching the handwheel off clears the operation code only.
inline constexpr uint32_t kOperationCodeKeep = 0xFFFFFF80u;

static_assert((kHomeModeKeep & ((1u << 10) | (1u << 12) | (1u << 13) | (1u << 15) | (1u << 26) | 0x7Fu)) == 0);
static_assert((kHomeModeKeep & ((3u << 18) | (1u << 24) | (1u << 25) | (1u << 8) | (1u << 9) | (1u << 14))) ==
              ((3u << 18) | (1u << 24) | (1u << 25) | (1u << 8) | (1u << 9) | (1u << 14)));

}  // namespace kpx::motion
