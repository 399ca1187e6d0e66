#include "support/trace_decoder.h"

#include <array>
#include <cstdio>

namespace kpx::test {
namespace {

// Each chip axis has four 16-bit ports at 0x80 + 0x20 x axis: the command and
// main status (+0), OTPW / SSTSW (+8), the low (+0x10) and high (+0x18) data.
constexpr uint32_t kChipFirst = 0x80, kChipEnd = 0xC0, kStride = 0x20;
constexpr uint32_t kCmd = 0x00, kOtpw = 0x08, kLow = 0x10, kHigh = 0x18;

struct AxisState {
  uint32_t low = 0, high = 0;
  bool high_written = false;
  int pending_read = -1;  // index of the kPclRead op whose data ports are being read
};

}  // namespace

std::vector<kpx4160_sim_access> RawTrace() {
  std::vector<kpx4160_sim_access> out(kpx4160_sim_trace_size());
  for (uint32_t i = 0; i < out.size(); ++i) kpx4160_sim_trace_entry(i, &out[i]);
  return out;
}

std::vector<RegisterOp> DecodedTrace() { return Decode(RawTrace()); }

std::vector<RegisterOp> Decode(const std::vector<kpx4160_sim_access> &raw) {
  std::vector<RegisterOp> ops;
  std::vector<std::array<AxisState, 2>> state(KPX4160_SIM_MAX_CARDS);
  for (const kpx4160_sim_access &a : raw) {
    if (a.card >= state.size()) continue;
    if (a.offset < kChipFirst || a.offset >= kChipEnd) {
      ops.push_back({a.is_write ? Op::kPldWrite : Op::kPldRead, a.card, 0, a.offset, a.value, a.width});
      continue;
    }
    const uint32_t axis = (a.offset - kChipFirst) / kStride, port = (a.offset - kChipFirst) % kStride;
    AxisState &s = state[a.card][axis];
    if (!a.is_write) {
      if (port == kCmd || port == kOtpw)
        ops.push_back({port == kCmd ? Op::kMainStatus : Op::kSstsw, a.card, axis, 0, a.value, 16});
      if ((port == kLow || port == kHigh) && s.pending_read >= 0) {
        RegisterOp &r = ops[static_cast<size_t>(s.pending_read)];
        r.value |= port == kHigh ? a.value << 16 : a.value;
        r.width = port == kHigh ? 32 : (r.width == 0 ? 16 : r.width);
      }
    } else if (port == kLow || port == kHigh) {
      (port == kLow ? s.low : s.high) = a.value;
      s.high_written = s.high_written || port == kHigh;
    } else if (port == kOtpw) {
      ops.push_back({Op::kOtpw, a.card, axis, 0, a.value, 16});
    } else if (port == kCmd) {
      // 0x80-0xBF write a register from the data ports, 0xC0-0xFF read one.
      s.pending_read = a.value >= 0xC0 && a.value < 0x100 ? static_cast<int>(ops.size()) : -1;
      if (a.value >= 0x80 && a.value < 0xC0)
        ops.push_back({Op::kPclWrite, a.card, axis, a.value, s.high_written ? (s.high << 16 | s.low) : s.low,
                       s.high_written ? 32u : 16u});
      else
        ops.push_back({s.pending_read >= 0 ? Op::kPclRead : Op::kCommand, a.card, axis, a.value, 0,
                       s.pending_read >= 0 ? 0u : 16u});
      s.high_written = false;
    }
  }
  return ops;
}

std::vector<RegisterOp> Only(const std::vector<RegisterOp> &ops, Op kind) {
  std::vector<RegisterOp> out;
  for (const RegisterOp &o : ops)
    if (o.op == kind) out.push_back(o);
  return out;
}

std::vector<RegisterOp> OnAxis(const std::vector<RegisterOp> &ops, uint32_t card, uint32_t chip_axis) {
  std::vector<RegisterOp> out;
  for (const RegisterOp &o : ops)
    if (o.card == card && o.chip_axis == chip_axis && o.op != Op::kPldRead && o.op != Op::kPldWrite) out.push_back(o);
  return out;
}

std::string ToString(const RegisterOp &op) {
  static constexpr const char *kNames[] = {"pcl-write", "pcl-read", "command",   "main-status",
                                           "sstsw",     "otpw",     "pld-write", "pld-read"};
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s card %u axis %u code 0x%X value 0x%X width %u",
                kNames[static_cast<int>(op.op)], op.card, op.chip_axis, op.code, op.value, op.width);
  return buf;
}

}  // namespace kpx::test
