#if defined(__linux__)

#include "device/backends/linux_pci_backend.h"
#include "device/backends/linux_status.h"

#include <fcntl.h>
#include <linux/vfio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "device/backends/linux_vfio_interrupt.h"
#include "device/driver_records.h"
#include "device/error_text.h"

namespace kpx::device {

using linux_pci::BarTable;
using linux_pci::PciAddress;
using linux_pci::SysfsDevice;
using linux_pci::UniqueFd;
using linux_pci::VfioDevice;

namespace {

using linux_pci::kStatusFailedEnablingInterrupt;
using linux_pci::kStatusDeviceNotFound;
using linux_pci::kStatusInterruptNotEnabled;
using linux_pci::kStatusInvalidParameter;
using linux_pci::kStatusMapFailed;
using linux_pci::kStatusNoResources;
using linux_pci::kStatusOk;
using linux_pci::kStatusOperationFailed;

// The record set this back end answers is the one of driver 12.30.
constexpr uint32_t kReportedDriverVersion = kMinimumDriverVersion;

// Fields of the resource description that only this back end reads back:
// the device handle of the function described (in the gap between the item
// count and the first item), and per item what the registration needs.
constexpr uint32_t kDescOffDeviceHandle = 4;           // u32
constexpr uint32_t kItemOffInterruptLine = 8;          // u32 the `irq` number

// The scan record's bus field: the low 24 bits of the domain above the
// 8-bit bus number. Domains are 32 bits wide (the kernel gives VMD and
// virtual buses numbers from 0x10000 up), so the top 8 bits of the domain
// ride in the slot field above the 5-bit device number: every function
// found can be found again from its three fields.
constexpr uint32_t kBusFieldDomainShift = 8;
constexpr uint32_t kBusFieldBusMask = 0xFF;
constexpr uint32_t kDomainLowBits = 24;
constexpr uint32_t kDomainLowMask = (1u << kDomainLowBits) - 1;
constexpr uint32_t kSlotFieldDomainShift = 8;
constexpr uint32_t kSlotFieldDeviceMask = 0xFF;

uint32_t BusField(const PciAddress &a) { return (a.domain & kDomainLowMask) << kBusFieldDomainShift | a.bus; }
uint32_t SlotField(const PciAddress &a) { return (a.domain >> kDomainLowBits) << kSlotFieldDomainShift | a.device; }

uint8_t *Item(uint8_t *description, uint32_t i) {
  return description + kResourceOffFirstItem + kResourceItemSize * i;
}

uint32_t StatusOfOpenError(int error) {
  return error == ENOENT || error == ENODEV || error == ENXIO ? kStatusDeviceNotFound : kStatusMapFailed;
}

// Opens a resourceN file and checks it covers the whole register space (a
// sysfs resource file is exactly as long as its space).
uint32_t OpenBarFile(const SysfsDevice &device, uint32_t bar, uint64_t length, UniqueFd &out) {
  UniqueFd fd(::open(device.BarFile(bar).c_str(), O_RDWR | O_CLOEXEC));
  if (!fd.Valid()) {
    const int error = errno;
    SetErrorDetail("cannot open %s for reading and writing: %s%s\n", device.BarFile(bar).c_str(),
                   std::strerror(error),
                   error == EACCES ? " (a card's register files belong to root; bind the card to vfio-pci to "
                                     "run without root)"
                                   : "");
    return StatusOfOpenError(error);
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return kStatusMapFailed;
  if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) < length) return kStatusNoResources;
  out = std::move(fd);
  return kStatusOk;
}

}  // namespace

LinuxPciBackend::LinuxPciBackend(std::string sysfs_root, std::string dev_root)
    : sysfs_root_(std::move(sysfs_root)),
      dev_root_(std::move(dev_root)),
      operations_{"linux-sysfs", this, OpenDevice, CloseDevice, Request, SleepMs},
      vfio_(dev_root_) {}

LinuxPciBackend::~LinuxPciBackend() {
  std::map<uint32_t, std::shared_ptr<linux_pci::CardInterrupt>> interrupts;
  {
    std::lock_guard lock(mutex_);
    interrupts.swap(interrupts_);
    for (auto &[card_handle, registration] : registrations_) ReleaseRegistration(card_handle, registration);
    registrations_.clear();
    for (auto &[device, irq] : interrupts) irq->Stop();
  }
}

