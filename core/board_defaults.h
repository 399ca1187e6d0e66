// The default state every card, axis and the library get when the cards are
// opened, and the part of it a board reset restores. Each step calls the
// library's own exported setter, so the state after k4160_board_init() is
// exactly what the same calls from the application would give.
#pragma once

#include <cstdint>

namespace kpx::core {

// Once per opened card, after its PLD start-up writes.
void ApplyCardDefaults(uint16_t card);
// Once per chip axis, after its signal-configuration start-up writes.
void ApplyAxisDefaults(uint16_t card, uint16_t chip_axis);
// Once, after every card was opened and set up.
void ApplyLibraryDefaults();
// Once per chip axis during k4160_board_rest().
void ApplyResetDefaults(uint16_t card, uint16_t chip_axis);

}  // namespace kpx::core
