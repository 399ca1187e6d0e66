// Turns speeds (pulses/s) and ramp times (s) into the chip's speed-register
// values, keeps them in the axis's AxisProfile record and writes them.
//
// The chip ramps linearly by one speed unit per (rate + 1) x 2 / 19660800 s
// per unit of span for a trapezoid; an S ramp with section S takes
// (rate + 1) x (span + 2 S) / 9830400 s. The rates below invert those laws.
#pragma once

#include <cstdint>

namespace kpx::motion {

// Trapezoidal profile: updates the record of (card, chip axis), writes no
// register. Does nothing for a pair beyond the record table.
void ComputeTrapezoidProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed,
                             double accel_time, double decel_time);
// S-curve profile with the S sections given as speeds in pulses/s.
void ComputeSProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed, double accel_time,
                     double decel_time, int32_t s_accel_speed, int32_t s_decel_speed);
// S-curve profile with the S sections given as times in seconds.
void ComputeSTimeProfile(uint16_t card, uint16_t chip_axis, double start_speed, double max_speed,
                         double accel_time, double decel_time, double s_accel_time, double s_decel_time);

// Write the cached values to the speed pre-registers, one locked write each,
// magnification last: 0x81 0x82 0x83 0x84 0x85, respectively
// 0x81 0x82 0x83 0x84 0x89 0x8A 0x85. Nothing for a pair beyond the table.
void WriteProfileRegisters(uint16_t card, uint16_t chip_axis);
void WriteSProfileRegisters(uint16_t card, uint16_t chip_axis);

}  // namespace kpx::motion