// ---- Handles ---------------------------------------------------------------

DriverHandle LinuxPciBackend::OpenDevice(void *context) {
  auto &self = *static_cast<LinuxPciBackend *>(context);
  // "The driver" is the kernel's PCI directory: without it there is nothing
  // this back end could answer.
  if (::access(linux_pci::PciDevicesDir(self.sysfs_root_).c_str(), R_OK | X_OK) != 0) return kInvalidDriverHandle;
  std::lock_guard lock(self.mutex_);
  const DriverHandle handle = self.next_handle_++;
  if (self.next_handle_ == kInvalidDriverHandle || self.next_handle_ <= 0) self.next_handle_ = 1;
  self.handles_.insert(handle);
  return handle;
}

void LinuxPciBackend::CloseDevice(void *context, DriverHandle handle) {
  auto &self = *static_cast<LinuxPciBackend *>(context);
  std::lock_guard lock(self.mutex_);
  self.handles_.erase(handle);
}

void LinuxPciBackend::SleepMs(void *, uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void LinuxPciBackend::Request(void *context, DriverHandle handle, uint32_t code, void *record, uint32_t size,
                              uint32_t *status) {
  auto &self = *static_cast<LinuxPciBackend *>(context);
  ClearErrorDetail();  // a reason left behind belongs to this request only
  bool known;
  {
    std::lock_guard lock(self.mutex_);
    known = self.handles_.count(handle) != 0;
  }
  *status = known && record != nullptr ? self.Dispatch(code, static_cast<uint8_t *>(record), size)
                                       : kStatusInvalidParameter;
}

uint32_t LinuxPciBackend::Dispatch(uint32_t code, uint8_t *record, uint32_t size) {
  const auto fits = [size](uint32_t expected) { return size >= expected; };
  switch (code) {
    case kRequestVersion:
      if (!fits(kVersionRecordSize)) break;
      PutU32(record, kVersionOffVersion, kReportedDriverVersion);
      return kStatusOk;
    case kRequestPciScan:
      return fits(kScanRecordSize) ? Scan(record) : kStatusInvalidParameter;
    case kRequestCardInfo:
      return fits(kCardInfoRecordSize) ? CardInfo(record) : kStatusInvalidParameter;
    case kRequestCardRegister:
      return fits(kRegistrationRecordSize) ? Register(record) : kStatusInvalidParameter;
    case kRequestCardUnregister:
      return fits(kRegistrationRecordSize) ? Unregister(record) : kStatusInvalidParameter;
    case kRequestTransfer:
      return fits(kTransferRecordSize) ? Transfer(record) : kStatusInvalidParameter;
    case kRequestConfigAccess:
      return fits(kConfigRecordSize) ? ConfigAccess(record) : kStatusInvalidParameter;
    case kRequestInterruptEnable:
      return fits(kInterruptRecordSize) ? InterruptEnable(record) : kStatusInvalidParameter;
    case kRequestInterruptWait:
      return fits(kInterruptRecordSize) ? InterruptWait(record) : kStatusInvalidParameter;
    case kRequestInterruptDisable:
      return fits(kInterruptRecordSize) ? InterruptDisable(record) : kStatusInvalidParameter;
    default:
      break;
  }
  return kStatusInvalidParameter;
}

// ---- Devices -----------------------------------------------------------------

uint32_t LinuxPciBackend::DeviceHandleOf(const PciAddress &address) {
  for (size_t i = 0; i < devices_.size(); ++i)
    if (devices_[i] == address) return static_cast<uint32_t>(i + 1);
  devices_.push_back(address);
  return static_cast<uint32_t>(devices_.size());
}

const PciAddress *LinuxPciBackend::DeviceOf(uint32_t device_handle) const {
  if (device_handle == 0 || device_handle > devices_.size()) return nullptr;
  return &devices_[device_handle - 1];
}

PciAddress LinuxPciBackend::AddressAt(const uint8_t *record, uint32_t off_bus, uint32_t off_slot,
                                      uint32_t off_function) {
  const uint32_t bus_field = GetU32(record, off_bus);
  const uint32_t slot_field = GetU32(record, off_slot);
  const uint32_t domain = (slot_field >> kSlotFieldDomainShift) << kDomainLowBits | bus_field >> kBusFieldDomainShift;
  return {domain, bus_field & kBusFieldBusMask, slot_field & kSlotFieldDeviceMask, GetU32(record, off_function)};
}

SysfsDevice LinuxPciBackend::Sysfs(const PciAddress &address) const {
  return SysfsDevice(sysfs_root_, linux_pci::PciName(address));
}

uint32_t LinuxPciBackend::Scan(uint8_t *record) {
  std::vector<PciAddress> found;
  if (!linux_pci::ScanPciDevices(sysfs_root_, GetU32(record, kScanOffVendor), GetU32(record, kScanOffDevice), found))
    return kStatusDeviceNotFound;
  const uint32_t count = found.size() < kScanMaxCards ? static_cast<uint32_t>(found.size()) : kScanMaxCards;
  PutU32(record, kScanOffCardCount, count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = kScanOffFirstSlot + kScanSlotSize * i;
    PutU32(record, at, BusField(found[i]));
    PutU32(record, at + 4, SlotField(found[i]));
    PutU32(record, at + 8, found[i].function);
  }
  return kStatusOk;
}

uint32_t LinuxPciBackend::CardInfo(uint8_t *record) {
  const PciAddress address = AddressAt(record, kCardInfoOffBus, kCardInfoOffSlot, kCardInfoOffFunction);
  const SysfsDevice sysfs = Sysfs(address);
  struct stat st {};
  if (::stat(sysfs.Dir().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kStatusDeviceNotFound;
  BarTable bars;
  if (!linux_pci::ReadBarTable(sysfs, bars)) return kStatusNoResources;
  const uint32_t irq_line = linux_pci::ReadIrqLine(sysfs);

  uint32_t device_handle;
  {
    std::lock_guard lock(mutex_);
    device_handle = DeviceHandleOf(address);
  }
  uint8_t *description = record + kCardInfoOffResources;
  std::memset(description, 0, kResourceDescriptionSize);
  PutU32(description, kDescOffDeviceHandle, device_handle);
  uint32_t n = 0;
  for (uint32_t bar = 0; bar < linux_pci::kBarCount; ++bar) {
    uint8_t *item = Item(description, n);
    if (bars[bar].IsMemory()) {
      PutU32(item, kItemOffType, kItemTypeMemory);
      PutU64(item, kItemOffMemoryPhysical, bars[bar].start);
      PutU64(item, kItemOffMemoryLength, bars[bar].Length());
      PutU64(item, kItemOffMemoryUserAddress, 0);  // mapped at registration
      PutU32(item, kItemOffMemoryBar, bar);
      ++n;
    } else if (bars[bar].IsIo()) {
      PutU32(item, kItemOffType, kItemTypeIo);
      PutU64(item, kItemOffIoPortAddress, bars[bar].start);
      PutU32(item, kItemOffIoBar, bar);
      PutU32(item, kItemOffIoLength, static_cast<uint32_t>(bars[bar].Length()));
      ++n;
    }
  }
  if (irq_line != 0) {
    // The interrupt handle names the function, so the enable, wait and
    // disable requests find its UIO node again.
    uint8_t *item = Item(description, n++);
    PutU32(item, kItemOffType, kItemTypeInterrupt);
    PutU32(item, kItemOffInterruptLine, irq_line);
    PutU32(item, kItemOffInterruptHandle, device_handle);
  }
  PutU32(description, kResourceOffItemCount, n);
  return kStatusOk;
}

// ---- Registration ------------------------------------------------------------

void LinuxPciBackend::ReleaseRegistration(uint32_t card_handle, Registration &registration) {
  for (const Mapping &m : registration.mappings) ::munmap(m.base, m.length);
  registration.mappings.clear();
  std::erase_if(io_windows_, [card_handle](const IoWindow &w) { return w.card_handle == card_handle; });
  registration.io_files.clear();
  registration.vfio.reset();  // closes the card's VFIO descriptor once nothing else uses it
}

uint32_t LinuxPciBackend::OpenSpace(const SysfsDevice &sysfs, const VfioDevice *vfio, uint32_t bar,
                                    const linux_pci::BarInfo &info, SpaceFile &out) const {
  if (vfio == nullptr) {
    const uint32_t status = OpenBarFile(sysfs, bar, info.Length(), out.owned);
    out.fd = out.owned.Get();
    return status;
  }
  // The card's VFIO region: the space from its first byte, mappable if the
  // kernel says so (a memory space must be, as the library reaches it by address).
  linux_pci::VfioRegion region;
  if (!vfio->BarRegion(bar, region) || region.size < info.Length()) {
    SetErrorDetail("VFIO reports no region of %llu bytes for space %u\n",
                   static_cast<unsigned long long>(info.Length()), bar);
    return kStatusNoResources;
  }
  if (info.IsMemory() && (region.flags & VFIO_REGION_INFO_FLAG_MMAP) == 0) {
    SetErrorDetail("VFIO cannot map memory space %u (smaller than a page and not page aligned?)\n", bar);
    return kStatusMapFailed;
  }
  out.fd = vfio->Fd();
  out.offset = region.offset;
  return kStatusOk;
}

uint32_t LinuxPciBackend::Register(uint8_t *record) {
  const uint32_t device_handle = GetU32(record, kRegistrationOffResources + kDescOffDeviceHandle);
  PciAddress address;
  {
    std::lock_guard lock(mutex_);
    const PciAddress *known = DeviceOf(device_handle);
    if (known == nullptr) return kStatusInvalidParameter;
    address = *known;
  }
  const SysfsDevice sysfs = Sysfs(address);
  BarTable bars;
  if (!linux_pci::ReadBarTable(sysfs, bars)) return kStatusNoResources;

  // A card bound to vfio-pci is registered through its VFIO descriptor.
  std::shared_ptr<VfioDevice> vfio;
  if (linux_pci::BoundToVfio(sysfs)) {
    const uint32_t status = vfio_.Open(sysfs, linux_pci::PciName(address), kStatusMapFailed, vfio);
    if (status != kStatusOk) return status;
  }
  Registration registration{device_handle, {}, {}, vfio};
  std::vector<IoWindow> windows;
  const auto fail = [&registration](uint32_t status) {
    for (const Mapping &m : registration.mappings) ::munmap(m.base, m.length);
    return status;
  };
  const long page = ::sysconf(_SC_PAGESIZE);
  const uint64_t page_mask = page > 0 ? static_cast<uint64_t>(page) - 1 : 4095;

  uint8_t *description = record + kRegistrationOffResources;
  uint32_t items = GetU32(description, kResourceOffItemCount);
  if (items > kResourceMaxItems) items = kResourceMaxItems;
  for (uint32_t i = 0; i < items; ++i) {
    uint8_t *item = Item(description, i);
    const uint32_t type = GetU32(item, kItemOffType);
    if (type == kItemTypeMemory) {
      const uint32_t bar = GetU32(item, kItemOffMemoryBar);
      if (bar >= linux_pci::kBarCount || !bars[bar].IsMemory()) return fail(kStatusNoResources);
      SpaceFile file;
      const uint32_t status = OpenSpace(sysfs, vfio.get(), bar, bars[bar], file);
      if (status != kStatusOk) return fail(status);
      // A resourceN file maps from the page that holds the start of the
      // space; a space smaller than a page need not start on a page boundary.
      if (!vfio) file.in_page = bars[bar].start & page_mask;
      const size_t length = static_cast<size_t>(file.in_page + bars[bar].Length());
      void *base =
          ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, file.fd, static_cast<off_t>(file.offset));
      if (base == MAP_FAILED) {
        SetErrorDetail("cannot map memory space %u of %s: %s\n", bar, linux_pci::PciName(address).c_str(),
                       std::strerror(errno));
        return fail(kStatusMapFailed);
      }
      registration.mappings.push_back({base, length});
      PutU64(item, kItemOffMemoryUserAddress, reinterpret_cast<uintptr_t>(base) + file.in_page);
    } else if (type == kItemTypeIo) {
      const uint32_t bar = GetU32(item, kItemOffIoBar);
      if (bar >= linux_pci::kBarCount || !bars[bar].IsIo()) return fail(kStatusNoResources);
      SpaceFile file;
      const uint32_t status = OpenSpace(sysfs, vfio.get(), bar, bars[bar], file);
      if (status != kStatusOk) return fail(status);
      windows.push_back({bars[bar].start, bars[bar].Length(), file.fd, 0, file.offset});
      if (file.owned.Valid()) registration.io_files.push_back(std::move(file.owned));
    }
  }

  std::lock_guard lock(mutex_);
  uint32_t card_handle = next_card_handle_++;
  if (next_card_handle_ == 0) next_card_handle_ = 1;
  while (card_handle == 0 || registrations_.count(card_handle) != 0) card_handle = next_card_handle_++;
  for (IoWindow &w : windows) {
    w.card_handle = card_handle;
    io_windows_.push_back(w);
  }
  registrations_.emplace(card_handle, std::move(registration));
  PutU32(record, kRegistrationOffCardHandle, card_handle);
  return kStatusOk;
}

uint32_t LinuxPciBackend::Unregister(uint8_t *record) {
  const uint32_t card_handle = GetU32(record, kRegistrationOffCardHandle);
  std::shared_ptr<linux_pci::CardInterrupt> orphan;
  {
    std::lock_guard lock(mutex_);
    auto it = registrations_.find(card_handle);
    if (it == registrations_.end()) return kStatusInvalidParameter;
    const uint32_t device = it->second.device;
    ReleaseRegistration(card_handle, it->second);
    registrations_.erase(it);
    // The last registration of a function takes its interrupt with it, so
    // a card released with interrupts on leaves no wait behind.
    bool still_registered = false;
    for (const auto &[handle, other] : registrations_) still_registered |= other.device == device;
    if (!still_registered) {
      auto irq = interrupts_.find(device);
      if (irq != interrupts_.end()) {
        orphan = std::move(irq->second);
        interrupts_.erase(irq);
        orphan->Stop();  // under the lock, like a disable
      }
    }
  }
  return kStatusOk;
}

// ---- Port transfers and configuration space ----------------------------------

uint32_t LinuxPciBackend::Transfer(uint8_t *record) {
  const uint64_t address = GetU64(record, kTransferOffAddress);
  const uint32_t kind = GetU32(record, kTransferOffKind);
  const uint32_t bytes = GetU32(record, kTransferOffBytes);
  auto *buffer = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(GetU64(record, kTransferOffBuffer)));
  const bool read = kind == kTransferRead16 || kind == kTransferRead32;
  const bool write = kind == kTransferWrite16 || kind == kTransferWrite32;
  const uint32_t width = kind == kTransferRead32 || kind == kTransferWrite32 ? 4 : 2;
  if (buffer == nullptr || !(read || write) || bytes != width) return kStatusInvalidParameter;

  // The lock keeps the window's file open for the whole access.
  std::lock_guard lock(mutex_);
  for (const IoWindow &w : io_windows_) {
    if (w.length < bytes || address < w.start || address - w.start > w.length - bytes) continue;
    const off_t offset = static_cast<off_t>(w.file_offset + (address - w.start));
    const long n = read ? linux_pci::PreadRetrying(w.fd, buffer, bytes, offset)
                        : linux_pci::PwriteRetrying(w.fd, buffer, bytes, offset);
    return n == static_cast<long>(bytes) ? kStatusOk : kStatusOperationFailed;
  }
  return kStatusInvalidParameter;
}

uint32_t LinuxPciBackend::ConfigAccess(uint8_t *record) {
  const PciAddress address = AddressAt(record, kConfigOffBus, kConfigOffSlot, kConfigOffFunction);
  auto *buffer = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(GetU64(record, kConfigOffBuffer)));
  const uint32_t offset = GetU32(record, kConfigOffOffset);
  const bool read = GetU32(record, kConfigOffReadFlag) == 1;
  if (buffer == nullptr || GetU32(record, kConfigOffBytes) != 4) return kStatusInvalidParameter;
  // A card bound to vfio-pci: through its configuration region, which shows
  // the whole space to the owner of its group (the sysfs file shows an
  // unprivileged process only the header).
  const SysfsDevice sysfs = Sysfs(address);
  if (linux_pci::BoundToVfio(sysfs)) {
    std::shared_ptr<VfioDevice> vfio;
    const uint32_t status = vfio_.Open(sysfs, linux_pci::PciName(address), kStatusOperationFailed, vfio);
    if (status != kStatusOk) return status;
    return vfio->ConfigAccess(offset, buffer, read) ? kStatusOk : kStatusOperationFailed;
  }
  // Opened for this access only: an application that never touches the
  // configuration space needs no permission on it.
  const std::string path = sysfs.File("config");
  UniqueFd fd(::open(path.c_str(), (read ? O_RDONLY : O_WRONLY) | O_CLOEXEC));
  if (!fd.Valid()) return errno == ENOENT ? kStatusDeviceNotFound : kStatusOperationFailed;
  const long n = read ? linux_pci::PreadRetrying(fd.Get(), buffer, 4, offset)
                      : linux_pci::PwriteRetrying(fd.Get(), buffer, 4, offset);
  return n == 4 ? kStatusOk : kStatusOperationFailed;
}

