#include "sim/prebuffer.h"

namespace kpx::sim {
namespace {

// Start commands: constant speed at the start speed or at the maximum
// speed, decelerating and accelerating start.
constexpr uint16_t kFirstStart = 0x50;
constexpr uint16_t kLastStart = 0x53;
// Per-axis stops: simultaneous stop, immediate stop, decelerating stop (the
// model does not decelerate: the axis is idle at once).
constexpr uint16_t kSimultaneousStop = 0x07;
constexpr uint16_t kImmediateStop = 0x49;
constexpr uint16_t kDeceleratingStop = 0x4A;
// Whole-chip commands, written through chip axis 0.
constexpr uint16_t kChipReset = 0x0F04;
constexpr uint16_t kEmergencyStop = 0x0F05;

}  // namespace

bool IsStartCommand(uint16_t code) { return code >= kFirstStart && code <= kLastStart; }

bool IsAxisStopCommand(uint16_t code) {
  return code == kSimultaneousStop || code == kImmediateStop || code == kDeceleratingStop;
}

bool IsChipStopCommand(uint16_t code) { return code == kChipReset || code == kEmergencyStop; }

void PrebufferModel::OnCommand(uint16_t code) {
  if (IsAxisStopCommand(code)) {
    Stop();
    return;
  }
  if (!IsStartCommand(code)) return;
  if (!Busy()) {
    reads_left_ = kStatusReadsPerMove;
  } else if (pending_) {
    ++overruns_;
  } else {
    pending_ = true;
  }
}

void PrebufferModel::Stop() {
  reads_left_ = 0;
  pending_ = false;
}

uint16_t PrebufferModel::StatusBits() const {
  uint16_t bits = 0;
  if (Busy()) bits |= kMainStatusBusy;
  if (pending_) bits |= kMainStatusPrebuffer;
  return bits;
}

void PrebufferModel::AfterStatusRead() {
  if (!Busy()) return;
  if (--reads_left_ > 0) return;
  // The running move has ended; the queued one, if any, starts now.
  if (pending_) {
    pending_ = false;
    reads_left_ = kStatusReadsPerMove;
  }
}

}  // namespace kpx::sim
