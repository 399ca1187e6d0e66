// Driver status codes as text.
#pragma once

#include <cstdint>

namespace kpx::device {

inline constexpr uint32_t kStatusTableSize = 88;

// Text of the first table entry with this code, or "Unrecognized error code".
const char *StatusText(uint32_t code);

// Entry i of the table (i < kStatusTableSize), in table order.
struct StatusEntry {
  uint32_t code;
  const char *text;
};
const StatusEntry &StatusTableEntry(uint32_t i);

}  // namespace kpx::device
