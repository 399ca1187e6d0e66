#include "sim/sim_card.h"

#include <cmath>
#include "kpx4160_sim.h"

namespace kpx::sim {
namespace {

constexpr uint32_t kPldInputPort = 0x4C;
constexpr uint32_t kPldIdentification = 0x60;
constexpr uint32_t kPldCompanyLast = 0x74;

// Vendor 0x0003, device 0x4160 in the first configuration dword.
constexpr uint32_t kConfigIds = 0x41600003;

bool IsChipPort(uint32_t offset) { return offset >= kChipFirstPort && offset < kChipEndPort; }

}  // namespace

bool IsPldInputRegister(uint32_t offset) {
  const uint32_t aligned = offset & ~3u;
  return aligned == kPldInputPort || (aligned >= kPldIdentification && aligned <= kPldCompanyLast);
}

namespace {

// Registers with a meaning for the motion model, by write code.
constexpr uint16_t kRegDistance = 0x90;       // distance of the move in progress
constexpr uint16_t kRegRunningSpeed = 0x92;   // running speed of the move in progress
constexpr uint16_t kRegMagnification = 0x95;  // magnification of the move in progress
constexpr uint16_t kRegModePre = 0x87;        // operation-mode pre-register
constexpr uint16_t kRegMode = 0x97;           // operation-mode register
constexpr uint16_t kRegPreFirst = 0x80;       // pre-registers 0x80..0x8A go with a start
constexpr uint16_t kRegLogicalPosition = 0xA3;
constexpr uint16_t kRegEncoder = 0xA4;
constexpr uint16_t kRegPresentSpeed = 0xB5;  // read as 0xF5
constexpr uint16_t kRegEventFactorRead = 0xF3;  // event causes of the chip axis
constexpr uint16_t kRegErrorFactorRead = 0xF2;  // error (stop) causes of the chip axis
// Registers that place the axis's position triggers.
constexpr uint16_t kRegSignalConfig1 = 0x9C;  // EL stop mode
constexpr uint16_t kRegSignalConfig2 = 0x9D;  // home search on EZ pulses
constexpr uint16_t kRegSignalConfig3 = 0x9E;  // comparator conditions and action, latch trigger source
constexpr uint16_t kRegComparator1 = 0xA7;
constexpr uint16_t kRegComparator2 = 0xA8;
// Counters the chip latches on a latch event when its trigger source is
// the LTC input (SignalConfig3 bits 5, 6, 9, 10).
constexpr uint16_t kRegLatchedPosition = 0xAD;  // read as 0xED: logical position
constexpr uint16_t kRegLatchedEncoder = 0xAE;   // read as 0xEE: encoder counter
constexpr uint32_t kSc3LatchOnLtc = 0x660;
// SignalConfig1 bit 19: the axis stops on the card's simultaneous stop.
constexpr uint32_t kSc1SynchronousStop = 1u << 19;

// Commands.
constexpr uint16_t kCmdSimultaneousStart = 0x06;  // starts the waiting moves of both chip axes
constexpr uint16_t kCmdSimultaneousStop = 0x07;   // stops this axis and those in synchronous-stop mode
constexpr uint16_t kCmdImmediateStop = 0x49;
constexpr uint16_t kCmdDeceleratingStop = 0x4A;
constexpr uint16_t kCmdChipReset = 0x0F04;     // through chip axis 0: both axes stop
constexpr uint16_t kCmdEmergencyStop = 0x0F05;  // through chip axis 0: both axes stop

constexpr uint32_t kPldEncoderCount = 0x00;   // + 0x10 for chip axis 1
constexpr uint32_t kPldEncoderPreset = 0x08;  // + 0x10 for chip axis 1
constexpr uint32_t kPldAxisStride = 0x10;
constexpr uint32_t kPldEncoderMask = 0x0FFFFFFF;
constexpr uint32_t kPldEncoderLatch = 0x0C;  // + 0x10 for chip axis 1: count at the latch event
// SignalControl: bit 0 / 1 latch enable of chip axis 0 / 1; bits 16-23
// latch flags, active low, which only a latch event (clear) and a write
// of 0 to the input-port offset (all set) change.
constexpr uint32_t kPldSignalControl = 0x48;
constexpr uint32_t kLatchFlags = 0x00FF0000;
constexpr unsigned kLatchFlagShift = 16;
constexpr uint32_t kPldLatchFlagReset = 0x4C;
constexpr uint32_t kPldOutputPort = 0x44;  // general outputs, active low
constexpr uint32_t kPldConfig = 0x78;      // EMG logic and enable

bool IsStart(uint16_t code) { return code >= kStartAtStartSpeed && code <= kStartAccelerating; }

int64_t SignExtend28(uint32_t v) {
  v &= kPldEncoderMask;
  return (v & 0x08000000u) != 0 ? static_cast<int64_t>(v) - 0x10000000 : static_cast<int64_t>(v);
}

}  // namespace

uint16_t SimChipAxis::SubStatus() const {
  // The servo is in position once no pulse goes out and its delay has
  // passed; a move whose logic hides INP waits with its pulses out.
  const bool servo_in_position = !motion.Busy() || (motion.WaitingForInPosition() && !std::isfinite(motion.NextEventTime()));
  uint16_t bits = static_cast<uint16_t>((sub_status & ~kSubStatusTerminalMask) | terminals |
                                        SwitchStatusBits(switches, registers, motion.Position()));
  if (switches.wired && InPositionSeen(switches, registers, servo_in_position)) bits |= kSubStatusInPosition;
  return bits;
}

uint16_t SimChipAxis::MainStatus() const {
  uint16_t bits = main_status;
  if (motion.Busy()) bits |= kMainStatusStarted;
  if (motion.Busy() && !motion.WaitingForInPosition()) bits |= kMainStatusRunning;
  if (motion.WaitingForStart()) bits |= kMainStatusStarted;
  if (motion.Pending()) bits |= kMainStatusPrebuffer;
  return bits;
}

void SimChipAxis::Refresh() {
  Register(kRegLogicalPosition) = static_cast<uint32_t>(motion.Position());
  if (pcl_encoder.ratio != 0.0) Register(kRegEncoder) = static_cast<uint32_t>(pcl_encoder.Count(motion.OutputPulses()));
  // The present speed follows a move while it runs and reads 0 once it has
  // ended; a value set from outside stays while the axis rests.
  const bool moving = motion.Busy();
  if (moving || was_moving) {
    const double unit = 1200.0 / ((Register(kRegMagnification) & 0xFFFF) + 1.0);
    Register(kRegPresentSpeed) = moving ? static_cast<uint32_t>(motion.Speed() / unit) & 0xFFFF : 0;
  }
  was_moving = moving;
}

void SimChipAxis::RegisterWritten(uint16_t code, double now) {
  if (code >= kFirstReadCode) code = static_cast<uint16_t>(code - (kFirstReadCode - kFirstWriteCode));
  switch (code) {
    case kRegModePre: mode_preloaded = true; break;
    case kRegLogicalPosition: motion.PositionWritten(static_cast<int32_t>(Register(code))); break;
    case kRegEncoder:
      pcl_encoder.base_count = static_cast<int32_t>(Register(code));
      pcl_encoder.base_output = motion.OutputPulses();
      break;
    case kRegRunningSpeed: motion.ChangeRunningSpeed(now, registers); break;
    case kRegDistance: motion.ChangeDistance(now, registers); break;
    case kRegSignalConfig1:
    case kRegSignalConfig2:
    case kRegSignalConfig3:
    case kRegComparator1:
    case kRegComparator2: UpdateTriggers(); break;
    default: break;
  }
}

void SimChipAxis::WriteCommandPort(uint16_t code, double now) {
  if (code >= kFirstWriteCode && code < kFirstReadCode) {
    Register(code) = static_cast<uint32_t>(data_high) << 16 | data_low;
    RegisterWritten(code, now);
    return;
  }
  if (code >= kFirstReadCode && code < kEndReadCode) {
    const uint32_t v = Register(code);
    data_low = static_cast<uint16_t>(v);
    data_high = static_cast<uint16_t>(v >> 16);
    // Reading the event causes clears those the chip raised itself.
    if (code == kRegEventFactorRead) {
      Register(code) &= ~events_raised;
      events_raised = 0;
    }
    if (code == kRegErrorFactorRead) {
      Register(code) &= ~errors_raised;
      errors_raised = 0;
    }
    return;
  }
  if (commands.size() < kCommandCapacity) commands.push_back(code);
  if (IsStart(code)) {
    // The start takes the mode word from the pre-register when a move
    // loaded it since the last start; continuous, home and handwheel
    // operation write the register itself.
    MoveOrder order;
    order.command = code;
    order.mode = mode_preloaded ? Register(kRegModePre) : Register(kRegMode);
    for (size_t i = 0; i < order.pre.size(); ++i) order.pre[i] = Register(static_cast<uint16_t>(kRegPreFirst + i));
    mode_preloaded = false;
    motion.Start(order, now, registers);
  } else if (code == kCmdImmediateStop || code == kCmdSimultaneousStop) {
    motion.StopImmediately(now, registers);
  } else if (code == kCmdDeceleratingStop) {
    motion.StopDecelerating(now, registers);
  }
  for (uint16_t t = 0; t < kTerminalCount; ++t) {
    const uint16_t bit = static_cast<uint16_t>(1u << (kTerminalFirstBit + t));
    if (code == kTerminalOffFirst + t) terminals = static_cast<uint16_t>(terminals & ~bit);
    if (code == kTerminalOnFirst + t) terminals = static_cast<uint16_t>(terminals | bit);
  }
  Refresh();
}

void SimCard::AdvanceTo(double now, AxisEvents (&events)[2]) {
  time_ = now;
  for (size_t i = 0; i < chip.size(); ++i) {
    chip[i].motion.AdvanceTo(now, chip[i].registers, events[i]);
    chip[i].Refresh();
  }
  RefreshPldEncoders();
}

void SimCard::RefreshPldEncoders() {
  for (uint32_t i = 0; i < chip.size(); ++i) {
    const SimEncoder &e = chip[i].pld_encoder;
    if (e.ratio == 0.0) continue;
    pld_reads[(kPldEncoderCount + kPldAxisStride * i) / 4] =
        static_cast<uint32_t>(e.Count(chip[i].motion.OutputPulses())) & kPldEncoderMask;
  }
}

// Factory contents of the identity registers of simulated card i: serial
// "VEV0" + the card's bus position + 1 in hex, firmware "1.0", and a maker
// text of 20 characters.
constexpr uint32_t kSimIdentificationBase = 0x00010000;
constexpr uint32_t kSimFirmwareWord = 0x00312E30;  // '1' '.' '0' in bytes 2, 1, 0
constexpr char kSimMakerText[] = "KPX4160 SIMULATED   ";

SimWindows &WindowsOf(unsigned bus_position) {
  static SimWindows windows[KPX4160_SIM_MAX_CARDS];
  return windows[bus_position % KPX4160_SIM_MAX_CARDS];
}

SimCard::SimCard(unsigned bus_position)
    : register_window(WindowsOf(bus_position).register_window), bridge_window(WindowsOf(bus_position).bridge_window) {
  register_window.fill(0);
  bridge_window.fill(0);
  config[0] = kConfigIds;
  pld_reads[kPldIdentification / 4] = kSimIdentificationBase + bus_position + 1;
  for (uint32_t w = 0; w < 5; ++w) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < 4; ++b) v = v << 8 | static_cast<uint8_t>(kSimMakerText[4 * w + b]);
    pld_reads[(kPldIdentification + 4 + 4 * w) / 4] = v;
  }
  pld_reads[kPldCompanyLast / 4] = kSimFirmwareWord;
  pld_reads[kPldSignalControl / 4] = kLatchFlags;  // no latch flag raised
}

