// Runs inside the QEMU guest of run_guest.sh, on a real kernel: drives the
// Linux back end through its driver requests against QEMU's emulated PCI
// devices and prints one line per check. Exit status 0 only if all passed.
//
//   guest_check edu ADDR                 edu device: memory path, config, 100 interrupts, disable, release
//   guest_check edu-no-irq ADDR WORD     the same, but the interrupt enable must be refused naming WORD
//   guest_check refused ADDR WORD        the registration must be refused naming WORD
//   guest_check io ADDR MAC              rtl8139: 2- and 4-byte port reads and writes on its I/O space
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "device/backends/linux_pci_backend.h"
#include "device/driver_records.h"
#include "device/error_text.h"

using namespace kpx::device;

namespace {

int failures = 0;

void Check(bool ok, const std::string &what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) failures++;
}

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

long OpenFds() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

bool Mapped(uint64_t address) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (std::stoull(line.substr(0, line.find('-')), nullptr, 16) == address) return true;
  return false;
}

class Card {
 public:
  Card() : backend_("/sys", "/dev"), ops_(backend_.Operations()), handle_(ops_.open_device(ops_.context)) {}
  ~Card() { ops_.close_device(ops_.context, handle_); }

  uint32_t Request(uint32_t code, void *record, uint32_t size) {
    uint32_t status = kStatusNotSet;
    ops_.request(ops_.context, handle_, code, record, size, &status);
    detail_ = ErrorDetail();
    if (!detail_.empty() && detail_.back() == '\n') detail_.pop_back();
    return status;
  }
  const std::string &Detail() const { return detail_; }

  // Scan, card info and registration of the function at `address` with the IDs it reports.
  bool Open(const std::string &address, bool expect_registered = true) {
    uint32_t domain = 0, bus = 0, slot = 0, function = 0, vendor = 0, device = 0;
    std::sscanf(address.c_str(), "%x:%x:%x.%x", &domain, &bus, &slot, &function);
    std::ifstream("/sys/bus/pci/devices/" + address + "/vendor") >> std::hex >> vendor;
    std::ifstream("/sys/bus/pci/devices/" + address + "/device") >> std::hex >> device;
    alignas(8) uint8_t scan[kScanRecordSize] = {};
    PutU32(scan, kScanOffVendor, vendor);
    PutU32(scan, kScanOffDevice, device);
    // (The bus field's low byte is the bus; the domain, 0 here, rides above it.)
    Check(Request(kRequestPciScan, scan, sizeof scan) == 0 && GetU32(scan, kScanOffCardCount) == 1 &&
              (GetU32(scan, kScanOffFirstSlot) & 0xFF) == bus && GetU32(scan, kScanOffFirstSlot + 4) == slot &&
              GetU32(scan, kScanOffFirstSlot + 8) == function,
          "scan " + Hex(vendor) + ":" + Hex(device) + " finds one card at " + address);
    alignas(8) uint8_t info[kCardInfoRecordSize] = {};
    std::memcpy(info, scan + kScanOffFirstSlot, 12);
    Check(Request(kRequestCardInfo, info, sizeof info) == 0, "card info");
    std::memcpy(registration_ + kRegistrationOffResources, info + kCardInfoOffResources, kResourceDescriptionSize);
    std::memcpy(config_slot_, scan + kScanOffFirstSlot, sizeof config_slot_);  // as the device layer keeps it
    const uint32_t status = Request(kRequestCardRegister, registration_, sizeof registration_);
    if (expect_registered) Check(status == 0 && GetU32(registration_, kRegistrationOffCardHandle) != 0, "registration");
    return status == 0;
  }
  // The resource item of the given type; null if none.
  uint8_t *Item(uint32_t type) {
    for (uint32_t i = 0; i < GetU32(registration_, kResourceOffItemCount); ++i) {
      uint8_t *item = registration_ + kResourceOffFirstItem + kResourceItemSize * i;
      if (GetU32(item, kItemOffType) == type) return item;
    }
    return nullptr;
  }
  uint32_t Config(uint32_t offset, uint32_t *value, bool read) {
    alignas(8) uint8_t record[kConfigRecordSize] = {};
    std::memcpy(record, config_slot_, sizeof config_slot_);
    PutU64(record, kConfigOffBuffer, reinterpret_cast<uintptr_t>(value));
    PutU32(record, kConfigOffOffset, offset);
    PutU32(record, kConfigOffBytes, 4);
    PutU32(record, kConfigOffReadFlag, read ? 1 : 0);
    return Request(kRequestConfigAccess, record, sizeof record);
  }
  uint32_t Port(uint64_t port, uint32_t kind, uint32_t *value) {
    alignas(8) uint8_t record[kTransferRecordSize] = {};
    PutU64(record, kTransferOffAddress, port);
    PutU32(record, kTransferOffKind, kind);
    PutU32(record, kTransferOffBytes, kind == kTransferRead32 || kind == kTransferWrite32 ? 4 : 2);
    PutU64(record, kTransferOffBuffer, reinterpret_cast<uintptr_t>(value));
    return Request(kRequestTransfer, record, sizeof record);
  }
  uint32_t Interrupt(uint32_t code, uint8_t *record) {
    PutU32(record, kInterruptOffHandle, GetU32(Item(kItemTypeInterrupt), kItemOffInterruptHandle));
    return Request(code, record, kInterruptRecordSize);
  }
  uint32_t Release() { return Request(kRequestCardUnregister, registration_, sizeof registration_); }

