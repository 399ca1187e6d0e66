// Conversions between user units and pulses through an axis's pulse
// equivalent e (pulses per user unit). Positions and distances become whole
// pulses by truncation toward zero, so a product just below a whole number
// stays below it (0.29 x 100 is 28.999999999999996: 28 pulses); speeds stay
// doubles.
#pragma once

#include <cstdint>
#include <optional>

#include "motion/conversions.h"

namespace kpx::units {

// The axis's equivalent, read through k4160_get_equiv(); nothing for an axis
// that has no record (30 and above).
std::optional<double> EquivalentOf(uint16_t axis);

inline int32_t UnitsToPulses(double value, double equiv) { return motion::Trunc32(value * equiv); }
// Whole user units (the point moves and lines take them as integers).
inline int32_t UnitsToPulses(int32_t value, double equiv) { return UnitsToPulses(static_cast<double>(value), equiv); }
inline double PulsesToUnits(int32_t pulses, double equiv) { return static_cast<double>(pulses) / equiv; }
inline double SpeedToPulses(double speed, double equiv) { return speed * equiv; }
inline double SpeedToUnits(double speed, double equiv) { return speed / equiv; }

// Results of the _unitmm family.
inline constexpr int32_t kUnitsDone = 1;
inline constexpr int32_t kUnitsRefused = 0;       // axis without a record: nothing touched
inline constexpr int32_t kUnitsNullPointer = -1;  // output pointer missing: nothing read

}  // namespace kpx::units
