#include "device/error_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace kpx::device {
namespace {
char g_error_text[kErrorTextSize];
// Failures are written by whichever thread meets them (an interrupt thread
// too) while the application may be copying the text out.
std::mutex g_error_text_mutex;
}  // namespace

void ClearErrorText() {
  const std::lock_guard lock(g_error_text_mutex);
  g_error_text[0] = '\0';
}

void SetErrorText(const char *format, ...) {
  const std::lock_guard lock(g_error_text_mutex);
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_error_text, sizeof g_error_text, format, args);
  va_end(args);
}

const char *ErrorText() { return g_error_text; }

std::size_t CopyErrorText(char *text, std::size_t size) {
  const std::lock_guard lock(g_error_text_mutex);
  const std::size_t length = std::strlen(g_error_text);
  if (size > 0) {
    const std::size_t copied = length < size ? length : size - 1;
    std::memcpy(text, g_error_text, copied);
    text[copied] = '\0';
  }
  return length;
}

}  // namespace kpx::device
