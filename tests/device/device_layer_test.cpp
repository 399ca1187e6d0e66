// The device layer against the simulated driver: the driver's own numbers,
// its status texts, scan, open and every refusal, the resource check, and the
// request records.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "device/status_text.h"
#include "support/sim_fixture.h"

namespace kpx::test {
namespace {

using device::CardRecord;
using device::ErrorText;

constexpr uint32_t kVendor = 0x0003, kDevice = 0x4160;

class DeviceLayer : public SimTest {};

// The driver is not ours: its request codes and record layouts are fixed by
// the installed driver binary. The simulated driver reads the same header as
// the library, so a wrong number there would be wrong on both sides and pass
// every other test; here they are written out as the driver defines them.
TEST_F(DeviceLayer, RequestCodesAndRecordLayoutAreTheDriversNumbers) {
#define PIN(name, value) {#name, device::name, value}
  const struct { const char *name; uint64_t ours, drivers; } pins[] = {
      PIN(kRequestVersion, 0x95383443), PIN(kRequestPciScan, 0x9538368f), PIN(kRequestCardInfo, 0x953837a3),
      PIN(kRequestCardRegister, 0x9538379b), PIN(kRequestCardUnregister, 0x9538379f),
      PIN(kRequestTransfer, 0x95383633), PIN(kRequestConfigAccess, 0x9538346b),
      PIN(kRequestInterruptEnable, 0x953836db), PIN(kRequestInterruptWait, 0x953836e7),
      PIN(kRequestInterruptDisable, 0x953836ef), PIN(kStatusNotSet, 0x20000000), PIN(kStatusInvalidHandle, 0xFFFFFFFF),
      PIN(kMinimumDriverVersion, 1230), PIN(kVersionRecordSize, 132), PIN(kVersionOffVersion, 0),
      PIN(kResourceDescriptionSize, 1128), PIN(kResourceOffItemCount, 0), PIN(kResourceOffFirstItem, 8),
      PIN(kResourceItemSize, 56), PIN(kResourceMaxItems, 20), PIN(kItemOffType, 0), PIN(kItemOffInterruptHandle, 16),
      PIN(kItemOffMemoryUserAddress, 32), PIN(kItemOffMemoryBar, 40), PIN(kItemOffIoPortAddress, 8),
      PIN(kItemOffIoBar, 20), PIN(kItemTypeInterrupt, 1), PIN(kItemTypeMemory, 2), PIN(kItemTypeIo, 3),
      PIN(kScanRecordSize, 2016), PIN(kScanOffVendor, 0), PIN(kScanOffDevice, 4), PIN(kScanOffCardCount, 8),
      PIN(kScanOffFirstSlot, 812), PIN(kScanSlotSize, 12), PIN(kScanMaxCards, 100), PIN(kCardInfoRecordSize, 1144),
      PIN(kCardInfoOffBus, 0), PIN(kCardInfoOffSlot, 4), PIN(kCardInfoOffFunction, 8), PIN(kCardInfoOffResources, 16),
      PIN(kRegistrationRecordSize, 1272), PIN(kRegistrationOffResources, 0), PIN(kRegistrationOffOptions, 1128),
      PIN(kRegistrationOffCardHandle, 1132), PIN(kTransferRecordSize, 32), PIN(kTransferOffAddress, 0),
      PIN(kTransferOffKind, 8), PIN(kTransferOffBytes, 12), PIN(kTransferOffAutoInc, 16), PIN(kTransferOffOptions, 20),
      PIN(kTransferOffBuffer, 24), PIN(kTransferRead16, 21), PIN(kTransferRead32, 22), PIN(kTransferWrite16, 24),
      PIN(kTransferWrite32, 25), PIN(kConfigRecordSize, 40), PIN(kConfigOffBus, 0), PIN(kConfigOffSlot, 4),
      PIN(kConfigOffFunction, 8), PIN(kConfigOffBuffer, 16), PIN(kConfigOffOffset, 24), PIN(kConfigOffBytes, 28),
      PIN(kConfigOffReadFlag, 32), PIN(kConfigOffResult, 36), PIN(kInterruptRecordSize, 72),
      PIN(kInterruptOffHandle, 0), PIN(kInterruptOffCount, 52), PIN(kInterruptOffLost, 56),
      PIN(kInterruptOffOutcome, 60), PIN(kInterruptOutcomeDisabled, 1), PIN(kInterruptOutcomeNothing, 2),
  };
#undef PIN
  for (const auto &p : pins) EXPECT_EQ(p.ours, p.drivers) << p.name;
}

// The driver's status table, in table order: runs of consecutive codes.
TEST_F(DeviceLayer, EveryStatusCodeHasItsOwnMessage) {
  const struct { uint32_t first; std::vector<const char *> texts; } runs[] = {
      {0x00000000, {"Success"}},
      {0xFFFFFFFF, {"Invalid WinDriver handle"}},
      {0x20000000, {"Error", "Invalid handle", "Invalid pipe number", "Conflict between read and write operations",
                    "Packet size is zero", "Insufficient resources", "Unknown pipe type", "Internal system error",
                    "Data mismatch"}},
      {0x2000000A, {"Function not implemented", "Kernel PlugIn failure", "Failed enabling interrupt",
                    "Interrupt not enabled", "Resource overlap", "Device not found", "Wrong unique ID",
                    "Operation already done", "Usb descriptor error", "Set configuration operation failed",
                    "Cannot obtain PDO", "Timeout expired", "IRP operation canceled", "Failed to map in user space",
                    "Failed to map in kernel space", "No resources on the device", "No events", "Invalid parameter",
                    "Incorrect WinDriver version installed", "Try again", "Failed open WinDriver",
                    "Received an invalid IOCTL", "Operation failed", "Received an invalid 32bit IOCTL",
                    "No room to add handle", "Driver not installed"}},
      {0x00000000, {"USBD: Success"}},  // shadowed by the first entry
      {0x40000000, {"USBD: Operation pending"}},
      {0x80000000, {"USBD: Error"}},
      {0xC0000000, {"USBD: Halted", "HC status: CRC", "HC status: Bit stuffing ", "HC status: Data toggle mismatch",
                    "HC status: PID stall", "HC status: Device not responding", "HC status: PID check failed",
                    "HC status: Unexpected PID", "HC status: Data overrun", "HC status: Data underrun",
                    "HC status: Reserved1", "HC status: Reserved2", "HC status: Buffer overrun",
                    "HC status: Buffer Underrun"}},
      {0xC000000F, {"HC status: Not accessed", "HC status: Fifo",
                    "HC status: The host controller has set the Transaction Error (XactErr) bit in the transfer "
                    "descriptor's status field",
                    "HC status: Babble detected", "HC status: Data buffer error"}},
      {0xC0010000, {"USBD: Transfer canceled"}},
      {0xC0000030, {"HCD: Transfer submitted to a stalled endpoint"}},
      {0x80000100, {"USBD: Out of memory"}},
      {0x80000200, {"USBD: Invalid URB function"}},
      {0x80000300, {"USBD: Invalid parameter"}},
      {0x80000400, {"USBD: Attempted to close enpoint/interface/configuration with outstanding transfer"}},
      {0x80000500, {"USBD: URB request failed"}},
      {0x80000600, {"USBD: Invalid pipe handle"}},
      {0x80000700, {"USBD: Not enough bandwidth for endpoint"}},
      {0x80000800, {"USBD: Host controller error"}},
      {0x80000900, {"USBD: Trasnfer terminated with short packet"}},
      {0xC0000A00, {"USBD: Start frame outside range"}},
      {0xC0000B00, {"HCD: Isochronous transfer completed with error"}},
      {0xC0000C00, {"USBD: Frame length control already taken"}},
      {0xC0000D00, {"USBD: Attemped operation on frame length control not owned by caller"}},
      {0xC0000E00, {"USBD: API not supported/implemented"}},
      {0xC0000F00, {"USBD: Invalid configuration descriptor"}},
      {0xC0001000, {"USBD: Insufficient resources"}},
      {0xC0002000, {"USBD: Set configuration failed"}},
      {0xC0003000, {"USBD: Buffer too small"}},
      {0xC0004000, {"USBD: Interface not found"}},
      {0xC0005000, {"USBD: Invalid pipe flags"}},
      {0xC0006000, {"USBD: Timeout"}},
      {0xC0007000, {"USBD: Device gone"}},
      {0xC0008000, {"USBD: Status not mapped"}},
      {0xC0020000, {"USBD: The controller did not access the TD associated with this packe"}},
      {0xC0030000, {"USBD: Controller reported an error in the TD"}},
      {0xC0040000, {"USBD: The packet was submitted in time by the client but failed to reach the miniport in time"}},
      {0xC0050000, {"USBD: The packet was not sent because the client submitted it too late to transmit"}},
  };
  uint32_t i = 0;
  for (const auto &run : runs)
    for (uint32_t k = 0; k < run.texts.size(); ++k, ++i) {
      const uint32_t code = run.first + k;
      SCOPED_TRACE(testing::Message() << "entry " << i << " code 0x" << std::hex << code);
      EXPECT_EQ(device::StatusTableEntry(i).code, code);
      EXPECT_STREQ(device::StatusTableEntry(i).text, run.texts[k]);
      if (i != 37) {
        EXPECT_STREQ(device::StatusText(code), run.texts[k]);
      }
    }
  EXPECT_EQ(i, device::kStatusTableSize);
  EXPECT_STREQ(device::StatusText(0), "Success");
  for (uint32_t gap : {0x20000009u, 0xC000000Eu, 0x12345678u})
    EXPECT_STREQ(device::StatusText(gap), "Unrecognized error code");
}

// Every way the driver can refuse: what CountCards and OpenCard report, the
// text they leave, and that nothing stays open or registered.
TEST_F(DeviceLayer, RefusalsCountNothingOpenNothingAndLeaveTheirText) {
  const struct {
    const char *what;
    void (*setup)();
    uint32_t index, count;  // card opened; what CountCards finds
    const char *count_text, *open_text;
    bool opens;
  } rows[] = {
      {"driver 12.29", [] { kpx4160_sim_set_driver_version(1229); }, 0, 0,
       "Incorrect WinDriver version. Expected 12.30, got 12.29\n", "Incorrect WinDriver version. Expected 12.30, got 12.29\n", false},
      {"driver 12.30", [] { kpx4160_sim_set_driver_version(1230); }, 0, 2, "", "", true},
      {"driver 13.05", [] { kpx4160_sim_set_driver_version(1305); }, 1, 2, "", "", true},
      {"no driver", [] { kpx4160_sim_set_driver_absent(1); }, 0, 0, "Failed opening WinDriver device\n",
       "Failed opening WinDriver device\n", false},
      {"scan fails", [] { kpx4160_sim_set_scan_status(0x20000015); }, 0, 0,
       "WD_PciScanCards() failed with status 0x20000015 - Timeout expired\n",
       "WD_PciScanCards() failed with status 0x20000015 - Timeout expired\n", false},
      {"no card", [] { kpx4160_sim_set_card_count(0); }, 0, 0, "no cards found\n", "Could not find PCI card\n", false},
      {"index past the cards", [] {}, 2, 2, "", "Card is out of range of available cards\n", false},
      {"card info fails", [] { kpx4160_sim_set_card_info_status(1, 0x2000000F); }, 1, 2, "",
       "WD_PciGetCardInfo() failed with status 0x2000000f - Device not found\n", false},
      {"registration fails", [] { kpx4160_sim_set_registration_status(0, 0x2000000E); }, 0, 2, "",
       "Failed locking device. Status 0x2000000e - Resource overlap\n", false},
      {"two interrupts", [] { kpx4160_sim_set_resources(0, KPX4160_SIM_RESOURCES_TWO_INTERRUPTS); }, 0, 2, "",
       "Card does not have all items expected for KPX4X60\n", false},
      {"no interrupt", [] { kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT); }, 1, 2, "",
       "Card does not have all items expected for KPX4X60\n", false},
      {"no space", [] { kpx4160_sim_set_resources(0, KPX4160_SIM_RESOURCES_NO_SPACE); }, 0, 2, "",
       "Card does not have all items expected for KPX4X60\n", false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    kpx4160_sim_reset();
    kpx4160_sim_set_card_count(2);
    row.setup();
    EXPECT_EQ(device::CountCards(kVendor, kDevice), row.count);
    EXPECT_STREQ(ErrorText(), row.count_text);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    CardRecord junk{};
    CardRecord *card = &junk;  // a failed open must leave null, not this
    EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, row.index), row.opens ? 1 : 0);
    EXPECT_STREQ(ErrorText(), row.open_text);
    EXPECT_EQ(card != nullptr, row.opens);
    EXPECT_EQ(kpx4160_sim_registered_cards(), row.opens ? 1u : 0u);
    device::CloseCard(card);
    EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    // A card the driver registered and the library then refused is released.
    const bool registered = std::string(row.open_text).find("KPX4X60") != std::string::npos;
    EXPECT_EQ(kpx4160_sim_request_count(0x9538379f), registered || row.opens ? 1u : 0u);
  }
  EXPECT_EQ(device::CountCards(kVendor, 0x4161), 0u) << "another device ID finds nothing";
  kpx4160_sim_reset();
  kpx4160_sim_set_resources(0, KPX4160_SIM_RESOURCES_NO_SPACE);
  EXPECT_EQ(k4160_board_init(), 1001u);
}

