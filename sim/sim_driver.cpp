// The simulated driver: answers every driver request on the virtual bus the
// way the kernel driver does, so the device layer runs unchanged on it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "device/driver_backend.h"
#include "device/driver_records.h"
#include "device/error_text.h"
#include "sim/sim_bus.h"

namespace kpx::sim {
namespace {

using namespace kpx::device;

constexpr uint32_t kStatusOk = 0;
constexpr uint32_t kStatusInvalidParameter = 0x2000001B;
constexpr uint32_t kStatusDeviceNotFound = 0x2000000F;
constexpr uint32_t kStatusInterruptNotEnabled = 0x2000000D;
constexpr uint32_t kOverlongItemCount = 25;
constexpr uint32_t kBarAbove5 = 7;

// Bus position of card i: bus 1, slot i, function 0.
constexpr uint32_t kSimBusNumber = 1;

uint8_t *Item(uint8_t *description, uint32_t i) {
  return description + kResourceOffFirstItem + kResourceItemSize * i;
}

void PutInterruptItem(uint8_t *description, uint32_t &n, uint32_t handle) {
  uint8_t *item = Item(description, n++);
  PutU32(item, kItemOffType, kItemTypeInterrupt);
  PutU32(item, kItemOffInterruptHandle, handle);
}

// The user-mode address is filled in by the registration, as a driver maps
// the space only then.
void PutMemoryItem(uint8_t *description, uint32_t &n, uint32_t card, uint32_t bar) {
  uint8_t *item = Item(description, n++);
  PutU32(item, kItemOffType, kItemTypeMemory);
  PutU64(item, kItemOffMemoryPhysical, MemoryBusAddress(card, bar));
  PutU64(item, kItemOffMemoryLength, bar == 1 ? kRegisterSpaceSize : kBridgeSpaceSize);
  PutU64(item, kItemOffMemoryUserAddress, 0);
  PutU32(item, kItemOffMemoryBar, bar);
}

void PutIoItem(uint8_t *description, uint32_t &n, uint32_t bar, uint64_t port) {
  uint8_t *item = Item(description, n++);
  PutU32(item, kItemOffType, kItemTypeIo);
  PutU64(item, kItemOffIoPortAddress, port);
  PutU32(item, kItemOffIoLength, kRegisterSpaceSize);
  PutU32(item, kItemOffIoBar, bar);
}

// The resource description a card reports.
void DescribeResources(SimSlot &slot, uint32_t card, uint8_t *description) {
  uint32_t n = 0;
  const uint32_t irq = kInterruptHandleBase + card;
  const uint64_t port = kIoPortBase + kIoPortStride * card;
  const bool with_spaces = slot.resources != KPX4160_SIM_RESOURCES_NO_SPACE;
  if (slot.resources != KPX4160_SIM_RESOURCES_NO_INTERRUPT) PutInterruptItem(description, n, irq);
  if (with_spaces) {
    PutMemoryItem(description, n, card, 0);
    if (slot.register_space_memory)
      PutMemoryItem(description, n, card, 1);
    else
      PutIoItem(description, n, 1, port);
  }
  if (slot.resources == KPX4160_SIM_RESOURCES_TWO_INTERRUPTS) PutInterruptItem(description, n, irq + 0x1000);
  if (slot.resources == KPX4160_SIM_RESOURCES_BAR_ABOVE_5) PutIoItem(description, n, kBarAbove5, port + 0x8000);
  PutU32(description, kResourceOffItemCount, slot.resources == KPX4160_SIM_RESOURCES_OVERLONG ? kOverlongItemCount : n);
}

// Card number from the slot fields of a record, or -1.
int CardAt(SimBus &bus, const uint8_t *record, uint32_t off_bus, uint32_t off_slot) {
  if (GetU32(record, off_bus) != kSimBusNumber) return -1;
  const uint32_t slot = GetU32(record, off_slot);
  return slot < bus.slots.size() ? static_cast<int>(slot) : -1;
}

// Card number from a registration's card handle, or -1.
int CardOfRegistration(SimBus &bus, const uint8_t *record) {
  const uint32_t handle = GetU32(record, kRegistrationOffCardHandle);
  if (handle < kCardHandleBase) return -1;
  const uint32_t card = handle - kCardHandleBase;
  return card < bus.slots.size() ? static_cast<int>(card) : -1;
}

int CardOfInterrupt(SimBus &bus, const uint8_t *record) {
  const uint32_t handle = GetU32(record, kInterruptOffHandle);
  if (handle < kInterruptHandleBase) return -1;
  const uint32_t card = handle - kInterruptHandleBase;
  return card < bus.slots.size() ? static_cast<int>(card) : -1;
}

uint32_t Scan(SimBus &bus, uint8_t *record) {
  if (bus.scan_status != kStatusOk) return bus.scan_status;
  const bool match = GetU32(record, kScanOffVendor) == 0x0003 && GetU32(record, kScanOffDevice) == 0x4160;
  const uint32_t n = match ? static_cast<uint32_t>(bus.slots.size()) : 0;
  PutU32(record, kScanOffCardCount, n);
  for (uint32_t i = 0; i < n && i < kScanMaxCards; ++i) {
    const uint32_t at = kScanOffFirstSlot + kScanSlotSize * i;
    PutU32(record, at, kSimBusNumber);
    PutU32(record, at + 4, i);
    PutU32(record, at + 8, 0);
  }
  return kStatusOk;
}

uint32_t CardInfo(SimBus &bus, uint8_t *record) {
  const int card = CardAt(bus, record, kCardInfoOffBus, kCardInfoOffSlot);
  if (card < 0) return kStatusDeviceNotFound;
  SimSlot &slot = *bus.slots[card];
  if (slot.info_status != kStatusOk) return slot.info_status;
  DescribeResources(slot, static_cast<uint32_t>(card), record + kCardInfoOffResources);
  return kStatusOk;
}

uint32_t Register(SimBus &bus, uint8_t *record) {
  // The card is recognised by the interrupt handle, port address or memory
  // bus address of the description it reported (every layout has one).
  int card = -1;
  const uint32_t items = GetU32(record, kResourceOffItemCount);
  for (uint32_t i = 0; i < items && i < kResourceMaxItems && card < 0; ++i) {
    const uint8_t *item = Item(record, i);
    const uint32_t type = GetU32(item, kItemOffType);
    if (type == kItemTypeInterrupt) {
      const uint32_t h = GetU32(item, kItemOffInterruptHandle) & 0xFFF;
      if (h >= kInterruptHandleBase && h - kInterruptHandleBase < bus.slots.size())
        card = static_cast<int>(h - kInterruptHandleBase);
    } else if (type == kItemTypeIo) {
      const uint64_t p = GetU64(item, kItemOffIoPortAddress) & ~uint64_t{0x8000};
      if (p >= kIoPortBase && (p - kIoPortBase) / kIoPortStride < bus.slots.size())
        card = static_cast<int>((p - kIoPortBase) / kIoPortStride);
    } else if (type == kItemTypeMemory) {
      const uint64_t a = GetU64(item, kItemOffMemoryPhysical);
      if (a >= kMemoryBusBase && (a - kMemoryBusBase) / kMemoryBusStride < bus.slots.size())
        card = static_cast<int>((a - kMemoryBusBase) / kMemoryBusStride);
    }
  }
  if (card < 0) return kStatusInvalidParameter;
  SimSlot &slot = *bus.slots[card];
  if (slot.registration_status != kStatusOk) return slot.registration_status;
  for (uint32_t i = 0; i < items && i < kResourceMaxItems; ++i) {
    uint8_t *item = Item(record, i);
    if (GetU32(item, kItemOffType) != kItemTypeMemory) continue;
    const void *window = GetU32(item, kItemOffMemoryBar) == 1 ? static_cast<void *>(slot.card.register_window.data())
                                                               : static_cast<void *>(slot.card.bridge_window.data());
    PutU64(item, kItemOffMemoryUserAddress, reinterpret_cast<uintptr_t>(window));
  }
  PutU32(record, kRegistrationOffCardHandle, kCardHandleBase + static_cast<uint32_t>(card));
  ++slot.registrations;
  return kStatusOk;
}

uint32_t Unregister(SimBus &bus, uint8_t *record) {
  const int card = CardOfRegistration(bus, record);
  if (card < 0) return kStatusInvalidParameter;
  SimSlot &slot = *bus.slots[card];
  if (slot.registrations > 0) --slot.registrations;
  uint32_t registered = 0;
  for (const auto &s : bus.slots) registered += s->registrations;
  if (registered == 0) WriteMachineLogLocked(bus);
  return kStatusOk;
}

// Accesses that poll the card: in virtual time each moves the clock on by
// one poll step, so a program waiting for the card always gets there. They
// are the reads of the main status and of the sub-status, and the read
// codes of the counters and of the present speed.
constexpr uint32_t kPortMask = kChipAxisStride - 1;
constexpr uint16_t kPollReadCodes[] = {0xE3, 0xE4, 0xF5};

// A read of the general input port polls too: a program waiting for a
// sensor must see time pass.
constexpr uint32_t kPldInputPort = 0x4C;

bool IsStatusPoll(uint32_t offset, uint32_t kind, const uint8_t *buffer) {
  if ((offset & ~3u) == kPldInputPort && (kind == kTransferRead16 || kind == kTransferRead32)) return true;
  if (offset < kChipFirstPort || offset >= kChipEndPort) return false;
  const uint32_t port = (offset - kChipFirstPort) & kPortMask;
  if (kind == kTransferRead16 || kind == kTransferRead32) return port == kPortCommand || port == kPortOtpw;
  if (kind != kTransferWrite16 || port != kPortCommand) return false;
  uint16_t code;
  std::memcpy(&code, buffer, sizeof code);
  for (uint16_t poll : kPollReadCodes)
    if (code == poll) return true;
  return false;
}

// A read of a chip axis's main status (its command port).
bool IsMainStatusRead(uint32_t offset, uint32_t kind) {
  if (offset < kChipFirstPort || offset >= kChipEndPort) return false;
  return (kind == kTransferRead16 || kind == kTransferRead32) && ((offset - kChipFirstPort) & kPortMask) == kPortCommand;
}

// How far a status poll moves virtual time. A program that waits for its
// moves reads nothing but main status words, and those change only when
// something happens by itself (a move or a stop ends, a trigger is met, an
// input changes), all of which the model knows in advance. So a run of
// main-status reads with no other access between them lets time pass
// faster: the step doubles with each read, up to kMaxIdleDoublings
// doublings, but never past the next thing due; the read that reaches it
// lands exactly on it, and the run starts again from one step, as it does
// after any other access. Time
// still depends on nothing but the program's accesses: every run is the
// same.
constexpr uint32_t kMaxIdleDoublings = 6;

void PollStep(SimBus &bus, bool main_status) {
  if (!main_status || !bus.clock.Virtual()) {
    bus.idle_polls = 0;
    bus.clock.Poll();
    return;
  }
  const double step = bus.clock.PollStep() * static_cast<double>(1u << std::min(bus.idle_polls, kMaxIdleDoublings));
  ++bus.idle_polls;
  const double now = bus.clock.Now();
  const double next = bus.idle_polls > 1 ? bus.NextEventTimeLocked() : kEndless;
  if (next > now && next < now + step) {
    // Lands on the event; the reads after it start again from one step,
    // so the program's next few looks come as soon as they would have.
    bus.clock.AdvanceTo(next);
    bus.idle_polls = 0;
  } else {
    bus.clock.Advance(step);
  }
}

// A write of a command (not a register code) to a chip axis's command port.
bool IsCommand(uint32_t offset, uint32_t kind, const uint8_t *buffer) {
  if (kind != kTransferWrite16 || offset < kChipFirstPort || offset >= kChipEndPort) return false;
  if (((offset - kChipFirstPort) & kPortMask) != kPortCommand) return false;
  uint16_t code;
  std::memcpy(&code, buffer, sizeof code);
  return code < kFirstWriteCode || code >= kEndReadCode;
}

void Trace(SimBus &bus, uint32_t card, uint32_t offset, uint32_t width, uint32_t value, bool write) {
  if (bus.trace_on && bus.trace.size() < kTraceCapacity) bus.trace.push_back({card, 1, offset, width, value, write ? 1u : 0u});
}

uint32_t Transfer(SimBus &bus, uint8_t *record) {
  const uint64_t address = GetU64(record, kTransferOffAddress);
  const uint32_t kind = GetU32(record, kTransferOffKind);
  auto *buffer = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(GetU64(record, kTransferOffBuffer)));
  if (buffer == nullptr || address < kIoPortBase) return kStatusInvalidParameter;
  // The driver moves exactly the bytes the kind names, one port at a time.
  const uint32_t bytes = GetU32(record, kTransferOffBytes);
  const bool wide = kind == kTransferRead32 || kind == kTransferWrite32;
  if (bytes != (wide ? 4u : 2u) || GetU32(record, kTransferOffAutoInc) != 1 || GetU32(record, kTransferOffOptions) != 0)
    return kStatusInvalidParameter;
  const uint64_t card64 = (address - kIoPortBase) / kIoPortStride;
  if (card64 >= bus.slots.size()) return kStatusInvalidParameter;
  const auto card = static_cast<uint32_t>(card64);
  const auto offset = static_cast<uint32_t>((address - kIoPortBase) % kIoPortStride);
  // Each card decodes only its own register space: ports past it belong to
  // no card (or the next one) and the bus answers nothing there.
  if (offset + bytes > kRegisterSpaceSize) return kStatusInvalidParameter;
  SimCard &c = bus.slots[card]->card;
  if (IsStatusPoll(offset, kind, buffer))
    PollStep(bus, IsMainStatusRead(offset, kind));
  else
    bus.idle_polls = 0;
  // Observing the cards (and reading the real-time clock for it) is the
  // dearest part of an access: while nothing moves, time changes nothing,
  // and only a command (which may start a move) needs it.
  const double now = IsCommand(offset, kind, buffer) || !bus.StillLocked() ? bus.ObserveLocked() : 0.0;
  switch (kind) {
    case kTransferRead16: {
      const auto v = static_cast<uint16_t>(c.Read(offset, 16));
      std::memcpy(buffer, &v, sizeof v);
      Trace(bus, card, offset, 16, v, false);
      return kStatusOk;
    }
    case kTransferRead32: {
      const uint32_t v = c.Read(offset, 32);
      std::memcpy(buffer, &v, sizeof v);
      Trace(bus, card, offset, 32, v, false);
      return kStatusOk;
    }
    case kTransferWrite16: {
      uint16_t v;
      std::memcpy(&v, buffer, sizeof v);
      Trace(bus, card, offset, 16, v, true);
      c.Write(offset, 16, v, now);
      return kStatusOk;
    }
    case kTransferWrite32: {
      uint32_t v;
      std::memcpy(&v, buffer, sizeof v);
      Trace(bus, card, offset, 32, v, true);
      c.Write(offset, 32, v, now);
      return kStatusOk;
    }
    default:
      return kStatusInvalidParameter;
  }
}

uint32_t ConfigAccess(SimBus &bus, uint8_t *record) {
  const int card = CardAt(bus, record, kConfigOffBus, kConfigOffSlot);
  auto *buffer = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(GetU64(record, kConfigOffBuffer)));
  const uint32_t offset = GetU32(record, kConfigOffOffset);
  if (card < 0 || buffer == nullptr || offset + 4 > kConfigSpaceSize || GetU32(record, kConfigOffBytes) != 4)
    return kStatusInvalidParameter;
  uint32_t &word = bus.slots[card]->card.config[offset / 4];
  const bool read = GetU32(record, kConfigOffReadFlag) == 1;
  if (read)
    std::memcpy(buffer, &word, 4);
  else
    std::memcpy(&word, buffer, 4);
  bus.config_log.push_back({static_cast<uint32_t>(card), offset, word, read ? 0u : 1u});
  return kStatusOk;
}

