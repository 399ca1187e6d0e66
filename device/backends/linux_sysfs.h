// What the Linux back end reads from the kernel's PCI interfaces in sysfs:
// the devices under bus/pci/devices, their IDs, their base address
// registers (the `resource` file), their interrupt line and their UIO node.
// Every path is taken relative to a sysfs root given by the caller, so the
// same code runs on /sys and on a fake tree in a test folder.
#pragma once

#if defined(__linux__)

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kpx::device::linux_pci {

// A file descriptor closed when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd &&other) noexcept : fd_(other.Release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept;
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

// Domain, bus, device and function of a PCI function, as in its sysfs name
// "dddd:bb:dd.f".
struct PciAddress {
  uint32_t domain = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;

  auto operator<=>(const PciAddress &) const = default;
};

// Parses a sysfs device name; false if it is not one.
bool ParsePciName(const std::string &name, PciAddress &out);
// The sysfs name of an address.
std::string PciName(const PciAddress &address);

// Flags of a `resource` line that tell the kind of a base address register.
inline constexpr uint64_t kResourceFlagIo = 1u << 8;   // port I/O space
inline constexpr uint64_t kResourceFlagMem = 1u << 9;  // memory space

// One base address register as the kernel reports it.
struct BarInfo {
  uint64_t start = 0;
  uint64_t end = 0;
  uint64_t flags = 0;

  bool IsIo() const { return (flags & kResourceFlagIo) != 0 && Length() != 0; }
  bool IsMemory() const { return (flags & kResourceFlagMem) != 0 && Length() != 0; }
  // Unassigned registers read as start = end = 0.
  uint64_t Length() const { return end > start ? end - start + 1 : 0; }
};

inline constexpr uint32_t kBarCount = 6;
using BarTable = std::array<BarInfo, kBarCount>;

// Paths of one device's files under the sysfs root.
class SysfsDevice {
 public:
  SysfsDevice(const std::string &sysfs_root, const std::string &name);
  const std::string &Dir() const { return dir_; }
  std::string File(const std::string &leaf) const { return dir_ + "/" + leaf; }
  // resourceN: the file through which BAR n is mapped or accessed.
  std::string BarFile(uint32_t bar) const { return File("resource" + std::to_string(bar)); }

 private:
  std::string dir_;
};

// Directory of all PCI functions under a sysfs root.
std::string PciDevicesDir(const std::string &sysfs_root);

// The names of the functions with these IDs, sorted by domain, bus, device,
// function. False if the devices directory cannot be listed.
bool ScanPciDevices(const std::string &sysfs_root, uint32_t vendor_id, uint32_t device_id,
                    std::vector<PciAddress> &found);

// Reads the six base address registers from the device's `resource` file
// (one "start end flags" line each, in hexadecimal; further lines, the
// expansion ROM and bridge windows, are not base address registers). False
// if the file cannot be read or has fewer than six well-formed lines.
bool ReadBarTable(const SysfsDevice &device, BarTable &bars);

// The interrupt line from the device's `irq` file; 0 if there is none or
// the file cannot be read.
uint32_t ReadIrqLine(const SysfsDevice &device);

// The UIO node bound to the device ("uio3"), from its uio/ folder; empty if
// no UIO driver is bound.
std::string FindUioNode(const SysfsDevice &device);

// A whole small file as text; false if it cannot be read.
bool ReadSmallFile(const std::string &path, std::string &text);

// pread()/pwrite() retried while a signal interrupts them before any byte
// moved (EINTR): the application's signal handlers must not turn into a
// failed register access.
long PreadRetrying(int fd, void *buffer, std::size_t bytes, long long offset);
long PwriteRetrying(int fd, const void *buffer, std::size_t bytes, long long offset);

}  // namespace kpx::device::linux_pci

#endif  // __linux__
