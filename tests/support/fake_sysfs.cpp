#include "support/fake_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace kpx::test {
namespace {

constexpr uint64_t kFlagIo = 0x101;    // IORESOURCE_IO | size-aligned
constexpr uint64_t kFlagMem = 0x40200;  // IORESOURCE_MEM | IORESOURCE_SIZEALIGN
constexpr uint32_t kConfigSize = 256;
constexpr uint16_t kCommandIntxMasked = 0x0407;  // I/O, memory, bus master, INTx disable

void Check(bool ok, const std::string &what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakeDir(const std::string &path) { Check(::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST, path); }

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  Check(static_cast<bool>(out), path);
}

void SizeFile(const std::string &path, int64_t size) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  Check(fd >= 0, path);
  const bool ok = ::ftruncate(fd, size) == 0;
  ::close(fd);
  Check(ok, path);
}

int RemoveEntry(const char *path, const struct stat *, int, FTW *) { return ::remove(path); }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

FakeFunction KpxCard(const std::string &name, bool io_registers, uint32_t n, int uio) {
  FakeFunction f;
  f.name = name;
  f.bars.push_back({0, false, 0xFE000000 + 0x10000ull * n, 0x1000});
  f.bars.push_back({1, io_registers, io_registers ? KpxCardPort(n) : 0xFEBF0000 + 0x1000ull * n, 0x100});
  f.uio = uio;
  return f;
}

FakeSysfs::FakeSysfs() {
  char pattern[] = "/tmp/kpx4160-sysfs-XXXXXX";
  Check(::mkdtemp(pattern) != nullptr, "mkdtemp");
  root_ = pattern;
  // Traversable by every user: a test may run the library as another one.
  Check(::chmod(root_.c_str(), 0755) == 0, root_);
  for (const char *dir : {"/sys", "/sys/bus", "/sys/bus/pci", "/sys/bus/pci/devices", "/dev"}) MakeDir(root_ + dir);
}

FakeSysfs::~FakeSysfs() { ::nftw(root_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string FakeSysfs::DeviceDir(const std::string &name) const { return SysRoot() + "/bus/pci/devices/" + name; }
std::string FakeSysfs::BarPath(const std::string &name, uint32_t bar) const {
  return DeviceDir(name) + "/resource" + std::to_string(bar);
}
std::string FakeSysfs::ConfigPath(const std::string &name) const { return DeviceDir(name) + "/config"; }

void FakeSysfs::Add(const FakeFunction &f) {
  const std::string dir = DeviceDir(f.name);
  MakeDir(dir);
  char id[16];
  std::snprintf(id, sizeof id, "0x%04x\n", f.vendor);
  WriteFile(dir + "/vendor", id);
  std::snprintf(id, sizeof id, "0x%04x\n", f.device);
  WriteFile(dir + "/device", id);
  WriteFile(dir + "/irq", std::to_string(f.irq) + "\n");

  // Six base address registers, then the expansion ROM line the kernel
  // always adds; unassigned registers are all zero.
  std::string resource;
  for (uint32_t bar = 0; bar < 7; ++bar) {
    const FakeBar *b = nullptr;
    for (const FakeBar &candidate : f.bars)
      if (candidate.index == bar) b = &candidate;
    if (b == nullptr) {
      resource += Hex(0) + " " + Hex(0) + " " + Hex(0) + "\n";
      continue;
    }
    resource += Hex(b->start) + " " + Hex(b->start + b->length - 1) + " " + Hex(b->io ? kFlagIo : kFlagMem) + "\n";
    SizeFile(BarPath(f.name, bar), b->file_size >= 0 ? b->file_size : static_cast<int64_t>(b->length));
  }
  WriteFile(dir + "/resource", resource);

  SizeFile(ConfigPath(f.name), kConfigSize);
  Write16(ConfigPath(f.name), 0, static_cast<uint16_t>(f.vendor));
  Write16(ConfigPath(f.name), 2, static_cast<uint16_t>(f.device));
  Write16(ConfigPath(f.name), 4, kCommandIntxMasked);

  if (f.uio >= 0) {
    const std::string node = "uio" + std::to_string(f.uio);
    MakeDir(dir + "/uio");
    MakeDir(dir + "/uio/" + node);
    Check(::mkfifo((DevRoot() + "/" + node).c_str(), 0600) == 0, node);
  }
}

void FakeSysfs::WriteText(const std::string &name, const std::string &leaf, const std::string &text) {
  WriteFile(DeviceDir(name) + "/" + leaf, text);
}

void FakeSysfs::Remove(const std::string &name) {
  ::nftw(DeviceDir(name).c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

uint32_t FakeSysfs::Read32(const std::string &path, uint32_t offset) {
  uint32_t v = 0;
  const int fd = ::open(path.c_str(), O_RDONLY);
  Check(fd >= 0, path);
  const ssize_t n = ::pread(fd, &v, sizeof v, offset);
  ::close(fd);
  Check(n == sizeof v, path);
  return v;
}

uint16_t FakeSysfs::Read16(const std::string &path, uint32_t offset) {
  uint16_t v = 0;
  const int fd = ::open(path.c_str(), O_RDONLY);
  Check(fd >= 0, path);
  const ssize_t n = ::pread(fd, &v, sizeof v, offset);
  ::close(fd);
  Check(n == sizeof v, path);
  return v;
}

void FakeSysfs::Write32(const std::string &path, uint32_t offset, uint32_t value) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  Check(fd >= 0, path);
  const ssize_t n = ::pwrite(fd, &value, sizeof value, offset);
  ::close(fd);
  Check(n == sizeof value, path);
}

void FakeSysfs::Write16(const std::string &path, uint32_t offset, uint16_t value) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  Check(fd >= 0, path);
  const ssize_t n = ::pwrite(fd, &value, sizeof value, offset);
  ::close(fd);
  Check(n == sizeof value, path);
}

void FakeSysfs::RaiseInterrupt(int uio, uint32_t total) {
  // Read-write, so the open never waits for a reader; the back end holds
  // the node open while interrupts are enabled, so the bytes stay queued.
  const std::string path = DevRoot() + "/uio" + std::to_string(uio);
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
  Check(fd >= 0, path);
  const ssize_t n = ::write(fd, &total, sizeof total);
  ::close(fd);
  Check(n == sizeof total, path);
}

unsigned OpenFdCount() {
  unsigned n = 0;
  DIR *dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (const dirent *e = ::readdir(dir))
    if (e->d_name[0] != '.') ++n;
  ::closedir(dir);
  return n;
}

unsigned MappingsUnder(const std::string &prefix) {
  std::ifstream maps("/proc/self/maps");
  unsigned n = 0;
  for (std::string line; std::getline(maps, line);)
    if (line.find(prefix) != std::string::npos) ++n;
  return n;
}

}  // namespace kpx::test
