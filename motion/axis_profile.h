// The library's copy of each axis's speed registers and speed-range state.
//
// The chip's speed pre-registers are write-only as far as the library is
// concerned: every move, stop and speed change that needs a speed value takes
// it from here. The records are plain data without a lock; one axis is
// configured from one thread at a time.
#pragma once

#include <cstdint>

namespace kpx::motion {

// Room for 15 cards of two axes; axis numbers of 30 and above have no record.
inline constexpr uint16_t kAxisProfileCount = 30;

struct AxisProfile {
  uint16_t start_speed;      // start speed in speed units, 1..16383 (pre-register 0x81)
  uint16_t max_speed;        // running speed in speed units, 1..16383 (0x82)
  uint16_t accel_rate;       // acceleration rate, 1..16383 (0x83)
  uint16_t decel_rate;       // deceleration rate, 1..16383 (0x84)
  uint16_t magnification;    // magnification code (0x85)
  uint16_t s_accel_section;  // S section of the acceleration in speed units, 0 until first S profile (0x89)
  uint16_t s_decel_section;  // S section of the deceleration (0x8A)
  uint32_t ramp_down_point;  // deceleration distance of an asymmetric move, <= 0xFFFFFF (0x86)
  double speed_unit;         // pulses/s per count of the range in force
  double fixed_speed_unit;   // unit of the fixed range, set only by the fixed-range functions
  double fixed_max_speed;    // top speed of the fixed range, at most 6553600 pulses/s
  uint16_t range_mode;       // 1: range fixed for the axis; 0: chosen by every profile computation
  uint16_t count_source;     // position source of the older command set
  double pulse_equivalent;   // pulses per user unit of the unit-scaled functions
};

// The four values every interpolated move uses.
struct VectorProfile {
  double start_speed;  // pulses/s
  double max_speed;    // pulses/s
  double accel_time;   // s
  double decel_time;   // s (stored, read by nobody)
};

// The record of an axis (card x 2 + chip axis), or null for axis >= 30.
AxisProfile *ProfileFor(uint16_t axis);
// The same by card and chip axis; null when the pair lies beyond the table.
AxisProfile *ProfileFor(uint16_t card, uint16_t chip_axis);

// The library-wide vector profile.
VectorProfile &TheVectorProfile();

// Back to the load-time state: every record and the vector profile zero.
// The library never calls it; tests use it to start from a fresh table.
void ClearAllProfiles();

}  // namespace kpx::motion
