// The status words of an axis, put into words a machine builder reads.
#pragma once

#include <cstdint>
#include <string>

#include "tools/kpx4160/library.h"

namespace kpx::tool {

// Names of the set bits: "done" or "running", "pre-buffer full", and the
// active input signals (+EL, -EL, HOME, ALM, ...), separated by spaces.
std::string DecodeStatus(uint16_t main_status, uint16_t io_status);

// One line: position, encoder, speed and the decoded status of the axis.
std::string AxisLine(const Library &lib, uint16_t axis);

}  // namespace kpx::tool
