#include "sim/sim_card.h"

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

void SimChipAxis::WriteCommandPort(uint16_t code) {
  if (code >= kFirstWriteCode && code < kFirstReadCode) {
    Register(code) = static_cast<uint32_t>(data_high) << 16 | data_low;
    return;
  }
  if (code >= kFirstReadCode && code < kEndReadCode) {
    const uint32_t v = Register(code);
    data_low = static_cast<uint16_t>(v);
    data_high = static_cast<uint16_t>(v >> 16);
    return;
  }
  commands.push_back(code);
  prebuffer.OnCommand(code);
  for (uint16_t t = 0; t < kTerminalCount; ++t) {
    const uint16_t bit = static_cast<uint16_t>(1u << (kTerminalFirstBit + t));
    if (code == kTerminalOffFirst + t) terminals = static_cast<uint16_t>(terminals & ~bit);
    if (code == kTerminalOnFirst + t) terminals = static_cast<uint16_t>(terminals | bit);
  }
}

// Factory contents of the identity registers of simulated card i: serial
// "VEV0" + the card's bus position + 1 in hex, firmware "1.0", and a maker
// text of 20 characters.
constexpr uint32_t kSimIdentificationBase = 0x00010000;
constexpr uint32_t kSimFirmwareWord = 0x00312E30;  // '1' '.' '0' in bytes 2, 1, 0
constexpr char kSimMakerText[] = "KPX4160 SIMULATED   ";

SimCard::SimCard(unsigned bus_position) {
  config[0] = kConfigIds;
  pld_reads[kPldIdentification / 4] = kSimIdentificationBase + bus_position + 1;
  for (uint32_t w = 0; w < 5; ++w) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < 4; ++b) v = v << 8 | static_cast<uint8_t>(kSimMakerText[4 * w + b]);
    pld_reads[(kPldIdentification + 4 + 4 * w) / 4] = v;
  }
  pld_reads[kPldCompanyLast / 4] = kSimFirmwareWord;
}

uint32_t SimCard::Read(uint32_t offset, uint32_t width) {
  if (offset >= kRegisterSpaceSize) return 0;
  if (IsChipPort(offset)) {
    SimChipAxis &axis = chip[(offset - kChipFirstPort) / kChipAxisStride];
    switch ((offset - kChipFirstPort) % kChipAxisStride) {
      case kPortCommand: {
        const auto status = static_cast<uint16_t>(axis.main_status | axis.prebuffer.StatusBits());
        axis.prebuffer.AfterStatusRead();
        return status;
      }
      case kPortOtpw: return axis.SubStatus();
      case kPortDataLow: return axis.data_low;
      case kPortDataHigh: return axis.data_high;
      default: return 0;
    }
  }
  const uint32_t v = pld_reads[offset / 4];
  return width == 16 ? (v & 0xFFFF) : v;
}

void SimCard::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (offset >= kRegisterSpaceSize) return;
  if (IsChipPort(offset)) {
    SimChipAxis &axis = chip[(offset - kChipFirstPort) / kChipAxisStride];
    const auto v16 = static_cast<uint16_t>(value);
    switch ((offset - kChipFirstPort) % kChipAxisStride) {
      case kPortCommand:
        axis.WriteCommandPort(v16);
        if (IsChipStopCommand(v16))
          for (SimChipAxis &a : chip) a.prebuffer.Stop();
        break;
      case kPortOtpw: axis.otpw = v16; break;
      case kPortDataLow: axis.data_low = v16; break;
      case kPortDataHigh: axis.data_high = v16; break;
      default: break;
    }
    return;
  }
  if (width == 16) value &= 0xFFFF;
  pld_written[offset / 4] = value;
  if (!IsPldInputRegister(offset)) pld_reads[offset / 4] = value;
}

}  // namespace kpx::sim
