// The driver status codes the Linux back end answers requests with: the
// same numbers the kernel driver of other platforms returns, so the device
// layer's messages and status texts read the same everywhere.
#pragma once

#include <cstdint>

namespace kpx::device::linux_pci {

inline constexpr uint32_t kStatusOk = 0;
inline constexpr uint32_t kStatusInsufficientResources = 0x20000005;
inline constexpr uint32_t kStatusFailedEnablingInterrupt = 0x2000000C;
inline constexpr uint32_t kStatusInterruptNotEnabled = 0x2000000D;
inline constexpr uint32_t kStatusDeviceNotFound = 0x2000000F;
inline constexpr uint32_t kStatusMapFailed = 0x20000017;
inline constexpr uint32_t kStatusNoResources = 0x20000019;
inline constexpr uint32_t kStatusInvalidParameter = 0x2000001B;
inline constexpr uint32_t kStatusOperationFailed = 0x20000020;

}  // namespace kpx::device::linux_pci
