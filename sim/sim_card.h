// The register model of one simulated card: the PLD registers, the two axes
// of the pulse-generator chip behind their command and data ports, the PCI
// configuration space and the card's memory windows.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "sim/axis_motion.h"
#include "sim/axis_signals.h"
#include "sim/card_wiring.h"

namespace kpx::sim {

inline constexpr uint32_t kRegisterSpaceSize = 0x100;  // BAR 1: PLD and chip ports
inline constexpr uint32_t kBridgeSpaceSize = 0x80;     // BAR 0: a small memory space
inline constexpr uint32_t kConfigSpaceSize = 0x100;

// Chip port layout inside the register space.
inline constexpr uint32_t kChipFirstPort = 0x80;
inline constexpr uint32_t kChipEndPort = 0xC0;
inline constexpr uint32_t kChipAxisStride = 0x20;  // chip axis 1 sits 4 x 8 bytes higher
inline constexpr uint32_t kPortCommand = 0x00;
inline constexpr uint32_t kPortOtpw = 0x08;
inline constexpr uint32_t kPortDataLow = 0x10;
inline constexpr uint32_t kPortDataHigh = 0x18;

// Register codes: write codes 0x80..0xBF latch the data ports into the
// register, read codes 0xC0..0xFF (write code + 0x40) put it on them.
inline constexpr uint16_t kFirstWriteCode = 0x80;
inline constexpr uint16_t kFirstReadCode = 0xC0;
inline constexpr uint16_t kEndReadCode = 0x100;
inline constexpr uint32_t kChipRegisterCount = 0x40;

// Terminal commands: 0x10 + terminal switches it off, 0x18 + terminal on;
// terminals 4-6 are reported in sub-status bits 4-6.
inline constexpr uint16_t kTerminalOffFirst = 0x14;
inline constexpr uint16_t kTerminalOnFirst = 0x1C;
inline constexpr uint16_t kTerminalCount = 3;
inline constexpr uint16_t kTerminalFirstBit = 4;
inline constexpr uint16_t kSubStatusTerminalMask = 0x70;
// Commands kept per chip axis since the trace was last cleared.
inline constexpr size_t kCommandCapacity = size_t{1} << 20;

// Main-status bits the motion model drives.
inline constexpr uint16_t kMainStatusStarted = 1u << 0;    // a move has been started and not ended
inline constexpr uint16_t kMainStatusRunning = 1u << 1;    // the axis puts out pulses
inline constexpr uint16_t kMainStatusPrebuffer = 1u << 14;  // a further move waits in the pre-buffer

// An encoder on the axis's motor: counts ratio x the output pulses.
struct SimEncoder {
  double ratio = 0.0;  // 0: no encoder, the counters hold what was set
  int64_t base_count = 0;
  int64_t base_output = 0;
  int64_t Count(int64_t output) const {
    return base_count + static_cast<int64_t>(ratio * static_cast<double>(output - base_output));
  }
};

struct SimChipAxis {
  ChipRegisters registers{};  // by write code - 0x80
  uint16_t data_low = 0;
  uint16_t data_high = 0;
  uint16_t main_status = 0;  // bits set through the simulator interface
  uint16_t sub_status = 0;   // bits other than the terminals
  uint16_t terminals = 0;    // sub-status bits 4-6
  uint16_t otpw = 0;
  std::vector<uint16_t> commands;
  AxisMotion motion;
  bool mode_preloaded = false;  // the mode pre-register was written since the last start
  SimEncoder pcl_encoder;       // the chip's encoder counter
  SimEncoder pld_encoder;       // the PLD's 28-bit encoder counter
  bool was_moving = false;
  uint32_t events_raised = 0;  // event causes the model set; a read of the cause register clears them
  uint32_t errors_raised = 0;  // error causes likewise
  AxisSwitches switches;       // limit and home switches on the axis