uint32_t InterruptEnable(SimBus &bus, uint8_t *record) {
  const int card = CardOfInterrupt(bus, record);
  if (card < 0) return kStatusInvalidParameter;
  if (bus.slots[card]->interrupt_enable_status != kStatusOk) return bus.slots[card]->interrupt_enable_status;
  SimInterrupt &irq = bus.slots[card]->interrupt;
  irq.enabled = true;
  irq.pending = 0;
  return kStatusOk;
}

uint32_t InterruptDisable(SimBus &bus, uint8_t *record) {
  const int card = CardOfInterrupt(bus, record);
  if (card < 0) return kStatusInvalidParameter;
  SimInterrupt &irq = bus.slots[card]->interrupt;
  if (!irq.enabled) return kStatusInterruptNotEnabled;
  irq.enabled = false;
  ++irq.disable_generation;
  bus.interrupt_cv.notify_all();
  return kStatusOk;
}

// Blocks (with the bus mutex released) until an interrupt arrives or
// interrupts are disabled. The slot is looked up again after every wake-up:
// a simulator reset may have replaced it.
uint32_t InterruptWait(SimBus &bus, std::unique_lock<std::mutex> &lock, uint8_t *record) {
  const int card = CardOfInterrupt(bus, record);
  if (card < 0 || !bus.slots[card]->interrupt.enabled) {
    PutU32(record, kInterruptOffOutcome, kInterruptOutcomeDisabled);
    return kStatusOk;
  }
  SimSlot *slot = bus.slots[card].get();
  const uint64_t generation = slot->interrupt.disable_generation;
  ++slot->interrupt.waiters;
  auto ready = [&] {
    SimSlot *now = bus.Slot(static_cast<unsigned>(card));
    return now != slot || !now->interrupt.enabled || now->interrupt.disable_generation != generation ||
           now->interrupt.pending > 0;
  };
  while (!ready()) {
    // In real time a move ends by itself: wake up then and look. In
    // virtual time nothing happens until the program touches the card.
    const double next = bus.clock.Virtual() ? kEndless : bus.NextEventTimeLocked();
    if (std::isfinite(next)) {
      bus.interrupt_cv.wait_until(lock, bus.clock.WallTimeAt(next));
      bus.ObserveLocked();
    } else {
      bus.interrupt_cv.wait(lock);
    }
  }
  SimSlot *now = bus.Slot(static_cast<unsigned>(card));
  if (now != slot) {
    PutU32(record, kInterruptOffOutcome, kInterruptOutcomeDisabled);
    return kStatusOk;
  }
  --slot->interrupt.waiters;
  SimInterrupt &irq = slot->interrupt;
  if (irq.pending > 0 && irq.enabled) {
    --irq.pending;
    ++irq.count;
    PutU32(record, kInterruptOffOutcome, kInterruptOutcomeRaised);
  } else {
    PutU32(record, kInterruptOffOutcome, kInterruptOutcomeDisabled);
  }
  PutU32(record, kInterruptOffCount, irq.count);
  PutU32(record, kInterruptOffLost, irq.lost);
  return kStatusOk;
}

