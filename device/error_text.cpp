#include "device/error_text.h"

#include <cstdarg>
#include <cstdio>

namespace kpx::device {
namespace {
char g_error_text[kErrorTextSize];
}

void ClearErrorText() { g_error_text[0] = '\0'; }

void SetErrorText(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_error_text, sizeof g_error_text, format, args);
  va_end(args);
}

const char *ErrorText() { return g_error_text; }

}  // namespace kpx::device
