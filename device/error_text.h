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

// A back end's own explanation of why its last request failed (the file it
// could not open and the permission that was missing, for example), which
// the driver's status codes cannot carry. It is kept per thread and appended
// to the next message SetErrorText writes on that thread, so the message of
// a failed request ends with the reason; ClearErrorText drops it. A back end
// clears it at the start of every request, so it always belongs to the
// latest one.
void SetErrorDetail(const char *format, ...) __attribute__((format(printf, 1, 2)));
void ClearErrorDetail();
// The pending explanation of this thread ("" if none).
const char *ErrorDetail();

}  // namespace kpx::device