DriverHandle OpenDevice(void *) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  // The machine named by KPX4160_SIM_MACHINE is set up at the first
  // board initialisation; a refused file leaves no card to open.
  if (!bus.machine_env_checked) {
    bus.machine_env_checked = true;
    const char *path = std::getenv("KPX4160_SIM_MACHINE");
    if (path != nullptr && *path != '\0') LoadMachineLocked(bus, path);
  }
  if (!bus.machine_error.empty()) {
    SetErrorText("%s\n", bus.machine_error.c_str());
    return kInvalidDriverHandle;
  }
  if (bus.driver_absent) return kInvalidDriverHandle;
  const intptr_t h = bus.next_handle++;
  bus.open_handles.insert(h);
  return h;
}

void CloseDevice(void *, DriverHandle handle) {
  SimBus &bus = Bus();
  std::lock_guard lock(bus.mutex);
  bus.open_handles.erase(handle);
}

void Request(void *, DriverHandle handle, uint32_t code, void *record_ptr, uint32_t size, uint32_t *status) {
  SimBus &bus = Bus();
  std::unique_lock lock(bus.mutex);
  ++bus.request_counts[code];
  ++bus.total_requests;
  auto *record = static_cast<uint8_t *>(record_ptr);
  if (bus.open_handles.count(handle) == 0) {
    *status = kStatusInvalidParameter;
    return;
  }
  auto needs = [&](uint32_t expected) { return size >= expected; };
  uint32_t result = kStatusInvalidParameter;
  switch (code) {
    case kRequestVersion:
      if (needs(kVersionRecordSize)) {
        PutU32(record, kVersionOffVersion, bus.driver_version);
        result = kStatusOk;
      }
      break;
    case kRequestPciScan:
      if (needs(kScanRecordSize)) result = Scan(bus, record);
      break;
    case kRequestCardInfo:
      if (needs(kCardInfoRecordSize)) result = CardInfo(bus, record);
      break;
    case kRequestCardRegister:
      if (needs(kRegistrationRecordSize)) result = Register(bus, record);
      break;
    case kRequestCardUnregister:
      if (needs(kRegistrationRecordSize)) result = Unregister(bus, record);
      break;
    case kRequestTransfer:
      if (needs(kTransferRecordSize)) result = Transfer(bus, record);
      break;
    case kRequestConfigAccess:
      if (needs(kConfigRecordSize)) result = ConfigAccess(bus, record);
      break;
    case kRequestInterruptEnable:
      if (needs(kInterruptRecordSize)) result = InterruptEnable(bus, record);
      break;
    case kRequestInterruptWait:
      if (needs(kInterruptRecordSize)) result = InterruptWait(bus, lock, record);
      break;
    case kRequestInterruptDisable:
      if (needs(kInterruptRecordSize)) result = InterruptDisable(bus, record);
      break;
    default:
      break;
  }
  *status = result;
}

// In virtual time a pause advances the clock instead of sleeping.
void SleepMs(void *, uint32_t milliseconds) {
  SimBus &bus = Bus();
  {
    std::lock_guard lock(bus.mutex);
    if (bus.clock.Virtual()) {
      bus.clock.Advance(milliseconds / 1000.0);
      bus.idle_polls = 0;  // a program that pauses between its polls has its own pace
      bus.ObserveLocked();
      return;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const DriverBackend kSimBackend = {"sim", nullptr, OpenDevice, CloseDevice, Request, SleepMs};

}  // namespace
}  // namespace kpx::sim

namespace kpx::device {
const DriverBackend &LinkedDriverBackend() { return kpx::sim::kSimBackend; }
}  // namespace kpx::device
