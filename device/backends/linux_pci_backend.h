// Linux back end: answers the driver requests of driver_records.h from the
// kernel's own PCI interfaces, with no driver of its own.
//
//  - scan: the functions under <sysfs>/bus/pci/devices whose `vendor` and
//    `device` match, numbered in domain:bus:device.function order. The
//    scan record's bus field carries the domain too: (domain & 0xFFFFFF) << 8
//    | bus, and the slot field the domain's top byte above the device
//    number: (domain >> 24) << 8 | device.
//  - card info: one resource item per assigned base address register of the
//    `resource` file (memory or I/O, with its register number), and one
//    interrupt item when the `irq` file names a line.
//  - registration: each memory space is mapped with mmap() of its resourceN
//    file; each I/O space keeps its resourceN file open for the transfer
//    request, which reads or writes 2 or 4 bytes there with pread()/pwrite().
//  - configuration access: 4 bytes with pread()/pwrite() on `config`.
//  - interrupts: through the UIO node of uio_pci_generic bound to the card
//    (linux_interrupts.h).
//  - a card bound to vfio-pci is reached through VFIO instead (linux_vfio.h):
//    its memory spaces are mapped, its I/O and configuration spaces read and
//    written, and its interrupt armed through the card's VFIO descriptor, so
//    the program needs no root. The driver a card is bound to chooses: vfio-pci
//    VFIO, uio_pci_generic UIO, none the register files without interrupts.
//    Scan and card info read sysfs in every case.
//
// Statuses a caller can meet, in the driver's codes: 0x2000000F "Device not
// found" (the function or one of its files is gone), 0x20000019 "No
// resources on the device" (a `resource` file with fewer than six base
// address registers, or a resourceN file shorter than its register space),
// 0x20000017 "Failed to map in user space" (a resourceN file that cannot be
// opened, for lack of permission for example, or mapped), 0x2000000C "Failed
// enabling interrupt" (no UIO node bound, or it or `config` cannot be
// opened), 0x2000000D "Interrupt not enabled", 0x20000020 "Operation
// failed" (a transfer or configuration access that moved fewer bytes than
// asked), 0x2000001B "Invalid parameter" (a record that names nothing this
// back end handed out). Enabling an interrupt that is already enabled
// succeeds and changes nothing; the interrupt handle of a card is a handle
// of this instance, naming the function, not the kernel's interrupt line.
// A failure also leaves its reason (the file and the missing permission,
// for example) in the device layer's error detail.
//
// Both roots are parameters so that the back end runs on a fake tree as well
// as on "/sys" and "/dev". One instance is safe to use from several threads;
// an interrupt wait blocks without holding its lock.
#pragma once

#if defined(__linux__)

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/backends/linux_interrupts.h"
#include "device/backends/linux_sysfs.h"
#include "device/backends/linux_vfio.h"
#include "device/driver_backend.h"

namespace kpx::device {

class LinuxPciBackend {
 public:
  LinuxPciBackend(std::string sysfs_root, std::string dev_root);
  // Wakes pending interrupt waits and releases every registration still held.
  ~LinuxPciBackend();
  LinuxPciBackend(const LinuxPciBackend &) = delete;
  LinuxPciBackend &operator=(const LinuxPciBackend &) = delete;

  // The operations to hand to the device layer; their context is this instance.
  const DriverBackend &Operations() const { return operations_; }

 private:
  struct Mapping {
    void *base;
    size_t length;
  };
  struct Registration {
    uint32_t device;  // device handle
    std::vector<Mapping> mappings;
    std::vector<linux_pci::UniqueFd> io_files;
    std::shared_ptr<linux_pci::VfioDevice> vfio;  // a card bound to vfio-pci: its open descriptor
  };
  // An I/O space of a registered card: ports [start, start + length) are
  // bytes [file_offset, file_offset + length) of an open file (resourceN, or
  // the card's VFIO descriptor).
  struct IoWindow {
    uint64_t start;
    uint64_t length;
    int fd;
    uint32_t card_handle;
    uint64_t file_offset;
  };
  // Where a base address register's space is read, written or mapped from.
  struct SpaceFile {
    linux_pci::UniqueFd owned;  // a resourceN file opened for it (none for VFIO)
    int fd = -1;
    uint64_t offset = 0;   // file offset of the first byte of the space
    uint64_t in_page = 0;  // bytes between the page the file maps from and the space
  };

  static DriverHandle OpenDevice(void *context);
  static void CloseDevice(void *context, DriverHandle handle);
  static void Request(void *context, DriverHandle handle, uint32_t code, void *record, uint32_t size,
                      uint32_t *status);
  static void SleepMs(void *context, uint32_t milliseconds);

  uint32_t Dispatch(uint32_t code, uint8_t *record, uint32_t size);
  uint32_t Scan(uint8_t *record);
  uint32_t CardInfo(uint8_t *record);
  uint32_t Register(uint8_t *record);
  uint32_t Unregister(uint8_t *record);
  uint32_t Transfer(uint8_t *record);
  uint32_t ConfigAccess(uint8_t *record);
  uint32_t InterruptEnable(uint8_t *record);
  uint32_t InterruptWait(uint8_t *record);
  uint32_t InterruptDisable(uint8_t *record);

  // Device handle (non-zero) of a PCI function, remembered for the life of
  // the instance. Called with mutex_ held.
  uint32_t DeviceHandleOf(const linux_pci::PciAddress &address);
  // The function a device handle names, or null. Called with mutex_ held.
  const linux_pci::PciAddress *DeviceOf(uint32_t device_handle) const;
  // The function at the slot fields of a record.
  static linux_pci::PciAddress AddressAt(const uint8_t *record, uint32_t off_bus, uint32_t off_slot,
                                         uint32_t off_function);
  linux_pci::SysfsDevice Sysfs(const linux_pci::PciAddress &address) const;
  void ReleaseRegistration(uint32_t card_handle, Registration &registration);
  uint32_t OpenSpace(const linux_pci::SysfsDevice &sysfs, const linux_pci::VfioDevice *vfio, uint32_t bar,
                     const linux_pci::BarInfo &info, SpaceFile &out) const;

  const std::string sysfs_root_;
  const std::string dev_root_;
  const DriverBackend operations_;

  mutable std::mutex mutex_;
  std::set<DriverHandle> handles_;
  DriverHandle next_handle_ = 1;
  std::vector<linux_pci::PciAddress> devices_;  // device handle i + 1
  std::map<uint32_t, Registration> registrations_;  // by card handle
  uint32_t next_card_handle_ = 1;
  std::vector<IoWindow> io_windows_;
  std::map<uint32_t, std::shared_ptr<linux_pci::CardInterrupt>> interrupts_;  // by device handle
  linux_pci::VfioDevices vfio_;
  // The lock of each function's PCI command register, shared by every
  // interrupt object of that function, old and new (by device handle).
  std::map<uint32_t, std::shared_ptr<std::mutex>> command_locks_;
};

}  // namespace kpx::device

#endif  // __linux__
