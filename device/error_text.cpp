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
// The back end's reason for the failure its thread is about to report.
thread_local char tls_error_detail[kErrorTextSize];
}  // namespace

void ClearErrorText() {
  const std::lock_guard lock(g_error_text_mutex);
  g_error_text[0] = '\0';
  tls_error_detail[0] = '\0';
}

void SetErrorText(const char *format, ...) {
  const std::lock_guard lock(g_error_text_mutex);
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_error_text, sizeof g_error_text, format, args);
  va_end(args);
  if (tls_error_detail[0] != '\0') {
    const std::size_t used = std::strlen(g_error_text);
    std::snprintf(g_error_text + used, sizeof g_error_text - used, "%s", tls_error_detail);
    tls_error_detail[0] = '\0';
  }
}

void SetErrorDetail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(tls_error_detail, sizeof tls_error_detail, format, args);
  va_end(args);
}

void ClearErrorDetail() { tls_error_detail[0] = '\0'; }

const char *ErrorDetail() { return tls_error_detail; }

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
