// The device layer against the simulated driver: the driver's own numbers,
// its status texts, scan, open and every refusal, the resource check; and the
// library's own threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "device/error_text.h"
#include "device/pci_device.h"
#include "device/platform_thread.h"
#include "device/status_text.h"
#include "support/sim_fixture.h"
#if !defined(_WIN32)
#include <signal.h>
#endif

namespace kpx::test {
namespace {

using device::CardRecord;
using device::ErrorText;
using device::GetU32;
using device::PutU32;

constexpr uint32_t kVendor = 0x0003, kDevice = 0x4160;

class DeviceLayer : public SimTest {};

// Fault injection: the n-th allocation without exceptions from now on fails (0: none does).
std::atomic<int> fail_nothrow_new_at{0};

}  // namespace
}  // namespace kpx::test

// Replaces the program's allocation without exceptions, which the library uses for its records.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  if (kpx::test::fail_nothrow_new_at > 0 && --kpx::test::fail_nothrow_new_at == 0) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace kpx::test {
namespace {

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
      // Entry 37, "USBD: Success" at code 0, is shadowed by the first entry.
      {0x00000000, {"Success"}}, {0xFFFFFFFF, {"Invalid WinDriver handle"}},
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
      {0x00000000, {"USBD: Success"}}, {0x40000000, {"USBD: Operation pending"}}, {0x80000000, {"USBD: Error"}},
      {0xC0000000, {"USBD: Halted", "HC status: CRC", "HC status: Bit stuffing ", "HC status: Data toggle mismatch",
                    "HC status: PID stall", "HC status: Device not responding", "HC status: PID check failed",
                    "HC status: Unexpected PID", "HC status: Data overrun", "HC status: Data underrun",
                    "HC status: Reserved1", "HC status: Reserved2", "HC status: Buffer overrun",
                    "HC status: Buffer Underrun"}},
      {0xC000000F, {"HC status: Not accessed", "HC status: Fifo",
                    "HC status: The host controller has set the Transaction Error (XactErr) bit in "
                    "the transfer descriptor's status field", "HC status: Babble detected",
                    "HC status: Data buffer error"}},
      {0xC0010000, {"USBD: Transfer canceled"}}, {0xC0000030, {"HCD: Transfer submitted to a stalled endpoint"}},
      {0x80000100, {"USBD: Out of memory"}}, {0x80000200, {"USBD: Invalid URB function"}},
      {0x80000300, {"USBD: Invalid parameter"}},
      {0x80000400, {"USBD: Attempted to close enpoint/interface/configuration with outstanding transfer"}},
      {0x80000500, {"USBD: URB request failed"}}, {0x80000600, {"USBD: Invalid pipe handle"}},
      {0x80000700, {"USBD: Not enough bandwidth for endpoint"}}, {0x80000800, {"USBD: Host controller error"}},
      {0x80000900, {"USBD: Trasnfer terminated with short packet"}},
      {0xC0000A00, {"USBD: Start frame outside range"}},
      {0xC0000B00, {"HCD: Isochronous transfer completed with error"}},
      {0xC0000C00, {"USBD: Frame length control already taken"}},
      {0xC0000D00, {"USBD: Attemped operation on frame length control not owned by caller"}},
      {0xC0000E00, {"USBD: API not supported/implemented"}}, {0xC0000F00, {"USBD: Invalid configuration descriptor"}},
      {0xC0001000, {"USBD: Insufficient resources"}}, {0xC0002000, {"USBD: Set configuration failed"}},
      {0xC0003000, {"USBD: Buffer too small"}}, {0xC0004000, {"USBD: Interface not found"}},
      {0xC0005000, {"USBD: Invalid pipe flags"}}, {0xC0006000, {"USBD: Timeout"}},
      {0xC0007000, {"USBD: Device gone"}}, {0xC0008000, {"USBD: Status not mapped"}},
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
      EXPECT_STREQ(device::StatusText(code), i == 37 ? "Success" : run.texts[k]);
    }
  EXPECT_EQ(i, device::kStatusTableSize);
  for (uint32_t gap : {0x20000009u, 0xC000000Eu, 0x12345678u})
    EXPECT_STREQ(device::StatusText(gap), "Unrecognized error code");
}

