#include "device/pci_device.h"

namespace kpx::device {

uint32_t DriverRequest(uint32_t request_code, DriverHandle handle, void *record, uint32_t record_size,
                       bool own_handle) {
  const DriverBackend &backend = ActiveDriverBackend();
  if (own_handle) handle = backend.open_device();
  uint32_t status = kStatusNotSet;
  if (handle == kInvalidDriverHandle) return kStatusInvalidHandle;
  backend.request(handle, request_code, record, record_size, &status);
  if (own_handle) backend.close_device(handle);
  return status;
}

void DevicePause(uint32_t milliseconds) { ActiveDriverBackend().sleep_ms(milliseconds); }

}  // namespace kpx::device
