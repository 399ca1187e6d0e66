// The lock of the general-purpose I/O functions. It exists from library load
// to unload, so it can be taken before the cards are opened. Lock order:
// IoMutex first, then RegisterLock (taken inside every register access);
// never the other way round.
#pragma once

#include <mutex>

namespace kpx::io {

// A re-entrant, process-wide lock: a thread that holds it may take it again.
class GdMutex {
 public:
  GdMutex() = default;
  virtual ~GdMutex() = default;
  GdMutex(const GdMutex &) = delete;
  GdMutex &operator=(const GdMutex &) = delete;

  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }

 private:
  std::recursive_mutex lock_;
};

// Held across each whole port or bit function, so that read-modify-writes
// of OutputPort from several threads never lose each other's updates.
extern GdMutex IoMutex;

}  // namespace kpx::io
