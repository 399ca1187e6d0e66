#include "core/board_defaults.h"

#include "kpx4160.h"

namespace kpx::core {

void ApplyCardDefaults(uint16_t card) {
  (void)card;
  // @@card-defaults (latch mode)
}

void ApplyAxisDefaults(uint16_t card, uint16_t chip_axis) {
  const uint16_t axis = static_cast<uint16_t>(2 * card + chip_axis);
  (void)axis;
  // @@axis-defaults-outputs (outputs 15-20 on)
  // @@axis-defaults-profile (automatic speed range, profile 1000/2000/0.1/0.1)
  // @@axis-defaults-signals (handwheel input, home mode, synchronisation)
  // @@axis-defaults-units (pulse equivalent, counter source)
}

void ApplyLibraryDefaults() {
  // @@library-defaults (vector profile)
}

void ApplyResetDefaults(uint16_t card, uint16_t chip_axis) {
  const uint16_t axis = static_cast<uint16_t>(2 * card + chip_axis);
  (void)axis;
  // @@reset-defaults (automatic speed range, pulse equivalent)
}

}  // namespace kpx::core
