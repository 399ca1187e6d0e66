#include "device/platform_thread.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <limits.h>
#include <mutex>
#endif

namespace kpx::device {
namespace {
// Floor of every thread stack: enough for the driver requests and the
// register accessors an interrupt handler runs, and for sanitizer builds.
constexpr std::size_t kMinimumStackBytes = 256 * 1024;
}  // namespace

#if defined(_WIN32)

struct PlatformThreadState {
  HANDLE handle;
  void (*entry)(void *);
  void *argument;
};

namespace {
DWORD WINAPI RunThread(LPVOID raw) {
  auto *state = static_cast<PlatformThreadState *>(raw);
  state->entry(state->argument);
  return 0;
}
}  // namespace

bool StartPlatformThread(PlatformThread &thread, std::size_t stack_bytes, void (*entry)(void *), void *argument) {
  auto *state = new (std::nothrow) PlatformThreadState{nullptr, entry, argument};
  if (state == nullptr) return false;
  const std::size_t stack = stack_bytes > kMinimumStackBytes ? stack_bytes : kMinimumStackBytes;
  state->handle = CreateThread(nullptr, stack, RunThread, state, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (state->handle == nullptr) {
    delete state;
    return false;
  }
  thread.state = state;
  return true;
}

bool WaitPlatformThread(PlatformThread &thread, uint32_t milliseconds) {
  if (thread.state == nullptr) return true;
  return WaitForSingleObject(thread.state->handle, milliseconds) == WAIT_OBJECT_0;
}

void ClosePlatformThread(PlatformThread &thread) {
  if (thread.state == nullptr) return;
  WaitForSingleObject(thread.state->handle, INFINITE);
  CloseHandle(thread.state->handle);
  delete thread.state;
  thread.state = nullptr;
}

#else

struct PlatformThreadState {
  pthread_t handle;
  void (*entry)(void *);
  void *argument;
  // POSIX has no portable timed join: the thread reports its own end.
  std::mutex mutex;
  std::condition_variable ended_cv;
  bool ended = false;
};

namespace {
void *RunThread(void *raw) {
  auto *state = static_cast<PlatformThreadState *>(raw);
  state->entry(state->argument);
  {
    std::lock_guard lock(state->mutex);
    state->ended = true;
  }
  state->ended_cv.notify_all();
  return nullptr;
}
}  // namespace

bool StartPlatformThread(PlatformThread &thread, std::size_t stack_bytes, void (*entry)(void *), void *argument) {
  auto *state = new (std::nothrow) PlatformThreadState{};
  if (state == nullptr) return false;
  state->entry = entry;
  state->argument = argument;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete state;
    return false;
  }
  std::size_t stack = stack_bytes > kMinimumStackBytes ? stack_bytes : kMinimumStackBytes;
  if (stack < static_cast<std::size_t>(PTHREAD_STACK_MIN)) stack = PTHREAD_STACK_MIN;
  pthread_attr_setstacksize(&attr, stack);
  // The library's threads take no asynchronous signal: the application's
  // handlers (SIGINT, SIGALRM, SIGCHLD...) run on its own threads, and the
  // driver waits are not cut short by them. The new thread inherits the
  // mask in force while it is created; faults (SIGSEGV, SIGBUS, SIGFPE,
  // SIGILL, SIGTRAP) stay deliverable.
  sigset_t blocked, previous;
  sigfillset(&blocked);
  for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) sigdelset(&blocked, fault);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  const int created = pthread_create(&state->handle, &attr, RunThread, state);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attr);
  if (created != 0) {
    delete state;
    return false;
  }
  thread.state = state;
  return true;
}

bool WaitPlatformThread(PlatformThread &thread, uint32_t milliseconds) {
  if (thread.state == nullptr) return true;
  std::unique_lock lock(thread.state->mutex);
  return thread.state->ended_cv.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                          [&] { return thread.state->ended; });
}

void ClosePlatformThread(PlatformThread &thread) {
  if (thread.state == nullptr) return;
  pthread_join(thread.state->handle, nullptr);
  delete thread.state;
  thread.state = nullptr;
}

#endif

}  // namespace kpx::device