// ---- Interrupts ----------------------------------------------------------------

uint32_t LinuxPciBackend::InterruptEnable(uint8_t *record) {
  const uint32_t device_handle = GetU32(record, kInterruptOffHandle);
  std::lock_guard lock(mutex_);
  const PciAddress *address = DeviceOf(device_handle);
  if (address == nullptr) return kStatusInvalidParameter;
  if (interrupts_.count(device_handle) != 0) return kStatusOk;  // already armed
  const SysfsDevice sysfs = Sysfs(*address);
  std::shared_ptr<linux_pci::CardInterrupt> irq;
  if (linux_pci::BoundToVfio(sysfs)) {
    std::shared_ptr<VfioDevice> vfio;
    uint32_t status = vfio_.Open(sysfs, linux_pci::PciName(*address), kStatusFailedEnablingInterrupt, vfio);
    if (status == kStatusOk) status = linux_pci::VfioInterrupt::Start(std::move(vfio), irq);
    if (status != kStatusOk) return status;
    interrupts_.emplace(device_handle, std::move(irq));
    return kStatusOk;
  }
  const std::string node = linux_pci::FindUioNode(sysfs);
  if (node.empty()) {
    SetErrorDetail("%s is bound to no driver that delivers its interrupt: bind it to vfio-pci or uio_pci_generic\n",
                   linux_pci::PciName(*address).c_str());
    return kStatusFailedEnablingInterrupt;
  }
  std::shared_ptr<std::mutex> &command_lock = command_locks_[device_handle];
  if (!command_lock) command_lock = std::make_shared<std::mutex>();
  std::shared_ptr<linux_pci::UioInterrupt> uio;
  const uint32_t status =
      linux_pci::UioInterrupt::Start(dev_root_ + "/" + node, sysfs.File("config"), command_lock, uio);
  if (status != kStatusOk) return status;
  interrupts_.emplace(device_handle, std::move(uio));
  return kStatusOk;
}

