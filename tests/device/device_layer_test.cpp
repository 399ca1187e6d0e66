// The device layer against the simulated driver: scan, open, resource
// checks, the error texts and the request records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/card_table.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "device/pci_device.h"
#include "device/status_text.h"
#include "support/sim_fixture.h"
#include "support/trace_decoder.h"

namespace kpx::test {
namespace {

using device::CardRecord;
using device::ErrorText;

constexpr uint32_t kVendor = 0x0003, kDevice = 0x4160;

class DeviceLayer : public SimTest {};

TEST_F(DeviceLayer, StatusTextLooksUpTheTableInOrder) {
  EXPECT_STREQ(device::StatusText(0), "Success");  // the first of the two code-0 entries
  EXPECT_STREQ(device::StatusText(0x20000005), "Insufficient resources");
  EXPECT_STREQ(device::StatusText(0xFFFFFFFF), "Invalid WinDriver handle");
  EXPECT_STREQ(device::StatusText(0x20000023), "Driver not installed");
  EXPECT_STREQ(device::StatusText(0xC000000D), "HC status: Buffer Underrun");
  EXPECT_STREQ(device::StatusText(0xC000000F), "HC status: Not accessed");
  EXPECT_STREQ(device::StatusText(0xC0050000),
               "USBD: The packet was not sent because the client submitted it too late to transmit");
  // 0x20000009 and 0xC000000E are gaps in the table.
  EXPECT_STREQ(device::StatusText(0x20000009), "Unrecognized error code");
  EXPECT_STREQ(device::StatusText(0xC000000E), "Unrecognized error code");
  EXPECT_STREQ(device::StatusText(0x12345678), "Unrecognized error code");
  // Entry 37 is the second code-0 entry, shadowed by the first.
  EXPECT_EQ(device::StatusTableEntry(37).code, 0u);
  EXPECT_STREQ(device::StatusTableEntry(37).text, "USBD: Success");
  EXPECT_STREQ(device::StatusTableEntry(device::kStatusTableSize - 1).text,
               "USBD: The packet was not sent because the client submitted it too late to transmit");
}

TEST_F(DeviceLayer, DriverVersionBelow1230IsRefused) {
  kpx4160_sim_set_driver_version(1229);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 0u);
  EXPECT_STREQ(ErrorText(), "Incorrect WinDriver version. Expected 12.30, got 12.29\n");
  EXPECT_EQ(k4160_board_init(), 0u);
  EXPECT_EQ(core::InitCount, 0u);
  CardRecord *card = nullptr;
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_EQ(card, nullptr);
  EXPECT_STREQ(ErrorText(), "Incorrect WinDriver version. Expected 12.30, got 12.29\n");
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);

  kpx4160_sim_set_driver_version(1230);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 1u);
  EXPECT_STREQ(ErrorText(), "");
  kpx4160_sim_set_driver_version(1305);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 1u);
}

TEST_F(DeviceLayer, ScanFailuresCountNoCard) {
  kpx4160_sim_set_driver_absent(1);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 0u);
  EXPECT_STREQ(ErrorText(), "Failed opening WinDriver device\n");
  CardRecord *card = nullptr;
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "Failed opening WinDriver device\n");
  kpx4160_sim_set_driver_absent(0);

  kpx4160_sim_set_scan_status(0x20000015);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 0u);
  EXPECT_STREQ(ErrorText(), "WD_PciScanCards() failed with status 0x20000015 - Timeout expired\n");
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "WD_PciScanCards() failed with status 0x20000015 - Timeout expired\n");
  kpx4160_sim_set_scan_status(0);

  kpx4160_sim_set_card_count(0);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 0u);
  EXPECT_STREQ(ErrorText(), "no cards found\n");
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "Could not find PCI card\n");
  // Other IDs find nothing.
  kpx4160_sim_set_card_count(2);
  EXPECT_EQ(device::CountCards(kVendor, 0x4161), 0u);
  EXPECT_EQ(device::CountCards(kVendor, kDevice), 2u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

TEST_F(DeviceLayer, OpenFailuresLeaveNothingOpenOrRegistered) {
  kpx4160_sim_set_card_count(2);
  CardRecord *card = nullptr;
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 2), 0);
  EXPECT_STREQ(ErrorText(), "Card is out of range of available cards\n");

  kpx4160_sim_set_card_info_status(1, 0x2000000F);
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 1), 0);
  EXPECT_STREQ(ErrorText(), "WD_PciGetCardInfo() failed with status 0x2000000f - Device not found\n");

  kpx4160_sim_set_registration_status(0, 0x2000000E);
  EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
  EXPECT_STREQ(ErrorText(), "Failed locking device. Status 0x2000000e - Resource overlap\n");
  EXPECT_EQ(card, nullptr);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
}

TEST_F(DeviceLayer, ResourceListsWithoutWhatTheCardNeedsAreRefused) {
  for (auto layout : {KPX4160_SIM_RESOURCES_TWO_INTERRUPTS, KPX4160_SIM_RESOURCES_NO_INTERRUPT,
                      KPX4160_SIM_RESOURCES_NO_SPACE}) {
    SCOPED_TRACE(layout);
    kpx4160_sim_reset();
    kpx4160_sim_set_resources(0, layout);
    CardRecord *card = nullptr;
    EXPECT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 0);
    EXPECT_STREQ(ErrorText(), "Card does not have all items expected for KPX4X60\n");
    EXPECT_EQ(card, nullptr);
    // The registration was released again.
    EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    EXPECT_EQ(kpx4160_sim_request_count(device::kRequestCardUnregister), 1u);
    EXPECT_EQ(k4160_board_init(), 1001u);
    CloseLibraryCompletely();
  }
}

