// Sends standard output to /dev/null for as long as it lives: the arc
// functions print one line per call, which would bury the benchmark report.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace kpx::bench {

class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    null_ = open("/dev/null", O_WRONLY);
    if (null_ >= 0) dup2(null_, STDOUT_FILENO);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
    if (null_ >= 0) close(null_);
  }
  QuietStdout(const QuietStdout &) = delete;
  QuietStdout &operator=(const QuietStdout &) = delete;

 private:
  int saved_ = -1;
  int null_ = -1;
};

}  // namespace kpx::bench