  // A command port write (register code or command) at simulated time now.
  void WriteCommandPort(uint16_t code, double now);
  uint16_t MainStatus() const;
  // Bits set from outside, the terminals, and the switches the axis stands on.
  uint16_t SubStatus() const;
  // The switches, the inputs or the registers that place triggers changed.
  void UpdateTriggers() {
    motion.SetTriggers(SignalTriggers(switches, registers));
    motion.SetInPositionWait(InPositionWait(switches, registers));
  }
  // Register by write or read code.
  uint32_t &Register(uint16_t code) { return registers[(code - kFirstWriteCode) % kChipRegisterCount]; }
  // Puts position, speed and encoder counts of the motion into the registers.
  void Refresh();
  // A register set from outside (the simulator interface or a write code).
  void RegisterWritten(uint16_t code, double now);
};

// The memory windows of one bus position. They outlive the card in that
// position: a program may still hold the user-mode address of a card that
// the simulator has since reset or removed, and its loads and stores must
// land in memory that exists (the next card in that position sees them).
struct SimWindows {
  alignas(8) std::array<uint8_t, kRegisterSpaceSize> register_window{};  // BAR 1 as memory
  alignas(8) std::array<uint8_t, kBridgeSpaceSize> bridge_window{};      // BAR 0
};
// The windows of a bus position (below KPX4160_SIM_MAX_CARDS).
SimWindows &WindowsOf(unsigned bus_position);

struct SimCard {
  std::array<uint32_t, kRegisterSpaceSize / 4> pld_written{};  // last value written, by offset / 4
  std::array<uint32_t, kRegisterSpaceSize / 4> pld_reads{};    // what a read returns
  // 32-bit PLD accesses at an offset that is not a multiple of 4: the PLD
  // decodes dwords only, so such a write is lost and a read gives 0.
  uint32_t misaligned_accesses = 0;
  std::array<SimChipAxis, 2> chip;
  std::array<uint32_t, kConfigSpaceSize / 4> config{};
  std::array<uint8_t, kRegisterSpaceSize> &register_window;  // of WindowsOf(bus position), zeroed
  std::array<uint8_t, kBridgeSpaceSize> &bridge_window;

  explicit SimCard(unsigned bus_position);
  // Register-space accesses at simulated time now (the card has been
  // advanced to now).
  uint32_t Read(uint32_t offset, uint32_t width);
  void Write(uint32_t offset, uint32_t width, uint32_t value, double now);
  // Follows the clock to now on both chip axes.
  void AdvanceTo(double now, AxisEvents (&events)[2]);
  // The PLD encoder count of a chip axis, as its 28-bit register holds it.
  void RefreshPldEncoders();
  // What a command written to one chip axis does to both.
  void CardWideCommand(const SimChipAxis &from, uint16_t code, double now);
  // A latch event on the LTC input of a chip axis (the card has been
  // advanced to now).
  void Latch(unsigned chip_axis);

  // The machine behind the card (card_signals.cpp).
  CardWiring wiring;
  // The outputs that are on (bit n-1 for output n).
  uint32_t OutputWord() const;
  // Output n (1..20) was on at simulated time t.
  bool OutputOnAt(unsigned n, double t) const;
  // The outputs may have changed at now: kept for the inputs that follow them.
  void OutputsWritten(double now);
  // What the input port (PLD 0x4C) and the input bits of a sub-status word
  // read at the card's present time.
  uint32_t InputPort() const;
  uint16_t SubStatusInputs(unsigned chip_axis, uint16_t sub_status) const;
  // Simulated time of the next input change that stops or frees motion
  // (an alarm, the emergency stop), or kEndless.
  double NextSignalTime() const;
  // Brings the alarm and emergency-stop inputs up to time t.
  void EvaluateSignals(double t);
  // Simulated time restarts at 0: the output history and the schedule too.
  void RestartSignals();

 private:
  double time_ = 0.0;  // present time of the card (AdvanceTo)
  std::deque<std::pair<double, uint32_t>> output_history_;  // (time, outputs on from then)
  std::vector<double> signal_times_;  // a min-heap of times at which EvaluateSignals is due
  void Schedule(double t);
};

// PLD offsets that are inputs: writes do not change what they read as.
bool IsPldInputRegister(uint32_t offset);

}  // namespace kpx::sim