TEST_F(DeviceLayer, OddResourceItemsAreIgnoredNotIndexed) {
  // An item naming base address register 7 has no address-space entry, and
  // an item count above 20 stops at the 20 items the record holds.
  for (auto layout : {KPX4160_SIM_RESOURCES_BAR_ABOVE_5, KPX4160_SIM_RESOURCES_OVERLONG}) {
    SCOPED_TRACE(layout);
    kpx4160_sim_reset();
    kpx4160_sim_set_resources(0, layout);
    CardRecord *card = nullptr;
    ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 1);
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->spaces[1].is_active, 1u);
    EXPECT_EQ(card->spaces[1].is_memory, 0u);
    for (uint32_t bar : {2u, 3u, 4u, 5u}) EXPECT_EQ(card->spaces[bar].is_active, 0u);
    EXPECT_EQ(device::GetU32(card->interrupt_request, device::kInterruptOffHandle), 0x100u);
    device::CloseCard(card);
    EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
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
  // BAR 0 memory (item 1), BAR 1 memory on this card (item 2); interrupt item 0.
  EXPECT_EQ(card->spaces[0].item_index, 1u);
  EXPECT_EQ(card->spaces[0].is_memory, 1u);
  EXPECT_EQ(card->spaces[1].item_index, 2u);
  EXPECT_EQ(card->spaces[1].is_memory, 1u);
  EXPECT_EQ(card->spaces[1].is_active, 1u);
  EXPECT_EQ(device::GetU32(card->interrupt_request, device::kInterruptOffHandle), 0x102u);
  EXPECT_EQ(device::GetU32(card->registration, device::kRegistrationOffOptions), 0u);
  EXPECT_NE(device::GetU32(card->registration, device::kRegistrationOffCardHandle), 0u);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 1u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 1u);  // the card's own handle
  device::CloseCard(card);
  EXPECT_EQ(kpx4160_sim_registered_cards(), 0u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

TEST_F(DeviceLayer, ConfigurationSpaceDwordAccess) {
  CardRecord *card = nullptr;
  ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 1);
  EXPECT_EQ(device::ReadConfigDword(*card, 0), 0x41600003u);  // device and vendor ID
  device::WriteConfigDword(*card, 0x48, 0x300);
  EXPECT_EQ(kpx4160_sim_get_config_dword(0, 0x48), 0x300u);
  kpx4160_sim_set_config_dword(0, 0x48, 0xABCD);
  EXPECT_EQ(device::ReadConfigDword(*card, 0x48), 0xABCDu);
  EXPECT_EQ(kpx4160_sim_request_count(device::kRequestConfigAccess), 3u);
  device::CloseCard(card);
}

TEST_F(DeviceLayer, DriverRequestStatusAndHandles) {
  alignas(8) uint8_t version[device::kVersionRecordSize] = {};
  // A request on its own handle opens and closes one.
  EXPECT_EQ(device::DriverRequest(device::kRequestVersion, device::kInvalidDriverHandle, version, sizeof version, true),
            0u);
  EXPECT_EQ(device::GetU32(version, 0), 1230u);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
  // An invalid handle is reported as such without reaching the driver.
  const uint64_t before = kpx4160_sim_request_count(0);
  EXPECT_EQ(device::DriverRequest(device::kRequestVersion, device::kInvalidDriverHandle, version, sizeof version, false),
            0xFFFFFFFFu);
  EXPECT_EQ(kpx4160_sim_request_count(0), before);
  kpx4160_sim_set_driver_absent(1);
  EXPECT_EQ(device::DriverRequest(device::kRequestVersion, 0, version, sizeof version, true), 0xFFFFFFFFu);
}

TEST_F(DeviceLayer, InterruptWaitEndsWithDisable) {
  CardRecord *card = nullptr;
  ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 1);
  alignas(8) uint8_t irq[device::kInterruptRecordSize];
  std::memcpy(irq, card->interrupt_request, sizeof irq);
  ASSERT_EQ(device::DriverRequest(device::kRequestInterruptEnable, card->driver, irq, sizeof irq, false), 0u);
  EXPECT_EQ(kpx4160_sim_interrupt_enabled(0), 1);
  // One raised interrupt is delivered with an outcome other than 1 and 2.
  ASSERT_EQ(kpx4160_sim_raise_interrupt(0), 0);
  alignas(8) uint8_t wait[device::kInterruptRecordSize];
  std::memcpy(wait, irq, sizeof wait);
  device::DriverRequest(device::kRequestInterruptWait, card->driver, wait, sizeof wait, true);
  EXPECT_NE(device::GetU32(wait, device::kInterruptOffOutcome), 1u);
  EXPECT_NE(device::GetU32(wait, device::kInterruptOffOutcome), 2u);
  EXPECT_EQ(device::GetU32(wait, device::kInterruptOffCount), 1u);
  // After disable a wait returns at once with outcome 1.
  alignas(8) uint8_t off[device::kInterruptRecordSize];
  std::memcpy(off, irq, sizeof off);
  device::DriverRequest(device::kRequestInterruptDisable, card->driver, off, sizeof off, false);
  std::memcpy(wait, irq, sizeof wait);
  device::DriverRequest(device::kRequestInterruptWait, card->driver, wait, sizeof wait, true);
  EXPECT_EQ(device::GetU32(wait, device::kInterruptOffOutcome), 1u);
  EXPECT_EQ(kpx4160_sim_raise_interrupt(0), -1);
  device::CloseCard(card);
  EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
}

}  // namespace
}  // namespace kpx::test