 private:
  LinuxPciBackend backend_;
  const DriverBackend &ops_;
  DriverHandle handle_;
  std::string detail_;
  alignas(8) uint8_t registration_[kRegistrationRecordSize] = {};
  uint32_t config_slot_[3] = {};
};

// QEMU's edu device: identification at 0x00, the inverse of what was written
// at 0x04, interrupt raise at 0x60 and acknowledge at 0x64 (INTx, level).
constexpr uint32_t kEduId = 0x00, kEduLiveness = 0x04, kEduRaise = 0x60, kEduAck = 0x64;
constexpr uint32_t kEduIdValue = 0x010000ed;
constexpr uint32_t kInterrupts = 100;

void CheckEdu(const std::string &address, const char *refused_irq_word) {
  const long fds_before = OpenFds();
  uint64_t base = 0;
  {
    Card card;
    card.Open(address);
    const uint8_t *memory = card.Item(kItemTypeMemory);
    Check(memory != nullptr && GetU32(memory, kItemOffMemoryBar) == 0 && card.Item(kItemTypeInterrupt) != nullptr,
          "card info: memory space 0 and the interrupt");
    base = memory != nullptr ? GetU64(memory, kItemOffMemoryUserAddress) : 0;
    if (base == 0) return Check(false, "memory space mapped");
    auto *regs = reinterpret_cast<volatile uint32_t *>(base);
    const uint32_t id = regs[kEduId / 4];
    Check(id == kEduIdValue, "memory read of the identification: " + Hex(id));
    bool inverted = true;
    for (uint32_t v : {0x12345678u, 0u, 0xA5A5F00Fu}) {
      regs[kEduLiveness / 4] = v;
      inverted = inverted && regs[kEduLiveness / 4] == ~v;
    }
    Check(inverted, "memory write and read back of the liveness register");

    uint32_t ids = 0, line = 0, readback = 0, past_header = 0;
    // (Each condition is evaluated before the message that shows its value is built.)
    bool ok = card.Config(0x00, &ids, true) == 0 && ids == 0x11e81234;
    Check(ok, "configuration read of the IDs: " + Hex(ids));
    card.Config(0x3C, &line, true);
    uint32_t written = (line & ~0xFFu) | 0x5A;
    ok = card.Config(0x3C, &written, false) == 0 && card.Config(0x3C, &readback, true) == 0 && readback == written;
    Check(ok, "configuration write and read back at 0x3C: " + Hex(readback));
    card.Config(0x3C, &line, false);

    alignas(8) uint8_t irq[kInterruptRecordSize] = {};
    const uint32_t enable = card.Interrupt(kRequestInterruptEnable, irq);
    if (refused_irq_word != nullptr) {
      Check(enable == 0x2000000C && card.Detail().find(refused_irq_word) != std::string::npos,
            "interrupt enable refused: " + card.Detail());
      const bool without_admin = std::string(refused_irq_word) == "CAP_SYS_ADMIN";
      Check((card.Config(0x48, &past_header, true) == 0) != without_admin,
            "configuration read past the header at 0x48 fails exactly without CAP_SYS_ADMIN");
    } else {
      Check(card.Config(0x48, &past_header, true) == 0, "configuration read past the header at 0x48");
      Check(enable == 0, "interrupt enable " + card.Detail());
      uint32_t raised = 0, nothing = 0;
      for (uint32_t i = 0; i < kInterrupts && enable == 0; ++i) {
        regs[kEduRaise / 4] = 1;
        std::memset(irq + kInterruptOffCount, 0, 12);
        while (card.Interrupt(kRequestInterruptWait, irq) == 0 &&
               GetU32(irq, kInterruptOffOutcome) == kInterruptOutcomeNothing && nothing < 10)
          ++nothing;
        const uint32_t outcome = GetU32(irq, kInterruptOffOutcome);
        if (outcome == kInterruptOutcomeDisabled || outcome == kInterruptOutcomeNothing ||
            GetU32(irq, kInterruptOffCount) != i + 1)
          break;
        regs[kEduAck / 4] = 1;
        ++raised;
      }
      Check(raised == kInterrupts && GetU32(irq, kInterruptOffLost) == 0,
            std::to_string(raised) + " interrupts raised, waited for and acknowledged, count " +
                std::to_string(GetU32(irq, kInterruptOffCount)) + ", lost " +
                std::to_string(GetU32(irq, kInterruptOffLost)));
      alignas(8) uint8_t pending[kInterruptRecordSize] = {};
      auto waiter = std::async(std::launch::async, [&] { return card.Interrupt(kRequestInterruptWait, pending); });
      Check(waiter.wait_for(std::chrono::milliseconds(500)) == std::future_status::timeout,
            "no interrupt without a raise");
      alignas(8) uint8_t disable[kInterruptRecordSize] = {};
      Check(card.Interrupt(kRequestInterruptDisable, disable) == 0, "interrupt disable");
      Check(waiter.wait_for(std::chrono::seconds(5)) == std::future_status::ready &&
                GetU32(pending, kInterruptOffOutcome) == kInterruptOutcomeDisabled &&
                GetU32(pending, kInterruptOffCount) == kInterrupts,
            "the disable wakes the pending wait");
    }
    Check(card.Release() == 0 && !Mapped(base), "release unmaps the memory space");
  }
  Check(OpenFds() == fds_before, "nothing left open");
}

