// Board open/close, general I/O and the combined axis I/O status word of the
// older command set.
#include <cstdint>

#include "kpx4160.h"
#include "legacy/legacy_axis.h"

namespace {
// The legacy status word gathers six signal bits of the chip's sub-status
// (bits 8-15, as k4160_axis_io_status returns them) and of its extended
// status word (k4160_get_rsts) into the layout older applications decode.
struct StatusBitMove {
  bool from_rsts;   // source word: extended status (true) or sub-status
  uint32_t source;  // bit in the source word
  uint16_t target;  // bits set in the legacy word
};
constexpr StatusBitMove kStatusBitMoves[] = {
    {false, 1u << 15, 0x000C},  // sub-status bit 15 -> bits 2 and 3
    {false, 1u << 14, 0x0010},  // sub-status bit 14 -> bit 4
    {true, 1u << 10, 0x0020},   // extended status bit 10 -> bit 5
    {false, 1u << 11, 0x0040},  // sub-status bit 11 -> bit 6
    {true, 1u << 9, 0x0400},    // extended status bit 9 -> bit 10
    {true, 1u << 15, 0x0800},   // extended status bit 15 -> bit 11
};
}  // namespace

extern "C" {

KPX4160_API uint16_t Board_init(void) { return static_cast<uint16_t>(k4160_board_init() & 0xFFFFu); }

KPX4160_API void Board_close(void) { k4160_board_close(); }

KPX4160_API void Out_bit(int32_t card, int32_t bit, int32_t value) {
  k4160_write_outbit(static_cast<uint16_t>(card), static_cast<uint16_t>(bit), static_cast<uint16_t>(value));
}

KPX4160_API uint32_t In_bit(int32_t bit) { return k4160_read_inbit(0, static_cast<uint16_t>(bit)); }

KPX4160_API uint16_t Get_io_status(int32_t axis) {
  const uint16_t a = kpx::legacy::MainAxis(axis);
  const uint32_t rs = k4160_get_rsts(a);
  const uint32_t io = k4160_axis_io_status(a);
  uint16_t status = 0;
  for (const StatusBitMove &m : kStatusBitMoves)
    if ((m.from_rsts ? rs : io) & m.source) status = static_cast<uint16_t>(status | m.target);
  return status;
}

}  // extern "C"
