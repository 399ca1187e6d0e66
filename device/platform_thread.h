// The operating-system threads of the library (the per-card interrupt
// threads), behind one small interface that builds on POSIX and on Windows:
// a thread with a requested stack size, and a wait for its end with a time
// limit, which std::thread offers neither of.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kpx::device {

struct PlatformThreadState;

// A started thread; empty before StartPlatformThread and after ClosePlatformThread.
struct PlatformThread {
  PlatformThreadState *state = nullptr;
};

// Starts entry(argument) on a new thread. The stack is at least stack_bytes,
// raised to what the platform and the library's own calls need (small
// requests such as 4096 bytes are below every platform's minimum). False if
// the thread could not be created; `thread` then stays empty.
bool StartPlatformThread(PlatformThread &thread, std::size_t stack_bytes, void (*entry)(void *argument),
                         void *argument);

// Waits at most `milliseconds` for the thread to end; true once it has.
bool WaitPlatformThread(PlatformThread &thread, uint32_t milliseconds);

// Waits for the thread to end without limit and releases it. An empty
// thread is left alone.
void ClosePlatformThread(PlatformThread &thread);

}  // namespace kpx::device