// rtl8139: its MAC address in the first six ports, the multicast filter
// (free to write) in the next eight.
void CheckIo(const std::string &address, const std::string &mac_text) {
  const long fds_before = OpenFds();
  {
    Card card;
    card.Open(address);
    const uint8_t *io = card.Item(kItemTypeIo);
    if (io == nullptr) return Check(false, "card info reports an I/O space");
    const uint64_t port = GetU64(io, kItemOffIoPortAddress);
    unsigned mac[6] = {};
    std::sscanf(mac_text.c_str(), "%x:%x:%x:%x:%x:%x", &mac[0], &mac[1], &mac[2], &mac[3], &mac[4], &mac[5]);
    uint32_t v32 = 0, v16 = 0;
    const uint32_t mac_low = mac[0] | mac[1] << 8 | mac[2] << 16 | mac[3] << 24;
    bool ok = card.Port(port, kTransferRead32, &v32) == 0 && v32 == mac_low;
    Check(ok, "4-byte port read of the MAC address: " + Hex(v32));
    ok = card.Port(port + 4, kTransferRead16, &v16) == 0 && (v16 & 0xFFFF) == (mac[4] | mac[5] << 8);
    Check(ok, "2-byte port read of the MAC address: " + Hex(v16));
    uint32_t w32 = 0xA5C30F96, w32b = 0x5AA5F00F, w16 = 0x1234, r32 = 0, r16 = 0, both = 0;
    ok = card.Port(port + 8, kTransferWrite32, &w32) == 0 && card.Port(port + 12, kTransferWrite32, &w32b) == 0 &&
         card.Port(port + 8, kTransferRead32, &r32) == 0 && r32 == w32;
    Check(ok, "4-byte port write and read back: " + Hex(r32));
    // The 2-byte write changes its two ports only: the 4-byte read over it keeps the other two.
    ok = card.Port(port + 12, kTransferWrite16, &w16) == 0 && card.Port(port + 12, kTransferRead16, &r16) == 0 &&
         card.Port(port + 12, kTransferRead32, &both) == 0 && (r16 & 0xFFFF) == w16 &&
         both == ((w32b & 0xFFFF0000) | w16);
    Check(ok, "2-byte port write and read back: " + Hex(r16) + ", 4 bytes over it " + Hex(both));
    Check(card.Port(port + 0x100, kTransferRead32, &v32) != 0, "a port past the space is refused");
    Check(card.Release() == 0, "release");
  }
  Check(OpenFds() == fds_before, "nothing left open");
}

void CheckRefused(const std::string &address, const std::string &word) {
  Card card;
  const bool refused = !card.Open(address, false);
  Check(refused && card.Detail().find(word) != std::string::npos, "registration refused: " + card.Detail());
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // An interrupt that never comes would block a wait for ever: give up instead.
  std::signal(SIGALRM, [](int) {
    constexpr char kMessage[] = "FAIL - no answer within 60 s (an interrupt wait that never returned?)\n";
    [[maybe_unused]] ssize_t n = ::write(1, kMessage, sizeof kMessage - 1);
    ::_exit(1);
  });
  ::alarm(60);
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "edu" && argc == 3)
    CheckEdu(argv[2], nullptr);
  else if (mode == "edu-no-irq" && argc == 4)
    CheckEdu(argv[2], argv[3]);
  else if (mode == "refused" && argc == 4)
    CheckRefused(argv[2], argv[3]);
  else if (mode == "io" && argc == 4)
    CheckIo(argv[2], argv[3]);
  else
    return std::fprintf(stderr, "usage: see the head of guest_check.cpp\n"), 2;
  std::printf("%s: %s %s (uid %u)\n", failures == 0 ? "PASSED" : "FAILED", mode.c_str(), argv[2], ::getuid());
  return failures == 0 ? 0 : 1;
}
