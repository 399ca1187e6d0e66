// Argument conversions of the older command set: signed 32-bit axis numbers,
// double positions, and the blocking wait for a move's end.
#pragma once

#include <cstdint>

namespace kpx::legacy {

// The main interface takes the low 16 bits of a legacy axis number.
inline uint16_t MainAxis(int32_t axis) { return static_cast<uint16_t>(static_cast<uint32_t>(axis) & 0xFFFFu); }

// Card and chip axis as the legacy register functions compute them, with
// signed arithmetic; equal to the usual mapping for every non-negative axis.
inline int32_t LegacyCard(int32_t axis) { return axis / 2; }
inline int32_t LegacyChipAxis(int32_t axis) { return axis % 2; }

// Index of the axis's profile record as the legacy functions form it, or -1
// when it lies outside the table (negative axes, axes of 30 and above).
int32_t LegacyRecordIndex(int32_t axis);

// A double position or distance as pulses: truncated toward zero; values that
// are not finite or do not fit in 32 bits become -2147483648.
int32_t PulsesOf(double position);

// Polls the axis's done status every millisecond until it reports done;
// returns the last status read (1).
uint16_t WaitForAxisDone(uint16_t axis);

}  // namespace kpx::legacy
