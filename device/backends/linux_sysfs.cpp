#if defined(__linux__)

#include "device/backends/linux_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kpx::device::linux_pci {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {
// Value of text[at, at + length) if it is all hexadecimal digits.
bool HexField(const std::string &text, size_t at, size_t length, uint32_t &value) {
  if (length == 0 || length > 8 || at + length > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + length; ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}
}  // namespace

bool ParsePciName(const std::string &name, PciAddress &out) {
  // The kernel names functions "%04x:%02x:%02x.%x": a domain of at least
  // four digits, then exactly two, two and one.
  const size_t colon = name.find(':');
  if (colon == std::string::npos || colon < 4 || name.size() != colon + 8) return false;
  if (name[colon + 3] != ':' || name[colon + 6] != '.') return false;
  PciAddress a;
  if (!HexField(name, 0, colon, a.domain) || !HexField(name, colon + 1, 2, a.bus) ||
      !HexField(name, colon + 4, 2, a.device) || !HexField(name, colon + 7, 1, a.function))
    return false;
  // Device 0-31, function 0-7: anything else is not a PCI function.
  if (a.device > 0x1F || a.function > 7) return false;
  out = a;
  return true;
}

std::string PciName(const PciAddress &a) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", a.domain, a.bus, a.device, a.function);
  return text;
}

SysfsDevice::SysfsDevice(const std::string &sysfs_root, const std::string &name)
    : dir_(PciDevicesDir(sysfs_root) + "/" + name) {}

std::string PciDevicesDir(const std::string &sysfs_root) { return sysfs_root + "/bus/pci/devices"; }

long PreadRetrying(int fd, void *buffer, std::size_t bytes, long long offset) {
  ssize_t n;
  do n = ::pread(fd, buffer, bytes, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n;
}

long PwriteRetrying(int fd, const void *buffer, std::size_t bytes, long long offset) {
  ssize_t n;
  do n = ::pwrite(fd, buffer, bytes, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n;
}

bool ReadSmallFile(const std::string &path, std::string &text) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return false;
  text.clear();
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > 64 * 1024) return false;  // no sysfs attribute is this long
  }
}

namespace {

// A hexadecimal ID file such as `vendor` ("0x0003\n").
bool ReadHexId(const std::string &path, uint32_t &value) {
  std::string text;
  if (!ReadSmallFile(path, text)) return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (errno != 0 || end == text.c_str() || v > 0xFFFFFFFFul) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool ScanPciDevices(const std::string &sysfs_root, uint32_t vendor_id, uint32_t device_id,
                    std::vector<PciAddress> &found) {
  found.clear();
  DIR *dir = ::opendir(PciDevicesDir(sysfs_root).c_str());
  if (dir == nullptr) return false;
  while (const dirent *entry = ::readdir(dir)) {
    PciAddress address;
    if (!ParsePciName(entry->d_name, address)) continue;
    const SysfsDevice device(sysfs_root, entry->d_name);
    uint32_t vendor = 0, id = 0;
    if (!ReadHexId(device.File("vendor"), vendor) || !ReadHexId(device.File("device"), id)) continue;
    if (vendor == vendor_id && id == device_id) found.push_back(address);
  }
  ::closedir(dir);
  // Directory order is arbitrary; card numbers must not change from one
  // scan to the next, so the cards are numbered in bus order.
  std::sort(found.begin(), found.end());
  return true;
}

bool ReadBarTable(const SysfsDevice &device, BarTable &bars) {
  std::string text;
  if (!ReadSmallFile(device.File("resource"), text)) return false;
  size_t at = 0;
  for (uint32_t bar = 0; bar < kBarCount; ++bar) {
    const size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return false;  // a missing or cut-off line
    const std::string line = text.substr(at, eol - at);
    at = eol + 1;
    unsigned long long start = 0, end = 0, flags = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%llx %llx %llx%n", &start, &end, &flags, &consumed) != 3) return false;
    bars[bar] = {start, end, flags};
  }
  return true;
}

uint32_t ReadIrqLine(const SysfsDevice &device) {
  std::string text;
  if (!ReadSmallFile(device.File("irq"), text)) return 0;
  char *end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || v > 0xFFFFFFFFul) return 0;
  return static_cast<uint32_t>(v);
}

std::string FindUioNode(const SysfsDevice &device) {
  DIR *dir = ::opendir(device.File("uio").c_str());
  if (dir == nullptr) return {};
  std::string node;
  while (const dirent *entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 3 && name.compare(0, 3, "uio") == 0 &&
        name.find_first_not_of("0123456789", 3) == std::string::npos) {
      // One UIO driver binds one node; take the lowest if a tree has more.
      if (node.empty() || name.size() < node.size() || (name.size() == node.size() && name < node)) node = name;
    }
  }
  ::closedir(dir);
  return node;
}

}  // namespace kpx::device::linux_pci

#endif  // __linux__
