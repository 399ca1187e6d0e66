// The device layer's last failure message, handed to the application on
// request. The library itself never reads it back.
#include <cstdint>
#include <cstring>

#include "device/error_text.h"
#include "kpx4160.h"

extern "C" int32_t k4160_get_error_text(char *text, uint32_t size) {
  if (text == nullptr) return -1;
  const char *message = kpx::device::ErrorText();
  const std::size_t length = std::strlen(message);
  if (size > 0) {
    const std::size_t copied = length < size ? length : size - 1;
    std::memcpy(text, message, copied);
    text[copied] = '\0';
  }
  return static_cast<int32_t>(length);
}
