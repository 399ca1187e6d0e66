// What the library keeps of one open card: its own driver handle, the
// driver's registration and interrupt records, the PCI slot, and which of the
// six base address registers are memory-mapped or port I/O spaces.
#pragma once

#include <cstdint>

#include "device/driver_backend.h"
#include "device/driver_records.h"

namespace kpx::device {

inline constexpr uint32_t kAddressSpaceCount = 6;  // PCI base address registers 0..5

struct AddressSpaceEntry {
  uint32_t item_index;  // resource item that describes the space
  uint32_t is_memory;   // 1: mapped into user memory, accessed directly
  uint32_t is_active;   // 1: the card has this space (memory or I/O)
};

struct CardRecord;

// A running interrupt service (owned by the interrupt subsystem). The device
// layer only knows how to ask it to stop when the card is closed.
struct InterruptServiceLink {
  void *service;                          // empty while interrupts are off
  void (*stop)(CardRecord &card);         // ends the service and its thread
};

struct CardRecord {
  DriverHandle driver;
  alignas(8) uint8_t interrupt_request[kInterruptRecordSize];
  InterruptServiceLink interrupt_service;
  // Run by the interrupt thread for every interrupt, with the interrupt
  // count, lost count and wait outcome the driver left in interrupt_request.
  void (*interrupt_handler)(CardRecord &card, uint32_t count, uint32_t lost, uint32_t outcome);
  uint32_t bus, slot, function;
  AddressSpaceEntry spaces[kAddressSpaceCount];
  alignas(8) uint8_t registration[kRegistrationRecordSize];
};

// Byte address of resource item i of the card's registration record.
inline const uint8_t *ResourceItem(const CardRecord &card, uint32_t i) {
  return card.registration + kRegistrationOffResources + kResourceOffFirstItem + kResourceItemSize * i;
}

}  // namespace kpx::device