void SimCard::Latch(unsigned chip_axis) {
  SimChipAxis &axis = chip[chip_axis];
  uint32_t &control = pld_reads[kPldSignalControl / 4];
  if ((control & (1u << chip_axis)) != 0) {
    pld_reads[(kPldEncoderLatch + kPldAxisStride * chip_axis) / 4] =
        pld_reads[(kPldEncoderCount + kPldAxisStride * chip_axis) / 4] & kPldEncoderMask;
    control &= ~(1u << (kLatchFlagShift + chip_axis));
  }
  if ((axis.Register(kRegSignalConfig3) & kSc3LatchOnLtc) == kSc3LatchOnLtc) {
    axis.Register(kRegLatchedPosition) = axis.Register(kRegLogicalPosition);
    axis.Register(kRegLatchedEncoder) = axis.Register(kRegEncoder);
  }
}

uint32_t SimCard::Read(uint32_t offset, uint32_t width) {
  if (offset >= kRegisterSpaceSize) return 0;
  if (IsChipPort(offset)) {
    SimChipAxis &axis = chip[(offset - kChipFirstPort) / kChipAxisStride];
    switch ((offset - kChipFirstPort) % kChipAxisStride) {
      case kPortCommand: {
        return axis.MainStatus();
      }
      case kPortOtpw: return SubStatusInputs((offset - kChipFirstPort) / kChipAxisStride, axis.SubStatus());
      case kPortDataLow: return axis.data_low;
      case kPortDataHigh: return axis.data_high;
      default: return 0;
    }
  }
  if (width == 32 && offset % 4 != 0) {
    ++misaligned_accesses;
    return 0;
  }
  const uint32_t v = (offset & ~3u) == kPldInputPort ? InputPort() : pld_reads[offset / 4];
  return width == 16 ? (v & 0xFFFF) : v;
}

