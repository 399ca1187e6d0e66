// The library-wide card state: which cards are open, how often the library
// was initialised, whether register access is enabled, and the one lock that
// serialises every register access.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/card_record.h"

namespace kpx::core {

inline constexpr uint16_t kCardTableSize = 16;

// Slot i holds the open card i, or null. Slots are read without the lock by
// every accessor, so they are atomic.
extern std::atomic<device::CardRecord *> CardTable[kCardTableSize];
// Number of cards the last scan reported (at most kCardTableSize).
extern uint16_t CardCount;
// k4160_board_init calls past the scan not yet matched by k4160_board_close.
extern uint32_t InitCount;
// Non-zero while registers may be touched.
extern std::atomic<uint32_t> LibraryInitialised;

// The process-wide re-entrant lock of every register access. One lock serves
// the whole life of the process; it is never destroyed while loaded.
std::recursive_mutex &RegisterLock();

// The open card in slot `card`, or null for an empty slot, a card number
// outside the table, or a library that is not initialised.
device::CardRecord *UsableCard(uint16_t card);

// Counts one initialisation in; the first one enables register access.
uint32_t LibraryEnter();
// Counts one initialisation out; returns the new count.
uint32_t LibraryLeave();

}  // namespace kpx::core
