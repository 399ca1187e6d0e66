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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "device/backends/linux_pci_backend.h"
#include "device/driver_records.h"
#include "device/error_text.h"

using namespace kpx::device;

namespace {

int failures = 0;

void Check(bool ok, const std::string &what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
  failures += ok ? 0 : 1;
}


// One driver handle on the back end, and the records of one card opened
// through it. ErrorDetail() gives the back end's reason for the last failure.
struct Card {
  LinuxPciBackend backend{"/sys", "/dev"};
  const DriverBackend &ops = backend.Operations();
  DriverHandle handle = ops.open_device(ops.context);
  alignas(8) uint8_t registration[kRegistrationRecordSize] = {};
  uint32_t slot[3] = {};  // bus, slot and function fields, as the device layer keeps them

  ~Card() { ops.close_device(ops.context, handle); }
  uint32_t Request(uint32_t code, void *record, uint32_t size) {
    uint32_t status = kStatusNotSet;
    ops.request(ops.context, handle, code, record, size, &status);
    return status;
  }
  // Scan by the IDs the function reports, card info and registration; the registration's status.
  uint32_t Open(const std::string &address) {
    uint32_t vendor = 0, device = 0;
    std::ifstream("/sys/bus/pci/devices/" + address + "/vendor") >> std::hex >> vendor;
    std::ifstream("/sys/bus/pci/devices/" + address + "/device") >> std::hex >> device;
    alignas(8) uint8_t scan[kScanRecordSize] = {}, info[kCardInfoRecordSize] = {};
    PutU32(scan, kScanOffVendor, vendor);
    PutU32(scan, kScanOffDevice, device);
    Request(kRequestPciScan, scan, sizeof scan);
    std::memcpy(slot, scan + kScanOffFirstSlot, sizeof slot);
    std::memcpy(info, slot, sizeof slot);
    const bool found = GetU32(scan, kScanOffCardCount) == 1 && Request(kRequestCardInfo, info, sizeof info) == 0;
    Check(found, "scan and card info find one card at " + address);
    std::memcpy(registration + kRegistrationOffResources, info + kCardInfoOffResources, kResourceDescriptionSize);
    return Request(kRequestCardRegister, registration, sizeof registration);
  }
  // The resource item of the given type; null if none.
  uint8_t *Item(uint32_t type) {
    for (uint32_t i = 0; i < GetU32(registration, kResourceOffItemCount); ++i) {
      uint8_t *item = registration + kResourceOffFirstItem + kResourceItemSize * i;
      if (GetU32(item, kItemOffType) == type) return item;
    }
    return nullptr;
  }
  uint32_t Config(uint32_t offset, uint32_t *value, bool read) {
    alignas(8) uint8_t record[kConfigRecordSize] = {};
    std::memcpy(record, slot, sizeof slot);
    PutU64(record, kConfigOffBuffer, reinterpret_cast<uintptr_t>(value));
    PutU32(record, kConfigOffOffset, offset);
    PutU32(record, kConfigOffBytes, 4);
    PutU32(record, kConfigOffReadFlag, read ? 1 : 0);
    return Request(kRequestConfigAccess, record, sizeof record);
  }
  // A port transfer of `value`; what a read gave, the value a write moved, or 0xDEADBEEF if refused.
  uint32_t Port(uint64_t port, uint32_t kind, uint32_t value) {
    alignas(8) uint8_t record[kTransferRecordSize] = {};
    PutU64(record, kTransferOffAddress, port);
    PutU32(record, kTransferOffKind, kind);
    PutU32(record, kTransferOffBytes, kind == kTransferRead32 || kind == kTransferWrite32 ? 4 : 2);
    PutU64(record, kTransferOffBuffer, reinterpret_cast<uintptr_t>(&value));
    const uint32_t status = Request(kRequestTransfer, record, sizeof record);
    return status != 0 ? 0xDEADBEEF : kind == kTransferRead16 ? value & 0xFFFF : value;
  }
  uint32_t Interrupt(uint32_t code, uint8_t *record) {
    PutU32(record, kInterruptOffHandle, GetU32(Item(kItemTypeInterrupt), kItemOffInterruptHandle));
    return Request(code, record, kInterruptRecordSize);
  }
};

// QEMU's edu device: identification 0x010000ed at 0x00, the inverse of what
// was written at 0x04, interrupt raise at 0x60 and acknowledge at 0x64 (INTx, level).
void CheckEdu(Card &card, const char *refused_irq_word) {
  const uint8_t *memory = card.Item(kItemTypeMemory);
  const bool bar0 = memory != nullptr && GetU32(memory, kItemOffMemoryBar) == 0;
  auto *regs = reinterpret_cast<volatile uint32_t *>(bar0 ? GetU64(memory, kItemOffMemoryUserAddress) : 0);
  if (regs == nullptr || card.Item(kItemTypeInterrupt) == nullptr) return Check(false, "memory space 0, interrupt");
  regs[1] = 0x12345678;
  Check(regs[0] == 0x010000ed && regs[1] == ~0x12345678u, "memory reads and write: " + std::to_string(regs[1]));
  // Configuration space: the IDs, a write and read back of the interrupt line at 0x3C, past the header at 0x48.
  // (0x3D-0x3F, the interrupt pin and two latency fields, are read-only.)
  uint32_t ids = 0, line = 0x5A, readback = 0, past_header = 0;
  Check(card.Config(0x00, &ids, true) == 0 && ids == 0x11e81234, "configuration read of the IDs");
  const bool ok = card.Config(0x3C, &line, false) == 0 && card.Config(0x3C, &readback, true) == 0;
  Check(ok && (readback & 0xFF) == 0x5A, "configuration write and read back at 0x3C: " + std::to_string(readback));
  const bool past_header_read = card.Config(0x48, &past_header, true) == 0;
  alignas(8) uint8_t irq[kInterruptRecordSize] = {}, pending[kInterruptRecordSize] = {};
  const uint32_t enable = card.Interrupt(kRequestInterruptEnable, irq);
  if (refused_irq_word != nullptr) {
    Check(enable == 0x2000000C && std::strstr(ErrorDetail(), refused_irq_word) != nullptr,
          std::string("interrupt enable refused: ") + ErrorDetail());
    return Check(past_header_read != (std::string(refused_irq_word) == "CAP_SYS_ADMIN"),
                 "configuration read past the header fails exactly without CAP_SYS_ADMIN");
  }
  Check(past_header_read && enable == 0, std::string("config past the header, interrupt enable ") + ErrorDetail());
  // 100 interrupts raised, waited for and acknowledged; after a wake-up with nothing to handle, wait again.
  uint32_t raised = 0, outcome = kInterruptOutcomeRaised;
  for (uint32_t wakes = 0; raised < 100 && enable == 0 && wakes < 110; ++wakes) {
    if (outcome != kInterruptOutcomeNothing) regs[0x60 / 4] = 1;
    const bool waited = card.Interrupt(kRequestInterruptWait, irq) == 0;
    outcome = waited ? GetU32(irq, kInterruptOffOutcome) : kInterruptOutcomeDisabled;
    if (outcome == kInterruptOutcomeNothing) continue;
    if (outcome == kInterruptOutcomeDisabled || GetU32(irq, kInterruptOffCount) != raised + 1) break;
    regs[0x64 / 4] = 1;
    ++raised;
  }
  Check(raised == 100 && GetU32(irq, kInterruptOffLost) == 0,
        std::to_string(raised) + " interrupts raised, waited for and acknowledged, lost " +
            std::to_string(GetU32(irq, kInterruptOffLost)));
  auto waiter = std::async(std::launch::async, [&] { return card.Interrupt(kRequestInterruptWait, pending); });
  const bool waits = waiter.wait_for(std::chrono::milliseconds(500)) == std::future_status::timeout;
  Check(waits && card.Interrupt(kRequestInterruptDisable, irq) == 0, "no interrupt without a raise; disable");
  Check(waiter.wait_for(std::chrono::seconds(5)) == std::future_status::ready &&
            GetU32(pending, kInterruptOffOutcome) == kInterruptOutcomeDisabled &&
            GetU32(pending, kInterruptOffCount) == 100,
        "the disable wakes the pending wait");
}

// rtl8139: its MAC address in the first six ports, the multicast filter (free
// to write) in the next eight. A 2-byte write changes its two ports only.
void CheckIo(Card &card, const std::string &mac) {
  const uint8_t *io = card.Item(kItemTypeIo);
  if (io == nullptr) return Check(false, "card info reports an I/O space");
  const uint64_t port = GetU64(io, kItemOffIoPortAddress);
  unsigned m[6] = {};
  std::sscanf(mac.c_str(), "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]);
  // value: what a write moves, or what a read must give (a write gives back its value).
  const struct { uint32_t offset, kind, value; } steps[] = {
      {0, kTransferRead32, m[0] | m[1] << 8 | m[2] << 16 | m[3] << 24}, {4, kTransferRead16, m[4] | m[5] << 8},
      {8, kTransferWrite32, 0xA5C30F96}, {12, kTransferWrite32, 0x5AA5F00F}, {8, kTransferRead32, 0xA5C30F96},
      {12, kTransferWrite16, 0x1234}, {12, kTransferRead16, 0x1234}, {12, kTransferRead32, 0x5AA51234},
      {0x100, kTransferRead32, 0xDEADBEEF},  // past the space: refused
  };
  for (const auto &s : steps) {
    const bool read = s.kind == kTransferRead16 || s.kind == kTransferRead32;
    const uint32_t got = card.Port(port + s.offset, s.kind, read ? 0 : s.value);
    Check(got == s.value, "port +" + std::to_string(s.offset) + ": " + std::to_string(got));
  }
}

bool MappedAt(uint64_t address) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (std::stoull(line.substr(0, line.find('-')), nullptr, 16) == address) return true;
  return false;
}

long OpenFds() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  ::alarm(60);  // an interrupt wait that never returns ends the program (SIGALRM), and the check fails
  const std::string mode = argc > 2 ? argv[1] : "";
  if (!((mode == "edu" && argc == 3) || ((mode == "edu-no-irq" || mode == "refused" || mode == "io") && argc == 4)))
    return std::fprintf(stderr, "usage: see the head of guest_check.cpp\n"), 2;
  const long fds_before = OpenFds();
  {
    Card card;
    const uint32_t registered = card.Open(argv[2]);
    if (mode == "refused") {
      Check(registered != 0 && std::strstr(ErrorDetail(), argv[3]) != nullptr,
            std::string("registration refused: ") + ErrorDetail());
    } else {
      Check(registered == 0, std::string("registration ") + ErrorDetail());
      const uint8_t *memory = card.Item(kItemTypeMemory);
      const uint64_t base = memory != nullptr ? GetU64(memory, kItemOffMemoryUserAddress) : 0;
      if (mode == "io")
        CheckIo(card, argv[3]);
      else
        CheckEdu(card, mode == "edu" ? nullptr : argv[3]);
      const uint32_t released = card.Request(kRequestCardUnregister, card.registration, sizeof card.registration);
      Check(released == 0 && (base == 0 || !MappedAt(base)), "release unmaps the memory space");
    }
  }
  Check(OpenFds() == fds_before, "nothing left open");
  std::printf("%s: %s %s (uid %u)\n", failures == 0 ? "PASSED" : "FAILED", mode.c_str(), argv[2], ::getuid());
  return failures == 0 ? 0 : 1;
}
