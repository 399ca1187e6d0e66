// Bit and field masks for register layouts, built from bit positions.
#pragma once

#include <cstdint>

namespace kpx::io {

// One bit (named apart from the single-bit helper of the encoder code, so
// both headers can meet in one file).
constexpr uint32_t BitMask(unsigned n) { return 1u << n; }
// Bits lo..hi inclusive.
constexpr uint32_t FieldMask(unsigned hi, unsigned lo) { return (~0u >> (31u - hi)) & (~0u << lo); }
// Value v placed in the field whose lowest bit is lo, cut to the field.
constexpr uint32_t FieldValue(uint32_t v, unsigned hi, unsigned lo) { return (v << lo) & FieldMask(hi, lo); }
// Bit n set when on is true.
constexpr uint32_t BitIf(bool on, unsigned n) { return on ? BitMask(n) : 0u; }

static_assert(FieldMask(5, 4) == 0x30u);
static_assert(FieldMask(31, 0) == 0xFFFFFFFFu);
static_assert(FieldMask(17, 10) == 0x3FC00u);

}  // namespace kpx::io
