// A card bound to vfio-pci, reached through the kernel's VFIO interface:
// the card's IOMMU group node /dev/vfio/N is opened and attached to a
// container (/dev/vfio/vfio) with the type-1 IOMMU, and the group hands out
// one file descriptor for the card. Everything then goes through that
// descriptor: each base address register and the configuration space are
// regions at fixed offsets of it (memory spaces mapped with mmap(), I/O
// spaces and the configuration space read and written with pread/pwrite),
// and the interrupt is armed with ioctls on it (linux_vfio_interrupt.h).
//
// The kernel resets the card when its first user opens it and again when the
// last one closes it; the back end opens it at registration and keeps it
// open until the release, so that happens at board init and close only.
//
// Only the owner of /dev/vfio/N needs any permission, so with a udev rule
// that gives the node to the machine's user no part of the program runs
// as root. The IOMMU must be on (firmware and kernel command line): without
// it the card has no group.
#pragma once

#if defined(__linux__)

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "device/backends/linux_sysfs.h"

namespace kpx::device::linux_pci {

// Whether the function is bound to vfio-pci (its sysfs `driver` link).
bool BoundToVfio(const SysfsDevice &device);

// One region of the card's descriptor: where it starts in the file, how
// long it is, and VFIO_REGION_INFO_FLAG_* (read, write, mmap).
struct VfioRegion {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t flags = 0;
};

class VfioGroup;

// An open card: its descriptor, keeping its group and container open.
class VfioDevice {
 public:
  VfioDevice(std::shared_ptr<VfioGroup> group, UniqueFd fd) : group_(std::move(group)), fd_(std::move(fd)) {}
  int Fd() const { return fd_.Get(); }
  // Region information for a base address register (0-5) or the
  // configuration space; false if the kernel gives none.
  bool BarRegion(uint32_t bar, VfioRegion &out) const;
  bool ConfigRegion(VfioRegion &out) const;
  // 4 bytes at `offset` of the configuration space; false if fewer moved.
  bool ConfigAccess(uint32_t offset, void *buffer, bool read) const;

 private:
  std::shared_ptr<VfioGroup> group_;
  UniqueFd fd_;
};

// Opens cards for one back end instance. A group and a card can each be
// opened only once at a time by the kernel, so the instance shares what it
// has open: a card open for its registration is the same one its interrupt
// and configuration accesses use, and cards of one group share the group.
// Everything closes when the last user lets go.
class VfioDevices {
 public:
  explicit VfioDevices(std::string dev_root) : dev_root_(std::move(dev_root)) {}

  // The open card for the function, opening it if needed. On failure
  // returns a driver status (0x2000000F "Device not found" if a node is
  // missing, `failure_status` otherwise), leaves the reason in the device
  // layer's error detail and nothing open.
  uint32_t Open(const SysfsDevice &device, const std::string &name, uint32_t failure_status,
                std::shared_ptr<VfioDevice> &out);

 private:
  uint32_t OpenGroup(const std::string &group, uint32_t failure_status, std::shared_ptr<VfioGroup> &out);

  const std::string dev_root_;
  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<VfioGroup>> groups_;    // by group number
  std::map<std::string, std::weak_ptr<VfioDevice>> devices_;  // by function name
};

}  // namespace kpx::device::linux_pci

#endif  // __linux__
