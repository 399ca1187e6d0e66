// The library's own threads: the entry runs with its argument on another
// thread, a bounded wait reports whether the thread has ended, and closing
// waits for the end.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/platform_thread.h"

namespace kpx::test {
namespace {

struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  std::thread::id ran_on;
  int runs = 0;
};

void HoldUntilOpen(void *raw) {
  auto &gate = *static_cast<Gate *>(raw);
  std::unique_lock lock(gate.mutex);
  gate.ran_on = std::this_thread::get_id();
  ++gate.runs;
  gate.cv.wait(lock, [&] { return gate.open; });
}

TEST(PlatformThreadThreaded, RunsEntryReportsEndAndCloses) {
  Gate gate;
  device::PlatformThread thread;
  // The interrupt threads ask for 4096 bytes; the request is raised, not refused.
  ASSERT_TRUE(device::StartPlatformThread(thread, 4096, HoldUntilOpen, &gate));
  ASSERT_NE(thread.state, nullptr);
  // Held at the gate, the thread has not ended however often it is asked.
  EXPECT_FALSE(device::WaitPlatformThread(thread, 10));
  EXPECT_FALSE(device::WaitPlatformThread(thread, 0));
  {
    std::lock_guard lock(gate.mutex);
    gate.open = true;
  }
  gate.cv.notify_all();
  while (!device::WaitPlatformThread(thread, 10)) {
  }
  device::ClosePlatformThread(thread);
  EXPECT_EQ(thread.state, nullptr);
  EXPECT_EQ(gate.runs, 1);
  EXPECT_NE(gate.ran_on, std::this_thread::get_id());
  // An empty thread counts as ended and closes as a no-op.
  EXPECT_TRUE(device::WaitPlatformThread(thread, 0));
  device::ClosePlatformThread(thread);
}

}  // namespace
}  // namespace kpx::test
