#include "tools/kpx4160/pci_check.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace kpx::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char *kVendor = "0x0003";
constexpr const char *kDevice = "0x4160";
constexpr const char *kInterruptDriver = "uio_pci_generic";
constexpr int kResourceFiles = 6;  // resource0 .. resource5

std::string FirstLine(const fs::path &file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool ReadWrite(const fs::path &file) { return access(file.c_str(), R_OK | W_OK) == 0; }

int Problem(const std::string &what, const std::string &fix) {
  std::printf("  missing: %s\n    fix: %s\n", what.c_str(), fix.c_str());
  return 1;
}

int CheckCard(const fs::path &dev, const std::string &name, const std::string &root) {
  int problems = 0;
  std::error_code ec;
  const fs::path driver_link = dev / "driver";
  const std::string driver = fs::is_symlink(driver_link, ec) ? fs::read_symlink(driver_link, ec).filename().string() : "";
  std::string uio;
  for (const auto &e : fs::directory_iterator(dev / "uio", ec)) uio = e.path().filename().string();
  std::printf("PCI %s: driver %s, UIO device %s\n", name.c_str(), driver.empty() ? "none" : driver.c_str(),
              uio.empty() ? "none" : ("/dev/" + uio).c_str());
  const std::string grant = "run as root, or hand the file to your group with the udev rule of the README";
  if (driver.empty()) {
    problems += Problem("a driver (interrupts and, on some machines, register decoding need one)",
                        "modprobe uio_pci_generic; echo '0003 4160' > /sys/bus/pci/drivers/uio_pci_generic/new_id");
    if (FirstLine(dev / "enable") == "0")
      problems += Problem("register decoding (the card is disabled)", "echo 1 > /sys/bus/pci/devices/" + name + "/enable");
  } else if (driver != kInterruptDriver) {
    problems += Problem(std::string("binding to ") + kInterruptDriver + " (interrupts come through UIO)",
                        "echo " + name + " > /sys/bus/pci/devices/" + name + "/driver/unbind; echo " + name +
                            " > /sys/bus/pci/drivers/uio_pci_generic/bind");
  }
  for (int n = 0; n < kResourceFiles; ++n) {
    const fs::path res = dev / ("resource" + std::to_string(n));
    if (fs::exists(res, ec) && !ReadWrite(res))
      problems += Problem("read and write on " + res.string() + " (register access)", grant);
  }
  if (!ReadWrite(dev / "config"))
    problems += Problem("read and write on " + (dev / "config").string() + " (interrupt acknowledge)", grant);
  if (!uio.empty() && !ReadWrite(fs::path(root + "/dev") / uio))
    problems += Problem("read and write on " + root + "/dev/" + uio + " (interrupts)", grant);
  if (problems == 0) std::printf("  every permission the library needs is there\n");
  return problems;
}

}  // namespace

int CheckPciCards(const std::string &root) {
  const fs::path devices = fs::path(root + "/sys/bus/pci/devices");
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(devices, ec))
    if (FirstLine(e.path() / "vendor") == kVendor && FirstLine(e.path() / "device") == kDevice)
      names.push_back(e.path().filename().string());
  // The library numbers the cards in address order.
  std::sort(names.begin(), names.end());
  if (names.empty()) std::printf("no KPX4160 on the PCI bus (%s, vendor 0003 device 4160)\n", devices.c_str());
  int problems = 0;
  for (const std::string &name : names) problems += CheckCard(devices / name, name, root);
  return problems;
}

}  // namespace kpx::tool
