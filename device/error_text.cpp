#include "device/error_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kpx::device {
namespace {
char g_error_text[kErrorTextSize];
thread_local char tls_error_detail[kErrorTextSize];
}  // namespace

void ClearErrorText() {
  g_error_text[0] = '\0';
  tls_error_detail[0] = '\0';
}

void SetErrorText(const char *format, ...) {
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

}  // namespace kpx::device