// Every way the driver can refuse: what CountCards and OpenCard report, the
// text they leave, and that nothing stays open or registered (a card the
// driver registered and the library then refused is released: one
// unregister request, 0x9538379f). An opened card keeps its place on the bus
// (the simulated card i sits in slot i) and reaches its configuration space a
// dword at a time.
TEST_F(DeviceLayer, RefusalsCountNothingOpenNothingAndLeaveTheirText) {
  const char *old = "Incorrect WinDriver version. Expected 12.30, got 12.29\n";
  const char *absent = "Failed opening WinDriver device\n";
  const char *scan = "WD_PciScanCards() failed with status 0x20000015 - Timeout expired\n";
  // index: the card opened; count: what CountCards finds.
  const struct { const char *what; void (*setup)(); uint32_t index, count; const char *count_text, *open_text;
                 bool opens, registered; } rows[] = {
      {"driver 12.29", [] { kpx4160_sim_set_driver_version(1229); }, 0, 0, old, old, false, false},
      {"driver 12.30", [] { kpx4160_sim_set_driver_version(1230); }, 0, 2, "", "", true, true},
      {"driver 13.05", [] { kpx4160_sim_set_driver_version(1305); }, 1, 2, "", "", true, true},
      {"no driver", [] { kpx4160_sim_set_driver_absent(1); }, 0, 0, absent, absent, false, false},
      {"scan fails", [] { kpx4160_sim_set_scan_status(0x20000015); }, 0, 0, scan, scan, false, false},
      {"no card", [] { kpx4160_sim_set_card_count(0); }, 0, 0, "no cards found\n", "Could not find PCI card\n", false,
       false},
      {"index past the cards", [] {}, 2, 2, "", "Card is out of range of available cards\n", false, false},
      {"card info fails", [] { kpx4160_sim_set_card_info_status(1, 0x2000000F); }, 1, 2, "",
       "WD_PciGetCardInfo() failed with status 0x2000000f - Device not found\n", false, false},
      {"registration fails", [] { kpx4160_sim_set_registration_status(0, 0x2000000E); }, 0, 2, "",
       "Failed locking device. Status 0x2000000e - Resource overlap\n", false, false},
      {"no interrupt", [] { kpx4160_sim_set_resources(1, KPX4160_SIM_RESOURCES_NO_INTERRUPT); }, 1, 2, "",
       "Card does not have all items expected for KPX4X60\n", false, true},
      // Allocations in order: the count's scan record, then the opening's card record and scan record.
      {"no memory to count", [] { fail_nothrow_new_at = 1; }, 0, 0, "Failed allocating memory\n", "", true, true},
      {"no memory for the card", [] { fail_nothrow_new_at = 2; }, 0, 2, "", "Failed allocating memory\n", false, false},
      {"no memory to scan", [] { fail_nothrow_new_at = 3; }, 0, 2, "", "Failed allocating memory\n", false, false},
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
    if (row.opens) {
      EXPECT_EQ(card->slot, row.index);
      EXPECT_EQ(device::ReadConfigDword(*card, 0), 0x41600003u);  // device and vendor ID
      device::WriteConfigDword(*card, 0x48, 0x300 + row.index);
      EXPECT_EQ(kpx4160_sim_get_config_dword(row.index, 0x48), 0x300u + row.index);
    }
    device::CloseCard(card);
    EXPECT_EQ(kpx4160_sim_open_handles(), 0u);
    EXPECT_EQ(kpx4160_sim_request_count(0x9538379f), row.registered ? 1u : 0u);
    fail_nothrow_new_at = 0;
  }
  // A card closed with an interrupt service still linked has it stopped before the record is freed.
  static int stops = 0;
  CardRecord *card = nullptr;
  ASSERT_EQ(device::OpenCard(card, kVendor, kDevice, 0), 1);
  card->interrupt_service = {&stops, [](CardRecord &c) { stops += c.interrupt_service.service == &stops; }};
  device::CloseCard(card);
  EXPECT_EQ(stops, 1);
  // A text exactly as long as the buffer loses its last character to the terminator, written inside the buffer.
  char text[9] = "xxxxxxxx";
  device::SetErrorText("12345678");
  EXPECT_EQ(device::CopyErrorText(text, 8), 8u);
  EXPECT_STREQ(text, "1234567");
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
      {"base address register 6", {{1, 0x100}, {3, 6}, {2, 6}, {3, 5}}, 4, true, "..........i3"},
      {"count past the record", {{1, 0x100}, {3, 1}}, 25, true, "..i1........"},
      {"two interrupts", {{1, 0x100}, {2, 0}, {1, 0x101}}, 3, false, nullptr},
      {"no space", {{1, 0x100}, {3, 6}}, 2, false, nullptr},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    auto card = std::make_unique<CardRecord>();
    std::memset(static_cast<void *>(card.get()), 0xFF, sizeof *card);  // the check starts from nothing
    uint8_t *reg = card->registration;
    PutU32(reg, 0, row.count);
    for (uint32_t i = 0; i < row.items.size(); ++i) {
      uint8_t *item = reg + 8 + 56 * i;
      PutU32(item, 0, row.items[i].type);
      PutU32(item, row.items[i].type == 1 ? 16 : row.items[i].type == 3 ? 20 : 40, row.items[i].value);
    }
    PutU32(reg, 8 + 56 * 20, 3);  // past the 20 items: what looks like an I/O item of register 2
    PutU32(reg, 8 + 56 * 20 + 20, 2);
    EXPECT_EQ(device::CheckCardResources(*card), row.ok);
    EXPECT_EQ(card->interrupt_handler, nullptr);
    if (!row.ok) continue;
    std::string spaces;
    for (const auto &s : card->spaces) {
      spaces += s.is_active ? (s.is_memory ? 'm' : 'i') : '.';
      spaces += s.is_active ? std::to_string(s.item_index) : ".";
    }
    EXPECT_EQ(spaces, row.spaces);
    EXPECT_EQ(GetU32(card->interrupt_request, 0), 0x100u);
  }
}

