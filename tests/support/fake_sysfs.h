// A fake sysfs and /dev tree in a temporary folder, laid out as the Linux
// back end expects the kernel's: bus/pci/devices/<dddd:bb:dd.f>/ with
// vendor, device, irq, resource, resourceN (regular files, so mmap works)
// and config, and uio/uioN beside a FIFO dev/uioN standing in for the UIO node.
#pragma once

#include <cstdint>
#include <string>

namespace kpx::test {

// The card as it sits on the bus: a 4 KiB memory space at BAR 0 and its
// 256-byte register space at BAR 1, memory or I/O.
struct FakeFunction {
  std::string name;  // "0000:01:00.0"
  bool io_registers = false;
  uint32_t n = 0;    // spreads the addresses of several cards apart
  uint32_t vendor = 0x0003, device = 0x4160, irq = 11;
  int64_t bar1_file_size = 0x100;  // size of resource1
  std::string resource = "";       // text of the resource file; empty: the lines of the two spaces
  int uio = -1;                    // number of the UIO node bound to it; -1: none
};
inline FakeFunction KpxCard(const std::string &name, bool io_registers, uint32_t n) {
  return {name, io_registers, n};
}

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();

  const std::string &Root() const { return root_; }
  std::string SysRoot() const { return root_ + "/sys"; }
  std::string DevRoot() const { return root_ + "/dev"; }
  std::string DeviceDir(const std::string &name) const { return SysRoot() + "/bus/pci/devices/" + name; }

  // Creates the function's directory and files; the configuration space starts with its IDs and a
  // command register with INTx masked, as the kernel leaves it with uio_pci_generic bound.
  void Add(const FakeFunction &function);
  // Replaces one of the function's files with the given text.
  void WriteText(const std::string &name, const std::string &leaf, const std::string &text);

  // Little-endian values of `bytes` (2 or 4) at a byte offset of a file.
  static uint32_t Read(const std::string &path, uint32_t offset, uint32_t bytes = 4);
  static void Write(const std::string &path, uint32_t offset, uint32_t value, uint32_t bytes = 4);
  // What uio_pci_generic delivers on an interrupt: the running interrupt total, 4 bytes, on the node.
  void RaiseInterrupt(int uio, uint32_t total) const;

 private:
  std::string root_;
};

// Open file descriptors of this process, and its mappings of files under `prefix`.
unsigned OpenFdCount();
unsigned MappingsUnder(const std::string &prefix);

}  // namespace kpx::test
