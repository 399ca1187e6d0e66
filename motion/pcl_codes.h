// Chip register codes, commands and operation-mode bits of single-axis moves.
//
// Codes 0x80..0x8A are pre-registers: the chip copies them into the running
// registers (0x90..0x97) at the next start command, so a move is prepared
// completely before its start and the move in progress is not disturbed.
// A register is read by its write code + 0x40.
#pragma once

#include <cstdint>

#include "core/shared_registers.h"

namespace kpx::motion {

constexpr uint32_t Bit(unsigned n) { return 1u << n; }

// ---- Pre-registers of the next move -----------------------------------------
inline constexpr uint16_t kPclDistancePre = 0x80;        // signed distance of a point move (32-bit)
inline constexpr uint16_t kPclStartSpeedPre = 0x81;      // start speed, speed units
inline constexpr uint16_t kPclMaxSpeedPre = 0x82;        // running speed, speed units
inline constexpr uint16_t kPclAccelRatePre = 0x83;       // acceleration rate
inline constexpr uint16_t kPclDecelRatePre = 0x84;       // deceleration rate
inline constexpr uint16_t kPclMagnificationPre = 0x85;   // magnification code (size of a speed unit)
inline constexpr uint16_t kPclRampDownPointPre = 0x86;   // distance before the end where deceleration starts
inline constexpr uint16_t kPclSAccelSectionPre = 0x89;   // S section of the acceleration
inline constexpr uint16_t kPclSDecelSectionPre = 0x8A;   // S section of the deceleration

// ---- Registers of the move in progress ---------------------------------------
inline constexpr uint16_t kPclDistance = 0x90;           // remaining distance of the running move
inline constexpr uint16_t kPclMaxSpeed = 0x92;           // running speed; changes the speed on the fly
inline constexpr uint16_t kPclDecelRate = 0x94;          // deceleration rate of the running move
inline constexpr uint16_t kPclMagnificationRead = 0xD5;  // magnification of the running move
inline constexpr uint16_t kPclLogicalPositionWrite = 0xA3;  // command position counter
inline constexpr uint16_t kPclLogicalPositionRead = 0xE3;
inline constexpr uint16_t kPclExtendedStatusRead = 0xF1;    // extended status word
inline constexpr uint16_t kPclPresentSpeedRead = 0xF5;      // output speed now, in units of 0xD5

// ---- Commands ----------------------------------------------------------------
inline constexpr uint16_t kPclStartAccelerating = 0x53;  // start with the ramps of the loaded profile
inline constexpr uint16_t kPclStartConstant = 0x50;      // start at the start speed, no ramp
inline constexpr uint16_t kPclStopDecelerating = 0x4A;   // ramp down to a stop
inline constexpr uint16_t kPclStopImmediate = 0x49;      // stop at once
inline constexpr uint16_t kPclStopSimultaneous = 0x07;   // stop of the synchronous-stop mechanism

// ---- Operation-mode word (0x87 pre-register, 0x97 / 0xD7 running) ------------
inline constexpr uint32_t kModeField = 0x7Fu;               // bits 0-6: the move mode
inline constexpr uint32_t kModePointMove = 0x41u;           // move over the signed distance in 0x80
inline constexpr uint32_t kModeContinuousPositive = 0x00u;  // run in + until stopped
inline constexpr uint32_t kModeContinuousNegative = 0x08u;  // run in - until stopped
inline constexpr uint32_t kModeSCurve = Bit(10);            // S-shaped ramps (S sections apply)
inline constexpr uint32_t kModeRampDownPoint = Bit(13);     // decelerate at the distance in 0x86
inline constexpr uint32_t kModeBit15 = Bit(15);             // cleared by the symmetric trapezoidal move only
inline constexpr uint32_t kModeBit26 = Bit(26);             // always written 0 by the moves

// Bits a move keeps of the mode word it read back. The bits of the mode
// value are kept too; they are ORed in again anyway.
constexpr uint32_t KeepMask(uint32_t cleared, uint32_t value) { return ~cleared | value; }

inline constexpr uint32_t kTPmoveValue = kModePointMove;
inline constexpr uint32_t kTPmoveMask =
    KeepMask(kModeField | kModeSCurve | kModeRampDownPoint | kModeBit15 | kModeBit26, kTPmoveValue);
inline constexpr uint32_t kSPmoveValue = kModePointMove | kModeSCurve;
inline constexpr uint32_t kSPmoveMask =
    KeepMask(kModeField | kModeSCurve | kModeRampDownPoint | kModeBit26, kSPmoveValue);
inline constexpr uint32_t kExTPmoveValue = kModePointMove | kModeRampDownPoint;
inline constexpr uint32_t kExTPmoveMask =
    KeepMask(kModeField | kModeSCurve | kModeRampDownPoint | kModeBit26, kExTPmoveValue);
inline constexpr uint32_t kExSPmoveValue = kModePointMove | kModeSCurve | kModeRampDownPoint;
inline constexpr uint32_t kExSPmoveMask =
    KeepMask(kModeField | kModeSCurve | kModeRampDownPoint | kModeBit26, kExSPmoveValue);
// Continuous moves clear the mode field, both ramp bits and bit 26 outright.
inline constexpr uint32_t kVmoveMask = ~(kModeField | kModeSCurve | kModeRampDownPoint | kModeBit26);

static_assert(kTPmoveMask == 0xFBFF5BC1u);
static_assert(kSPmoveMask == 0xFBFFDFC1u);
static_assert(kExTPmoveMask == 0xFBFFFBC1u);
static_assert(kExSPmoveMask == 0xFBFFFFC1u);
static_assert(kVmoveMask == 0xFBFFDB80u);

// Status bits.
inline constexpr uint16_t kMainStatusBusy = 0x0003;         // bits 0-1: both 0 once the axis stopped
inline constexpr uint16_t kMainStatusPrebufferFull = 0x4000;  // bit 14: a further move waits
inline constexpr uint16_t kSubStatusSignals = 0xFF00;       // bits 8-15: the axis's input signals

}  // namespace kpx::motion
