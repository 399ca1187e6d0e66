// On Linux: the cards the kernel sees on the PCI bus, the driver each is
// bound to, its UIO device, and every permission the library needs, with
// the fix for each that is missing.
#pragma once

#include <string>

namespace kpx::tool {

// Prints one block per card found under root/sys/bus/pci/devices (root ""
// is the machine itself; tests pass a fake tree); returns the number of
// problems named.
int CheckPciCards(const std::string &root);

}  // namespace kpx::tool
