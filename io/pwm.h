// Counts of the card's two PWM outputs, from a frequency and a duty cycle.
#pragma once

#include <cstdint>

namespace kpx::io {

struct PwmCounts {
  uint32_t period;  // PWM clock counts per period
  uint32_t high;    // counts of the high time
};

// The PWM clock runs at 33.4878 MHz; the frequency is clamped to
// 1000..180000 Hz. A duty of 0 or less gives a high time of 1 count, 1 or
// more gives period - 1, and a duty in between the truncated fraction of
// the period. NaN passes neither clamp nor comparison: a NaN frequency
// gives a period of 0x80000000 (the conversion of a non-finite value), a
// NaN duty a high count of 0x80000000.
PwmCounts ComputePwmCounts(double frequency, double duty);

}  // namespace kpx::io