// A thread of the library runs its entry with its argument on another thread;
// a bounded wait reports whether it has ended, and closing waits for the end.
// It takes no asynchronous signal (the application's handlers run on its own
// threads); faults stay deliverable.
TEST(PlatformThreadThreaded, RunsEntryReportsEndClosesAndBlocksSignals) {
  struct Gate {
    std::atomic<bool> open{false};
#if !defined(_WIN32)
    sigset_t mask;
#endif
  } gate;
  const auto entry = [](void *raw) {
    auto &g = *static_cast<Gate *>(raw);
#if !defined(_WIN32)
    pthread_sigmask(SIG_BLOCK, nullptr, &g.mask);
#endif
    while (!g.open) std::this_thread::yield();
  };
  device::PlatformThread thread;
  // The interrupt threads ask for 4096 bytes: below every platform's minimum, raised, not refused.
  ASSERT_TRUE(device::StartPlatformThread(thread, 4096, entry, &gate));
  EXPECT_FALSE(device::WaitPlatformThread(thread, 10));  // held at the gate
  gate.open = true;
  EXPECT_TRUE(device::WaitPlatformThread(thread, 60000));
  device::ClosePlatformThread(thread);
  EXPECT_EQ(thread.state, nullptr);
  EXPECT_TRUE(device::WaitPlatformThread(thread, 0));  // an empty thread counts as ended
#if !defined(_WIN32)
  for (int s : {SIGINT, SIGTERM, SIGALRM, SIGCHLD, SIGPIPE}) EXPECT_EQ(sigismember(&gate.mask, s), 1) << s;
  for (int s : {SIGSEGV, SIGBUS, SIGFPE}) EXPECT_EQ(sigismember(&gate.mask, s), 0) << s;
#endif
}

}  // namespace
}  // namespace kpx::test
