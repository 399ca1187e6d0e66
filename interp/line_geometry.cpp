#include "interp/line_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kpx::interp {

LineSplit SplitLine(int32_t d1, int32_t d2) {
  // Magnitudes in 64 bits: |-2147483648| does not fit 32 signed bits.
  const double a = static_cast<double>(std::llabs(static_cast<long long>(d1)));
  const double b = static_cast<double>(std::llabs(static_cast<long long>(d2)));
  const double big = std::max(a, b);
  double length;
  if (a == 0.0) {
    length = b;
  } else if (b == 0.0) {
    length = a;
  } else {
    // Scaled form of sqrt(a^2 + b^2): no square of a large distance.
    const double small = std::min(a, b);
    const double ratio = small / big;
    length = big * std::sqrt(ratio * ratio + 1.0);
  }
  if (length == 0.0) length = 1.0;
  return {static_cast<uint32_t>(big), length, big / length};
}

}  // namespace kpx::interp