// The resource check on hand-made registration records. Items are written at
// the driver's offsets: type at 0, interrupt handle at 16, I/O base address
// register at 20, memory base address register at 40, 56 bytes per item from
// byte 8. Expected spaces: two characters per base address register 0..5,
// 'm' or 'i' and the item index, ".." for none.
TEST_F(DeviceLayer, ResourceCheckTakesOneInterruptAndTheSpacesOfBars0To5) {
  struct Item { uint32_t type, value; };  // value: interrupt handle or base address register
  const struct { const char *what; std::vector<Item> items; uint32_t count; bool ok; const char *spaces; } rows[] = {
      {"usual card", {{1, 0x100}, {2, 0}, {3, 1}}, 3, true, "m1i2........"},
      {"memory register space", {{2, 0}, {2, 1}, {1, 0x101}}, 3, true, "m0m1........"},
      {"base address register 6", {{1, 0x100}, {3, 6}, {2, 6}, {3, 5}}, 4, true, "..........i3"},
      {"count past the record", {{1, 0x100}, {3, 1}}, 25, true, "..i1........"},
      {"count leaves an item out", {{1, 0x100}, {3, 1}, {2, 4}}, 2, true, "..i1........"},
      {"unknown item type", {{1, 0x100}, {7, 0}, {2, 3}}, 3, true, "......m2...."},
      {"two interrupts", {{1, 0x100}, {2, 0}, {1, 0x101}}, 3, false, nullptr},
      {"no interrupt", {{2, 0}, {3, 1}}, 2, false, nullptr},
      {"no space", {{1, 0x100}, {3, 6}}, 2, false, nullptr},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    auto card = std::make_unique<CardRecord>();
    std::memset(static_cast<void *>(card.get()), 0xFF, sizeof *card);  // the check starts from nothing
    uint8_t *reg = card->registration;
    device::PutU32(reg, 0, row.count);
    for (uint32_t i = 0; i < row.items.size(); ++i) {
      uint8_t *item = reg + 8 + 56 * i;
      device::PutU32(item, 0, row.items[i].type);
      device::PutU32(item, row.items[i].type == 1 ? 16 : row.items[i].type == 3 ? 20 : 40, row.items[i].value);
    }
    // What lies past the 20 items looks like an I/O item of register 2.
    device::PutU32(reg, 8 + 56 * 20, 3);
    device::PutU32(reg, 8 + 56 * 20 + 20, 2);
    std::vector<uint8_t> before(reg, reg + sizeof card->registration);
    EXPECT_EQ(device::CheckCardResources(*card), row.ok);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), reg)) << "the registration record was written";
    EXPECT_EQ(card->interrupt_service.service, nullptr);
    EXPECT_EQ(card->interrupt_handler, nullptr);
    if (!row.ok) continue;
    std::string spaces;
    for (const auto &s : card->spaces) {
      if (!s.is_active) {
        spaces += "..";
        continue;
      }
      spaces += s.is_memory ? 'm' : 'i';
      spaces += std::to_string(s.item_index);
    }
    EXPECT_EQ(spaces, row.spaces);
    EXPECT_EQ(device::GetU32(card->interrupt_request, 0), row.items[0].type == 1 ? 0x100u : 0x101u);
  }
}