uint32_t LinuxPciBackend::InterruptWait(uint8_t *record) {
  std::shared_ptr<linux_pci::CardInterrupt> irq;
  {
    std::lock_guard lock(mutex_);
    auto it = interrupts_.find(GetU32(record, kInterruptOffHandle));
    if (it != interrupts_.end()) irq = it->second;
  }
  if (!irq) {
    PutU32(record, kInterruptOffOutcome, kInterruptOutcomeDisabled);
    return kStatusOk;
  }
  // Blocks without the lock; the reference keeps the UIO node open even if
  // the interrupt is disabled meanwhile.
  const linux_pci::CardInterrupt::WaitResult r = irq->Wait();
  PutU32(record, kInterruptOffCount, r.count);
  PutU32(record, kInterruptOffLost, r.lost);
  PutU32(record, kInterruptOffOutcome, r.outcome);
  return kStatusOk;
}

uint32_t LinuxPciBackend::InterruptDisable(uint8_t *record) {
  // The mask is written before the lock is let go: an enable that follows
  // at once unmasks after it, never before.
  std::lock_guard lock(mutex_);
  auto it = interrupts_.find(GetU32(record, kInterruptOffHandle));
  if (it == interrupts_.end()) return kStatusInterruptNotEnabled;
  const std::shared_ptr<linux_pci::CardInterrupt> irq = std::move(it->second);
  interrupts_.erase(it);
  return irq->Stop();
}

}  // namespace kpx::device

#endif  // __linux__
