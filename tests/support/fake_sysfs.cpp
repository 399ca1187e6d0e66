#include "support/fake_sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace kpx::test {
namespace fs = std::filesystem;

FakeSysfs::FakeSysfs() {
  char pattern[] = "/tmp/kpx4160-sysfs-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
  root_ = pattern;
  fs::create_directories(root_ + "/sys/bus/pci/devices");
  fs::create_directories(root_ + "/dev/vfio");  // where the VFIO container sits, if the module is loaded
}

FakeSysfs::~FakeSysfs() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void FakeSysfs::Add(const FakeFunction &f) {
  fs::create_directories(DeviceDir(f.name));
  char text[160];
  WriteText(f.name, "vendor", std::string(text, std::snprintf(text, sizeof text, "0x%04x\n", f.vendor)));
  WriteText(f.name, "device", std::string(text, std::snprintf(text, sizeof text, "0x%04x\n", f.device)));
  WriteText(f.name, "irq", std::to_string(f.irq) + "\n");
  // Six base address registers, then the expansion ROM line the kernel
  // always adds; unassigned registers are all zero. Flags: IORESOURCE_MEM
  // or IORESOURCE_IO, with the size-aligned bit.
  const uint64_t bar1 = f.io_registers ? 0xD000 + 0x100 * f.n : 0xFEBF0000 + 0x1000 * f.n;  // first port or address
  std::snprintf(text, sizeof text, "0x%016llx 0x%016llx 0x%016x\n0x%016llx 0x%016llx 0x%016x\n",
                0xFE000000ull + 0x10000 * f.n, 0xFE000FFFull + 0x10000 * f.n, 0x40200,
                static_cast<unsigned long long>(bar1), static_cast<unsigned long long>(bar1 + 0xFF),
                f.io_registers ? 0x101 : 0x40200);
  std::string resource = text;
  for (int unassigned = 2; unassigned < 7; ++unassigned)
    resource += "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
  WriteText(f.name, "resource", f.resource.empty() ? resource : f.resource);
  // resourceN and config: regular files of the space's length, zero-filled.
  const std::pair<const char *, long> files[] = {{"resource0", 4096}, {"resource1", f.bar1_file_size}, {"config", 256}};
  for (const auto &[leaf, size] : files) {
    WriteText(f.name, leaf, "");
    fs::resize_file(DeviceDir(f.name) + "/" + leaf, static_cast<uintmax_t>(size));
  }
  Write(DeviceDir(f.name) + "/config", 0, f.device << 16 | f.vendor);
  Write(DeviceDir(f.name) + "/config", 4, 0x0407, 2);  // I/O, memory, bus master, INTx disable
  if (f.uio < 0) return;
  fs::create_directories(DeviceDir(f.name) + "/uio/uio" + std::to_string(f.uio));
  if (::mkfifo((DevRoot() + "/uio" + std::to_string(f.uio)).c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
}

void FakeSysfs::WriteText(const std::string &name, const std::string &leaf, const std::string &text) {
  std::ofstream out(DeviceDir(name) + "/" + leaf, std::ios::binary | std::ios::trunc);
  if (!(out << text)) throw std::runtime_error(DeviceDir(name) + "/" + leaf);
}

uint32_t FakeSysfs::Read(const std::string &path, uint32_t offset, uint32_t bytes) {
  uint32_t value = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.seekg(offset).read(reinterpret_cast<char *>(&value), bytes)) throw std::runtime_error(path);
  return value;
}

void FakeSysfs::Write(const std::string &path, uint32_t offset, uint32_t value, uint32_t bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  if (!out.seekp(offset).write(reinterpret_cast<const char *>(&value), bytes)) throw std::runtime_error(path);
}

void FakeSysfs::RaiseInterrupt(int uio, uint32_t total) const {
  // Read-write, so the open never waits for a reader; the back end holds the
  // node open while interrupts are enabled, so the bytes stay queued for it.
  const int fd = ::open((DevRoot() + "/uio" + std::to_string(uio)).c_str(), O_RDWR | O_NONBLOCK);
  const bool ok = fd >= 0 && ::write(fd, &total, sizeof total) == sizeof total;
  if (fd < 0 || ::close(fd) != 0 || !ok) throw std::runtime_error("uio" + std::to_string(uio));
}

unsigned OpenFdCount() { return static_cast<unsigned>(std::distance(fs::directory_iterator("/proc/self/fd"), {})); }

unsigned MappingsUnder(const std::string &prefix) {
  std::ifstream maps("/proc/self/maps");
  unsigned n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find(prefix) != std::string::npos;
  return n;
}

}  // namespace kpx::test
