// A fake sysfs and /dev tree in a temporary folder, laid out as the Linux
// back end expects the kernel's: bus/pci/devices/<dddd:bb:dd.f>/ with
// vendor, device, irq, resource, resourceN (regular files, so mmap works),
// config, and uio/uioN beside a FIFO dev/uioN standing in for the UIO node.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kpx::test {

struct FakeBar {
  uint32_t index;
  bool io;               // port I/O space, else memory
  uint64_t start;        // bus address or first port
  uint64_t length;
  int64_t file_size = -1;  // size of resourceN; -1: the length of the space
};

struct FakeFunction {
  std::string name;  // "0000:01:00.0"
  uint32_t vendor = 0x0003;
  uint32_t device = 0x4160;
  uint32_t irq = 11;
  std::vector<FakeBar> bars;
  int uio = -1;  // number of the UIO node bound to it; -1: none
};

// The card as it sits on the bus: a small memory space at BAR 0 and its
// 256-byte register space at BAR 1, memory or I/O. `n` spreads the
// addresses of several cards apart; `uio` is the UIO node number (-1: none).
FakeFunction KpxCard(const std::string &name, bool io_registers, uint32_t n, int uio = -1);
// First port of the I/O register space of KpxCard(.., true, n, ..).
inline uint64_t KpxCardPort(uint32_t n) { return 0xD000 + 0x100 * n; }

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs &) = delete;
  FakeSysfs &operator=(const FakeSysfs &) = delete;

  const std::string &Root() const { return root_; }
  std::string SysRoot() const { return root_ + "/sys"; }
  std::string DevRoot() const { return root_ + "/dev"; }
  std::string DeviceDir(const std::string &name) const;
  std::string BarPath(const std::string &name, uint32_t bar) const;
  std::string ConfigPath(const std::string &name) const;

  // Creates the function's directory and files; the configuration space
  // starts with its IDs and a command register with INTx masked.
  void Add(const FakeFunction &function);
  // Replaces one of the function's files with the given text.
  void WriteText(const std::string &name, const std::string &leaf, const std::string &text);
  // Removes the function's directory.
  void Remove(const std::string &name);

  // Little-endian values at byte offsets of a file.
  static uint32_t Read32(const std::string &path, uint32_t offset);
  static uint16_t Read16(const std::string &path, uint32_t offset);
  static void Write32(const std::string &path, uint32_t offset, uint32_t value);
  static void Write16(const std::string &path, uint32_t offset, uint16_t value);

  // What uio_pci_generic delivers on an interrupt: the running interrupt
  // total, 4 bytes, on the UIO node.
  void RaiseInterrupt(int uio, uint32_t total);

 private:
  std::string root_;
};

// Open file descriptors of this process.
unsigned OpenFdCount();
// Mappings of this process whose file lies under `prefix`.
unsigned MappingsUnder(const std::string &prefix);

}  // namespace kpx::test
