// ErrorText: the one process-wide buffer in which the device layer describes
// its last failure. The library never reads it; it is there for a debugger
// and for the tests.
#pragma once

#include <cstddef>

namespace kpx::device {

inline constexpr std::size_t kErrorTextSize = 1024;

// Empties the buffer.
void ClearErrorText();
// Replaces the buffer with a printf-style message.
void SetErrorText(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The current text, for a single-threaded look (tests, a debugger).
const char *ErrorText();
// Copies at most size - 1 characters and a terminating zero into text
// (nothing for size 0), atomically against writers; returns the full length.
std::size_t CopyErrorText(char *text, std::size_t size);

}  // namespace kpx::device
