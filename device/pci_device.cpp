// Finding, opening and releasing cards, and configuration-space access.
#include "device/pci_device.h"

#include <new>

#include "device/error_text.h"
#include "device/status_text.h"

namespace kpx::device {
namespace {

struct ScanResult {
  uint32_t status;
  alignas(8) uint8_t record[kScanRecordSize];
};

// Version query on an open handle. Writes the refusal message and returns
// false when the driver is older than the library needs.
bool DriverVersionAccepted(DriverHandle handle) {
  alignas(8) uint8_t record[kVersionRecordSize] = {};
  DriverRequest(kRequestVersion, handle, record, sizeof record, false);
  const uint32_t version = GetU32(record, kVersionOffVersion);
  if (version >= kMinimumDriverVersion) return true;
  SetErrorText("Incorrect WinDriver version. Expected %d.%02d, got %d.%02d\n", 12, 30,
               static_cast<int>(version / 100), static_cast<int>(version % 100));
  return false;
}

// PCI scan by IDs; the record is zero-filled first, so a failed scan reads
// as zero cards.
void ScanBus(DriverHandle handle, uint32_t vendor_id, uint32_t device_id, ScanResult &scan) {
  for (uint8_t &b : scan.record) b = 0;
  PutU32(scan.record, kScanOffVendor, vendor_id);
  PutU32(scan.record, kScanOffDevice, device_id);
  scan.status = DriverRequest(kRequestPciScan, handle, scan.record, sizeof scan.record, false);
}

uint32_t ScanCardCount(const ScanResult &scan) { return GetU32(scan.record, kScanOffCardCount); }

void ReleaseAndFree(CardRecord *card) {
  if (GetU32(card->registration, kRegistrationOffCardHandle) != 0)
    DriverRequest(kRequestCardUnregister, card->driver, card->registration, sizeof card->registration, false);
  if (card->driver != kInvalidDriverHandle) {
    const DriverBackend &backend = ActiveDriverBackend();
    backend.close_device(backend.context, card->driver);
  }
  delete card;
}

}  // namespace

uint32_t CountCards(uint32_t vendor_id, uint32_t device_id) {
  ClearErrorText();
  const DriverBackend &backend = ActiveDriverBackend();
  const DriverHandle handle = backend.open_device(backend.context);
  if (handle == kInvalidDriverHandle) {
    if (ErrorText()[0] == '\0') SetErrorText("Failed opening WinDriver device\n");  // unless the back end said why
    return 0;
  }
  if (!DriverVersionAccepted(handle)) {
    backend.close_device(backend.context, handle);
    return 0;
  }
  auto *scan = new (std::nothrow) ScanResult;
  if (scan == nullptr) {
    backend.close_device(backend.context, handle);
    SetErrorText("Failed allocating memory\n");
    return 0;
  }
  ScanBus(handle, vendor_id, device_id, *scan);
  backend.close_device(backend.context, handle);
  if (scan->status != 0)
    SetErrorText("WD_PciScanCards() failed with status 0x%x - %s\n", scan->status, StatusText(scan->status));
  else if (ScanCardCount(*scan) == 0)
    SetErrorText("no cards found\n");
  const uint32_t count = ScanCardCount(*scan);
  delete scan;
  return count;
}

int32_t OpenCard(CardRecord *&out, uint32_t vendor_id, uint32_t device_id, uint32_t index) {
  out = nullptr;
  ClearErrorText();
  auto *card = new (std::nothrow) CardRecord{};
  if (card == nullptr) {
    SetErrorText("Failed allocating memory\n");
    return 0;
  }
  const DriverBackend &backend = ActiveDriverBackend();
  card->driver = backend.open_device(backend.context);
  if (card->driver == kInvalidDriverHandle) {
    if (ErrorText()[0] == '\0') SetErrorText("Failed opening WinDriver device\n");  // unless the back end said why
    ReleaseAndFree(card);
    return 0;
  }
  if (!DriverVersionAccepted(card->driver)) {
    ReleaseAndFree(card);
    return 0;
  }
  auto *scan = new (std::nothrow) ScanResult;
  if (scan == nullptr) {
    SetErrorText("Failed allocating memory\n");
    ReleaseAndFree(card);
    return 0;
  }
  ScanBus(card->driver, vendor_id, device_id, *scan);
  const uint32_t found = ScanCardCount(*scan);
  bool ok = false;
  if (scan->status != 0)
    SetErrorText("WD_PciScanCards() failed with status 0x%x - %s\n", scan->status, StatusText(scan->status));
  else if (found == 0)
    SetErrorText("Could not find PCI card\n");
  else if (found <= index || index >= kScanMaxCards)
    SetErrorText("Card is out of range of available cards\n");
  else
    ok = true;
  uint32_t bus = 0, slot = 0, function = 0;
  if (ok) {
    const uint32_t at = kScanOffFirstSlot + kScanSlotSize * index;
    bus = GetU32(scan->record, at);
    slot = GetU32(scan->record, at + 4);
    function = GetU32(scan->record, at + 8);
  }
  delete scan;
  if (!ok) {
    ReleaseAndFree(card);
    return 0;
  }

  alignas(8) uint8_t info[kCardInfoRecordSize] = {};
  PutU32(info, kCardInfoOffBus, bus);
  PutU32(info, kCardInfoOffSlot, slot);
  PutU32(info, kCardInfoOffFunction, function);
  const uint32_t info_status = DriverRequest(kRequestCardInfo, card->driver, info, sizeof info, false);
  if (info_status != 0) {
    SetErrorText("WD_PciGetCardInfo() failed with status 0x%x - %s\n", info_status, StatusText(info_status));
    ReleaseAndFree(card);
    return 0;
  }

  card->bus = bus;
  card->slot = slot;
  card->function = function;
  for (uint32_t i = 0; i < kResourceDescriptionSize; ++i)
    card->registration[kRegistrationOffResources + i] = info[kCardInfoOffResources + i];
  PutU32(card->registration, kRegistrationOffOptions, 0);
  const uint32_t reg_status =
      DriverRequest(kRequestCardRegister, card->driver, card->registration, sizeof card->registration, false);
  if (reg_status != 0) {
    SetErrorText("Failed locking device. Status 0x%x - %s\n", reg_status, StatusText(reg_status));
    ReleaseAndFree(card);
    return 0;
  }
  if (!CheckCardResources(*card)) {
    SetErrorText("Card does not have all items expected for KPX4X60\n");
    ReleaseAndFree(card);
    return 0;
  }
  out = card;
  return 1;
}

bool CheckCardResources(CardRecord &card) {
  for (uint8_t &b : card.interrupt_request) b = 0;
  card.interrupt_service = {};
  card.interrupt_handler = nullptr;
  for (AddressSpaceEntry &e : card.spaces) e = {};

  // A driver may report any count; only the 20 items the record holds exist.
  uint32_t items = GetU32(card.registration, kRegistrationOffResources + kResourceOffItemCount);
  if (items > kResourceMaxItems) items = kResourceMaxItems;
  for (uint32_t i = 0; i < items; ++i) {
    const uint8_t *item = ResourceItem(card, i);
    switch (GetU32(item, kItemOffType)) {
      case kItemTypeInterrupt:
        if (GetU32(card.interrupt_request, kInterruptOffHandle) != 0) return false;  // a second interrupt
        PutU32(card.interrupt_request, kInterruptOffHandle, GetU32(item, kItemOffInterruptHandle));
        break;
      case kItemTypeMemory: {
        // A base address register number above 5 names no space: the item is ignored.
        const uint32_t bar = GetU32(item, kItemOffMemoryBar);
        if (bar < kAddressSpaceCount) card.spaces[bar] = {i, 1, 1};
        break;
      }
      case kItemTypeIo: {
        const uint32_t bar = GetU32(item, kItemOffIoBar);
        if (bar < kAddressSpaceCount) card.spaces[bar] = {i, 0, 1};
        break;
      }
      default:
        break;
    }
  }
  if (GetU32(card.interrupt_request, kInterruptOffHandle) == 0) return false;
  for (const AddressSpaceEntry &e : card.spaces)
    if (e.is_active) return true;
  return false;
}

void StopCardInterrupts(CardRecord &card) {
  if (card.interrupt_service.service != nullptr && card.interrupt_service.stop != nullptr) {
    card.interrupt_service.stop(card);
    card.interrupt_service.service = nullptr;
  }
}

void CloseCard(CardRecord *card) {
  if (card == nullptr) return;
  StopCardInterrupts(*card);
  ReleaseAndFree(card);
}

namespace {
void ConfigAccess(CardRecord &card, uint32_t offset, uint32_t *buffer, bool read) {
  alignas(8) uint8_t record[kConfigRecordSize] = {};
  PutU32(record, kConfigOffBus, card.bus);
  PutU32(record, kConfigOffSlot, card.slot);
  PutU32(record, kConfigOffFunction, card.function);
  PutU64(record, kConfigOffBuffer, reinterpret_cast<uintptr_t>(buffer));
  PutU32(record, kConfigOffOffset, offset);
  PutU32(record, kConfigOffBytes, 4);
  PutU32(record, kConfigOffReadFlag, read ? 1 : 0);
  PutU32(record, kConfigOffResult, 0);
  DriverRequest(kRequestConfigAccess, card.driver, record, sizeof record, false);
}
}  // namespace

uint32_t ReadConfigDword(CardRecord &card, uint32_t offset) {
  uint32_t value = 0;
  ConfigAccess(card, offset, &value, true);
  return value;
}

void WriteConfigDword(CardRecord &card, uint32_t offset, uint32_t value) {
  ConfigAccess(card, offset, &value, false);
}

}  // namespace kpx::device
