#include "tools/kpx4160/status_words.h"

#include <cstdio>

namespace kpx::tool {
namespace {

// Main status: the chip sets bits 0 and 1 while it puts out a move and
// bit 14 while a further move waits in its one-deep pre-buffer.
constexpr uint16_t kMainBusy = 0x0003;
constexpr uint16_t kMainPrebufferFull = 1u << 14;

// Bits 8-15 of the sub-status word are the axis's input signals as the chip
// sees them after their logic setting (1 = active).
struct Signal {
  uint16_t bit;
  const char *name;
};
constexpr Signal kSignals[] = {
    {1u << 8, "ALM"},   // servo alarm
    {1u << 9, "+EL"},   // end limit, plus side
    {1u << 10, "-EL"},  // end limit, minus side
    {1u << 11, "HOME"}, // home (origin) switch
    {1u << 12, "SD"},   // slow-down input
    {1u << 13, "INP"},  // servo in position
    {1u << 14, "CSTA"}, // simultaneous-start line
    {1u << 15, "EMG"},  // emergency stop input of the card
};

}  // namespace

std::string DecodeStatus(uint16_t main_status, uint16_t io_status) {
  std::string words = (main_status & kMainBusy) != 0 ? "running" : "done";
  if ((main_status & kMainPrebufferFull) != 0) words += " pre-buffer-full";
  for (const Signal &s : kSignals)
    if ((io_status & s.bit) != 0) words += std::string(" ") + s.name;
  return words;
}

std::string AxisLine(const Library &lib, uint16_t axis) {
  char line[256];
  const uint16_t main_status = lib.axis_status(axis);
  const uint16_t io = lib.axis_io_status(axis);
  std::snprintf(line, sizeof line, "axis %u: position %d encoder %d speed %.0f status 0x%04X io 0x%04X %s", axis,
                lib.get_position(axis), lib.get_encoder(axis), lib.read_current_speed(axis), main_status, io,
                DecodeStatus(main_status, io).c_str());
  return line;
}

}  // namespace kpx::tool