TEST_F(DeviceLayer, OpenedCardRecordsSlotSpacesAndInterruptHandle) {
  kpx4160_sim_set_card_count(3);
  kpx4160_sim_set_register_space_memory(2, 1);
  CardRecord *card = nullptr;
  ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 2), 1);
  EXPECT_EQ(card->bus, 1u);
  EXPECT_EQ(card->slot, 2u);
  EXPECT_EQ(card->function, 0u);
  EXPECT_EQ(card->spaces[0].item_index, 1u);
  EXPECT_EQ(card->spaces[0].is_memory, 1u);
  EXPECT_EQ(card->spaces[1].item_index, 2u);
  EXPECT_EQ(card->spaces[1].is_memory, 1u);
  EXPECT_EQ(device::GetU32(card->interrupt_request, 0), 0x102u);
  EXPECT_EQ(device::GetU32(card->registration, 1128), 0u);
  EXPECT_NE(device::GetU32(card->registration, 1132), 0u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 1u);  // the card's own handle
  // Configuration space, one dword at a time.
  EXPECT_EQ(device::ReadConfigDword(*card, 0), 0x41600003u);  // device and vendor ID
  device::WriteConfigDword(*card, 0x48, 0x300);
  EXPECT_EQ(kpx4160_sim_get_config_dword(2, 0x48), 0x300u);
  kpx4160_sim_set_config_dword(2, 0x48, 0xABCD);
  EXPECT_EQ(device::ReadConfigDword(*card, 0x48), 0xABCDu);
  EXPECT_EQ(kpx4160_sim_request_count(0x9538346b), 3u);
  device::CloseCard(card);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