void SimCard::CardWideCommand(const SimChipAxis &from, uint16_t code, double now) {
  for (SimChipAxis &a : chip) {
    // Chip reset and emergency stop go through chip axis 0 to both axes;
    // the simultaneous start and stop reach both axes of the card.
    if (&from == &chip[0] && (code == kCmdChipReset || code == kCmdEmergencyStop))
      a.motion.StopImmediately(now, a.registers);
    else if (code == kCmdSimultaneousStart)
      a.motion.SimultaneousStart(now, a.registers);
    else if (code == kCmdSimultaneousStop && &a != &from && (a.Register(kRegSignalConfig1) & kSc1SynchronousStop) != 0)
      a.motion.StopImmediately(now, a.registers);
    else
      continue;
    a.Refresh();
  }
}

void SimCard::Write(uint32_t offset, uint32_t width, uint32_t value, double now) {
  if (offset >= kRegisterSpaceSize) return;
  if (IsChipPort(offset)) {
    SimChipAxis &axis = chip[(offset - kChipFirstPort) / kChipAxisStride];
    const auto v16 = static_cast<uint16_t>(value);
    switch ((offset - kChipFirstPort) % kChipAxisStride) {
      case kPortCommand:
        axis.WriteCommandPort(v16, now);
        CardWideCommand(axis, v16, now);
        OutputsWritten(now);
        break;
      case kPortOtpw: axis.otpw = v16; break;
      case kPortDataLow: axis.data_low = v16; break;
      case kPortDataHigh: axis.data_high = v16; break;
      default: break;
    }
    return;
  }
  if (width == 32 && offset % 4 != 0) {
    ++misaligned_accesses;
    return;
  }
  if (width == 16) value &= 0xFFFF;
  pld_written[offset / 4] = value;
  const uint32_t flags = pld_reads[kPldSignalControl / 4] & kLatchFlags;
  if (!IsPldInputRegister(offset)) pld_reads[offset / 4] = value;
  if ((offset & ~3u) == kPldSignalControl) pld_reads[kPldSignalControl / 4] = (value & ~kLatchFlags) | flags;
  if ((offset & ~3u) == kPldLatchFlagReset && value == 0) pld_reads[kPldSignalControl / 4] |= kLatchFlags;
  const uint32_t aligned = offset & ~3u;
  for (uint32_t i = 0; i < chip.size(); ++i) {
    SimEncoder &e = chip[i].pld_encoder;
    if (e.ratio != 0.0 && aligned == kPldEncoderPreset + kPldAxisStride * i) {
      e.base_count = SignExtend28(value);
      e.base_output = chip[i].motion.OutputPulses();
    }
  }
  RefreshPldEncoders();
  if (aligned == kPldOutputPort) OutputsWritten(now);
  if (aligned == kPldConfig) EvaluateSignals(now);
}

}  // namespace kpx::sim
