// The device layer's last failure message, handed to the application on
// request. The library itself never reads it back.
#include <cstdint>

#include "device/error_text.h"
#include "kpx4160.h"

extern "C" int32_t k4160_get_error_text(char *text, uint32_t size) {
  if (text == nullptr) return -1;
  return static_cast<int32_t>(kpx::device::CopyErrorText(text, size));
}