TEST_F(DeviceLayer, DriverRequestStatusAndHandles) {
  alignas(8) uint8_t version[132] = {};
  // A request on its own handle opens and closes one.
  EXPECT_EQ(device::DriverRequest(0x95383443, device::kInvalidDriverHandle, version, sizeof version, true), 0u);
  EXPECT_EQ(device::GetU32(version, 0), 1230u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  // An invalid handle is reported as such without reaching the driver.
  const uint64_t before = kpx4160_sim_request_count(0);
  EXPECT_EQ(device::DriverRequest(0x95383443, device::kInvalidDriverHandle, version, sizeof version, false),
            0xFFFFFFFFu);
  EXPECT_EQ(kpx4160_sim_request_count(0), before);
  kpx4160_sim_set_driver_absent(1);
  EXPECT_EQ(device::DriverRequest(0x95383443, 0, version, sizeof version, true), 0xFFFFFFFFu);
}

TEST_F(DeviceLayer, InterruptWaitEndsWithDisable) {
  CardRecord *card = nullptr;
  ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 1);
  alignas(8) uint8_t irq[72], wait[72];
  std::memcpy(irq, card->interrupt_request, sizeof irq);
  ASSERT_EQ(device::DriverRequest(0x953836db, card->driver, irq, sizeof irq, false), 0u);
  EXPECT_EQ(kpx4160_sim_interrupt_enabled(0), 1);
  // One raised interrupt is delivered with an outcome other than 1 and 2.
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  std::memcpy(wait, irq, sizeof wait);
  device::DriverRequest(0x953836e7, card->driver, wait, sizeof wait, true);
  EXPECT_NE(device::GetU32(wait, 60), 1u);
  EXPECT_NE(device::GetU32(wait, 60), 2u);
  EXPECT_EQ(device::GetU32(wait, 52), 1u);
  // After disable a wait returns at once with outcome 1.
  std::memcpy(wait, irq, sizeof wait);
  device::DriverRequest(0x953836ef, card->driver, wait, sizeof wait, false);
  std::memcpy(wait, irq, sizeof wait);
  device::DriverRequest(0x953836e7, card->driver, wait, sizeof wait, true);
  EXPECT_EQ(device::GetU32(wait, 60), 1u);
  EXPECT_EQ(kpx4160_sim_raise_interrupt(0), -1);
  device::CloseCard(card);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

}  // namespace
}  // namespace kpx::test
