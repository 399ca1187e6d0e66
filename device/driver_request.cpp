#include "device/pci_device.h"

namespace kpx::device {

uint32_t DriverRequest(uint32_t request_code, DriverHandle handle, void *record, uint32_t record_size,
                       bool own_handle) {
  const DriverBackend &backend = ActiveDriverBackend();
  if (own_handle) handle = backend.open_device(backend.context);
  uint32_t status = kStatusNotSet;
  if (handle == kInvalidDriverHandle) return kStatusInvalidHandle;
  backend.request(backend.context, handle, request_code, record, record_size, &status);
  if (own_handle) backend.close_device(backend.context, handle);
  return status;
}

void DevicePause(uint32_t milliseconds) {
  const DriverBackend &backend = ActiveDriverBackend();
  backend.sleep_ms(backend.context, milliseconds);
}

}  // namespace kpx::device
