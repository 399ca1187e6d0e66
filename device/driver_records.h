// Request codes and record layouts of the kernel driver that maps the card's
// PCI resources to user mode. Every back end speaks these records: the
// Windows back end hands them to the driver unchanged, the others (the
// simulated card, Linux sysfs/UIO) decode them. Offsets are bytes into the
// record; all fields are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

namespace kpx::device {

// ---- Request codes (one per driver operation) -------------------------------
inline constexpr uint32_t kRequestVersion = 0x95383443;          // driver version query
inline constexpr uint32_t kRequestPciScan = 0x9538368f;          // scan the bus by vendor/device ID
inline constexpr uint32_t kRequestCardInfo = 0x953837a3;         // resources of one slot
inline constexpr uint32_t kRequestCardRegister = 0x9538379b;     // register (lock) a card, map memory
inline constexpr uint32_t kRequestCardUnregister = 0x9538379f;   // release a registered card
inline constexpr uint32_t kRequestTransfer = 0x95383633;         // one port read or write
inline constexpr uint32_t kRequestConfigAccess = 0x9538346b;     // PCI configuration space dword
inline constexpr uint32_t kRequestInterruptEnable = 0x953836db;  // arm the card's interrupt
inline constexpr uint32_t kRequestInterruptWait = 0x953836e7;    // block until an interrupt
inline constexpr uint32_t kRequestInterruptDisable = 0x953836ef; // disarm; wakes a pending wait

// Status the request path reports when the driver wrote none.
inline constexpr uint32_t kStatusNotSet = 0x20000000;
// Status of a request made on an invalid handle.
inline constexpr uint32_t kStatusInvalidHandle = 0xFFFFFFFF;

// Oldest driver version (major x 100 + minor) the library works with.
inline constexpr uint32_t kMinimumDriverVersion = 1230;

// ---- Version record ---------------------------------------------------------
inline constexpr uint32_t kVersionRecordSize = 132;
inline constexpr uint32_t kVersionOffVersion = 0;  // u32 major x 100 + minor

// ---- Resource description (inside card-info and registration records) -------
inline constexpr uint32_t kResourceDescriptionSize = 1128;
inline constexpr uint32_t kResourceOffItemCount = 0;  // u32
inline constexpr uint32_t kResourceOffFirstItem = 8;
inline constexpr uint32_t kResourceItemSize = 56;
inline constexpr uint32_t kResourceMaxItems = 20;
// ResourceItem fields
inline constexpr uint32_t kItemOffType = 0;              // u32, one of kItemType*
inline constexpr uint32_t kItemOffInterruptHandle = 16;  // u32 (interrupt items)
inline constexpr uint32_t kItemOffMemoryPhysical = 8;      // u64 bus address (memory items)
inline constexpr uint32_t kItemOffMemoryLength = 16;       // u64 bytes of the space (memory items)
inline constexpr uint32_t kItemOffMemoryUserAddress = 32;  // u64 (memory items)
inline constexpr uint32_t kItemOffMemoryBar = 40;          // u32 (memory items)
inline constexpr uint32_t kItemOffIoPortAddress = 8;       // u64 (I/O items)
inline constexpr uint32_t kItemOffIoLength = 16;           // u32 bytes of the space (I/O items)
inline constexpr uint32_t kItemOffIoBar = 20;              // u32 (I/O items)
inline constexpr uint32_t kItemTypeInterrupt = 1;
inline constexpr uint32_t kItemTypeMemory = 2;
inline constexpr uint32_t kItemTypeIo = 3;

// ---- PCI scan record --------------------------------------------------------
inline constexpr uint32_t kScanRecordSize = 2016;
inline constexpr uint32_t kScanOffVendor = 0;     // u32 in
inline constexpr uint32_t kScanOffDevice = 4;     // u32 in
inline constexpr uint32_t kScanOffCardCount = 8;  // u32 out
inline constexpr uint32_t kScanOffFirstSlot = 812;  // 3 x u32 per card: bus, slot, function
inline constexpr uint32_t kScanSlotSize = 12;
inline constexpr uint32_t kScanMaxCards = 100;

// ---- Card-info record -------------------------------------------------------
inline constexpr uint32_t kCardInfoRecordSize = 1144;
inline constexpr uint32_t kCardInfoOffBus = 0;
inline constexpr uint32_t kCardInfoOffSlot = 4;
inline constexpr uint32_t kCardInfoOffFunction = 8;
inline constexpr uint32_t kCardInfoOffResources = 16;  // resource description

// ---- Registration record ----------------------------------------------------
inline constexpr uint32_t kRegistrationRecordSize = 1272;
inline constexpr uint32_t kRegistrationOffResources = 0;  // resource description
inline constexpr uint32_t kRegistrationOffOptions = 1128;  // u32, library writes 0
inline constexpr uint32_t kRegistrationOffCardHandle = 1132;  // u32 out, non-zero

// ---- Transfer record ----------------------------------------------------------
inline constexpr uint32_t kTransferRecordSize = 32;
inline constexpr uint32_t kTransferOffAddress = 0;    // u64 port address
inline constexpr uint32_t kTransferOffKind = 8;       // u32, one of kTransfer*
inline constexpr uint32_t kTransferOffBytes = 12;     // u32, 2 or 4
inline constexpr uint32_t kTransferOffAutoInc = 16;   // u32, 1
inline constexpr uint32_t kTransferOffOptions = 20;   // u32, 0
inline constexpr uint32_t kTransferOffBuffer = 24;    // u64 pointer to the data
inline constexpr uint32_t kTransferRead16 = 21;
inline constexpr uint32_t kTransferRead32 = 22;
inline constexpr uint32_t kTransferWrite16 = 24;
inline constexpr uint32_t kTransferWrite32 = 25;

// ---- Configuration-access record --------------------------------------------
inline constexpr uint32_t kConfigRecordSize = 40;
inline constexpr uint32_t kConfigOffBus = 0;
inline constexpr uint32_t kConfigOffSlot = 4;
inline constexpr uint32_t kConfigOffFunction = 8;
inline constexpr uint32_t kConfigOffBuffer = 16;    // u64 pointer to 4 bytes
inline constexpr uint32_t kConfigOffOffset = 24;    // u32 byte offset in config space
inline constexpr uint32_t kConfigOffBytes = 28;     // u32, 4
inline constexpr uint32_t kConfigOffReadFlag = 32;  // u32, 1 read / 0 write
inline constexpr uint32_t kConfigOffResult = 36;    // u32, 0

// ---- Interrupt record -------------------------------------------------------
inline constexpr uint32_t kInterruptRecordSize = 72;
inline constexpr uint32_t kInterruptOffHandle = 0;       // u32
inline constexpr uint32_t kInterruptOffCount = 52;       // u32 interrupts so far
inline constexpr uint32_t kInterruptOffLost = 56;        // u32 interrupts lost
inline constexpr uint32_t kInterruptOffOutcome = 60;     // u32, see below
inline constexpr uint32_t kInterruptOutcomeDisabled = 1;  // interrupts were disabled
inline constexpr uint32_t kInterruptOutcomeNothing = 2;   // woke with nothing to handle
inline constexpr uint32_t kInterruptOutcomeRaised = 0;    // any other value: an interrupt

// ---- Little-endian field access ---------------------------------------------
inline uint32_t GetU32(const void *record, uint32_t off) {
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t *>(record) + off, sizeof v);
  return v;
}
inline uint64_t GetU64(const void *record, uint32_t off) {
  uint64_t v;
  std::memcpy(&v, static_cast<const uint8_t *>(record) + off, sizeof v);
  return v;
}
inline void PutU32(void *record, uint32_t off, uint32_t v) {
  std::memcpy(static_cast<uint8_t *>(record) + off, &v, sizeof v);
}
inline void PutU64(void *record, uint32_t off, uint64_t v) {
  std::memcpy(static_cast<uint8_t *>(record) + off, &v, sizeof v);
}

}  // namespace kpx::device
