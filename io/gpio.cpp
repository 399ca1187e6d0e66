// The card-wide general-purpose inputs and outputs. Each of these functions
// holds IoMutex from before it looks at its arguments to its return, so a
// port write and a bit write, or a port read and a write, never interleave.
#include <mutex>

#include "core/registers.h"
#include "core/shared_registers.h"
#include "io/gpio_map.h"
#include "io/io_mutex.h"
#include "io/terminal_commands.h"
#include "kpx4160.h"

using namespace kpx::io;
using kpx::core::BaseOfChipAxis;
using kpx::core::kPldInputPort;
using kpx::core::kPldOutputPort;
using kpx::core::RegisterTransaction;
using kpx::core::WritePclCommand;

namespace {

constexpr uint32_t kNoSuchInput = 255;
constexpr int32_t kNoSuchOutput = -1;

uint32_t SubStatusBit(uint16_t card, uint16_t chip_axis, unsigned bit) {
  return (read_word_pcl_sstsw(card, BaseOfChipAxis(chip_axis)) >> bit) & 1u;
}

// The chip-side bits of a port, read as the hardware expects: for each
// sub-status bit from the highest, chip axis 1 before chip axis 0, shifted
// in so the last one read ends in bit 0.
uint32_t GatherChipBits(uint16_t card, const unsigned *bits, unsigned count) {
  uint32_t acc = 0;
  for (unsigned i = 0; i < count; ++i) {
    for (int a = 1; a >= 0; --a) acc = acc << 1 | SubStatusBit(card, static_cast<uint16_t>(a), bits[i]);
  }
  return acc;
}

}  // namespace

extern "C" {

uint32_t k4160_read_inbit(uint16_t card, uint16_t n) {
  std::lock_guard lock(IoMutex);
  if (n < kFirstIo || n > kLastIo) return kNoSuchInput;
  if (n <= kLastPldInput) return (read_dword_pld_register(card, kPldInputPort) >> (n - 1)) & 1u;
  const ChipSource src = ChipInput(n);
  return SubStatusBit(card, src.chip_axis, src.index);
}

uint32_t k4160_read_inport(uint16_t card) {
  std::lock_guard lock(IoMutex);
  static constexpr unsigned kBits[] = {kSubInputHighBit, kSubInputLowBit};
  const uint32_t chip = GatherChipBits(card, kBits, 2);
  return (read_dword_pld_register(card, kPldInputPort) & kInputPortBits) | chip << kPortChipShiftIn;
}

void k4160_write_outbit(uint16_t card, uint16_t n, uint16_t value) {
  std::lock_guard lock(IoMutex);
  if (n < kFirstIo || n > kLastIo || value > 1) return;
  if (n <= kLastPldOutput) {
    // Active low: 0 switches the output on.
    const uint32_t bit = BitMask(OutputPortBit(n));
    // RegisterLock as well: servo-on shares OutputPort without IoMutex.
    const RegisterTransaction hold;
    const uint32_t v = read_dword_pld_register(card, kPldOutputPort);
    write_dword_pld_register(card, kPldOutputPort, value == 1 ? (v & ~bit) : (v | bit));
    return;
  }
  const ChipSource dst = ChipOutput(n);
  WritePclCommand(card, BaseOfChipAxis(dst.chip_axis), TerminalCommand(dst.index, value == 1));
}

int32_t k4160_read_outbit(uint16_t card, uint16_t n) {
  std::lock_guard lock(IoMutex);
  if (n < kFirstIo || n > kLastIo) return kNoSuchOutput;
  if (n <= kLastPldOutput) {
    return ((read_dword_pld_register(card, kPldOutputPort) >> OutputPortBit(n)) & 1u) == 0 ? 1 : 0;
  }
  const ChipSource src = ChipOutput(n);
  return static_cast<int32_t>(SubStatusBit(card, src.chip_axis, kSubTerminalBit + (src.index - kFirstOutputTerminal)));
}

uint32_t k4160_read_outport(uint16_t card) {
  std::lock_guard lock(IoMutex);
  static constexpr unsigned kBits[] = {kSubTerminalBit + 2, kSubTerminalBit + 1, kSubTerminalBit};
  const uint32_t chip = GatherChipBits(card, kBits, 3);
  const uint32_t on = ~read_dword_pld_register(card, kPldOutputPort);  // 1 = on from here
  return (on & kOutputPortLow) | ((on & kOutputPortHigh) >> 2) | chip << kPortChipShiftOut;
}

void k4160_write_outport(uint16_t card, uint32_t value) {
  std::lock_guard lock(IoMutex);
  {
    // RegisterLock as well: servo-on shares OutputPort without IoMutex.
    const RegisterTransaction hold;
    const uint32_t keep = read_dword_pld_register(card, kPldOutputPort) & kOutputPortKeep;
    const uint32_t off = ~value;  // active low
    write_dword_pld_register(card, kPldOutputPort, keep | (off & kOutputPortLow) | ((off << 2) & kOutputPortHigh));
  }
  // Port bits 14-19 are outputs 15-20: always all six commands, in order.
  for (uint16_t n = 15; n <= kLastIo; ++n) {
    const ChipSource dst = ChipOutput(n);
    const bool on = ((value >> (n - 1)) & 1u) != 0;
    WritePclCommand(card, BaseOfChipAxis(dst.chip_axis), TerminalCommand(dst.index, on));
  }
}

}  // extern "C"
