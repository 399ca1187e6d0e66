#include "core/transfer.h"

#include "device/pci_device.h"

namespace kpx::core {
namespace {

using device::CardRecord;

enum class Path { kMemory, kIo, kNone };

Path PathOf(const CardRecord &card, uint32_t space) {
  if (space >= device::kAddressSpaceCount) return Path::kNone;
  const device::AddressSpaceEntry &e = card.spaces[space];
  if (e.is_memory) return Path::kMemory;
  if (e.is_active) return Path::kIo;
  return Path::kNone;
}

// Bytes of the space as the driver described it when the card was opened.
// An access that would reach past them touches some other device's
// registers or unmapped memory, so it is refused: a write does nothing and
// a read returns 0, as a failed transfer does.
uint64_t SpaceLength(const CardRecord &card, uint32_t space) {
  const uint8_t *item = device::ResourceItem(card, card.spaces[space].item_index);
  return card.spaces[space].is_memory ? device::GetU64(item, device::kItemOffMemoryLength)
                                      : device::GetU32(item, device::kItemOffIoLength);
}

bool InsideSpace(const CardRecord &card, uint32_t space, uint32_t offset, uint32_t width) {
  return uint64_t{offset} + width <= SpaceLength(card, space);
}

Path CheckedPathOf(const CardRecord &card, uint32_t space, uint32_t offset, uint32_t width) {
  const Path path = PathOf(card, space);
  return path == Path::kNone || InsideSpace(card, space, offset, width) ? path : Path::kNone;
}

template <typename T>
volatile T *MappedAddress(const CardRecord &card, uint32_t space, uint32_t offset) {
  const uint8_t *item = device::ResourceItem(card, card.spaces[space].item_index);
  const uint64_t base = device::GetU64(item, device::kItemOffMemoryUserAddress);
  return reinterpret_cast<volatile T *>(static_cast<uintptr_t>(base + offset));
}

// One driver transfer request on the card's handle; the status is not examined.
void PortTransfer(CardRecord &card, uint32_t space, uint32_t offset, uint32_t kind, void *buffer, uint32_t bytes) {
  const uint8_t *item = device::ResourceItem(card, card.spaces[space].item_index);
  alignas(8) uint8_t record[device::kTransferRecordSize] = {};
  device::PutU64(record, device::kTransferOffAddress, device::GetU64(item, device::kItemOffIoPortAddress) + offset);
  device::PutU32(record, device::kTransferOffKind, kind);
  device::PutU32(record, device::kTransferOffBytes, bytes);
  device::PutU32(record, device::kTransferOffAutoInc, 1);
  device::PutU32(record, device::kTransferOffOptions, 0);
  device::PutU64(record, device::kTransferOffBuffer, reinterpret_cast<uintptr_t>(buffer));
  device::DriverRequest(device::kRequestTransfer, card.driver, record, sizeof record, false);
}

template <typename T, uint32_t kReadKind>
T ReadSpace(CardRecord &card, uint32_t space, uint32_t offset) {
  switch (CheckedPathOf(card, space, offset, sizeof(T))) {
    case Path::kMemory:
      return *MappedAddress<T>(card, space, offset);
    case Path::kIo: {
      T value = 0;  // a failed transfer reads as 0
      PortTransfer(card, space, offset, kReadKind, &value, sizeof value);
      return value;
    }
    case Path::kNone:
      break;
  }
  return 0;
}

template <typename T, uint32_t kWriteKind>
void WriteSpace(CardRecord &card, uint32_t space, uint32_t offset, T value) {
  switch (CheckedPathOf(card, space, offset, sizeof(T))) {
    case Path::kMemory:
      *MappedAddress<T>(card, space, offset) = value;
      break;
    case Path::kIo:
      PortTransfer(card, space, offset, kWriteKind, &value, sizeof value);
      break;
    case Path::kNone:
      break;
  }
}

}  // namespace

uint16_t ReadSpace16(CardRecord &card, uint32_t space, uint32_t offset) {
  return ReadSpace<uint16_t, device::kTransferRead16>(card, space, offset);
}
uint32_t ReadSpace32(CardRecord &card, uint32_t space, uint32_t offset) {
  return ReadSpace<uint32_t, device::kTransferRead32>(card, space, offset);
}
void WriteSpace16(CardRecord &card, uint32_t space, uint32_t offset, uint16_t value) {
  WriteSpace<uint16_t, device::kTransferWrite16>(card, space, offset, value);
}
void WriteSpace32(CardRecord &card, uint32_t space, uint32_t offset, uint32_t value) {
  WriteSpace<uint32_t, device::kTransferWrite32>(card, space, offset, value);
}

}  // namespace kpx::core
