// The PCI device layer: the library's only contact with the kernel driver.
#pragma once

#include <cstdint>

#include "device/card_record.h"

namespace kpx::device {

// Issues one driver request. With own_handle the request is made on a handle
// opened for it alone and closed afterwards (the interrupt wait is made this
// way, so it never blocks the card's own handle). Returns the driver status,
// 0x20000000 if the driver wrote none, 0xFFFFFFFF if no handle could be used.
uint32_t DriverRequest(uint32_t request_code, DriverHandle handle, void *record, uint32_t record_size,
                       bool own_handle);

// Number of cards with these IDs on the bus; 0 on any failure (reason in ErrorText).
uint32_t CountCards(uint32_t vendor_id, uint32_t device_id);
// Opens card `index` of the scan: 1 and the record, or 0 and null (nothing left open).
int32_t OpenCard(CardRecord *&out, uint32_t vendor_id, uint32_t device_id, uint32_t index);
// Stops the card's interrupt service, if one runs, and waits for its thread.
void StopCardInterrupts(CardRecord &card);
// Stops the card's interrupt service if any, releases the card and frees the record.
void CloseCard(CardRecord *card);
// Fills the address-space table and the interrupt handle; true if the card is usable.
bool CheckCardResources(CardRecord &card);

// One 4-byte access to the card's PCI configuration space.
uint32_t ReadConfigDword(CardRecord &card, uint32_t offset);
void WriteConfigDword(CardRecord &card, uint32_t offset, uint32_t value);

// Waits ms milliseconds on the back end's clock.
void DevicePause(uint32_t milliseconds);

}  // namespace kpx::device
