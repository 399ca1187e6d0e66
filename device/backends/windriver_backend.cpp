// Windows back end: the requests go unchanged to the WinDriver kernel driver
// as device I/O controls. The record is the input buffer (the driver updates
// it in place) and a 4-byte output buffer receives the status.
#if defined(_WIN32)

#include <windows.h>

#include "device/backends/hardware_backends.h"

namespace kpx::device {
namespace {

constexpr const char *kDriverDevicePath = "\\\\.\\windrvr1230";

DriverHandle OpenDevice(void *) {
  HANDLE h = CreateFileA(kDriverDevicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  return h == INVALID_HANDLE_VALUE ? kInvalidDriverHandle : reinterpret_cast<DriverHandle>(h);
}

void CloseDevice(void *, DriverHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

// The device is opened for overlapped I/O, so each request carries an
// OVERLAPPED of its own: without one Windows may report a request that is
// still running (the interrupt wait blocks until an interrupt comes) as done
// with nothing returned. A pending request is waited for here, which keeps
// every request synchronous for the device layer.
void Request(void *, DriverHandle handle, uint32_t code, void *record, uint32_t size, uint32_t *status) {
  const HANDLE device = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return;  // no request made: the status stays as preset
  DWORD returned = 0;
  if (!DeviceIoControl(device, code, record, size, status, sizeof *status, &returned, &overlapped) &&
      GetLastError() == ERROR_IO_PENDING) {
    GetOverlappedResult(device, &overlapped, &returned, TRUE);
  }
  CloseHandle(overlapped.hEvent);
}

void SleepMs(void *, uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace

const DriverBackend kWinDriverBackend = {"windriver", nullptr, OpenDevice, CloseDevice, Request, SleepMs};

}  // namespace kpx::device

#endif  // _WIN32
