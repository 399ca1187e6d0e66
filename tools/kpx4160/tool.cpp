#include "tools/kpx4160/tool.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "tools/kpx4160/status_words.h"

namespace kpx::tool {
namespace {

// Stop signals received (Ctrl-C or SIGTERM).
std::atomic<int> stop_requests{0};

void OnStopSignal(int) { stop_requests.fetch_add(1); }

constexpr auto kPollPause = std::chrono::milliseconds(10);
constexpr int kProgressEvery = 10;  // polls between two progress lines

}  // namespace

int Fail(const std::string &message) {
  std::fprintf(stderr, "kpx4160: %s\n", message.c_str());
  return kExitFailure;
}

bool Refuse(const std::string &message) {
  Fail(message);
  return false;
}

std::string Tool::LibraryFile() const {
  if (!library.empty()) return library;
  return sim ? kSimulatedLibrary : kHardwareLibrary;
}

std::string Tool::ErrorText() const {
  char text[512] = {};
  if (lib.get_error_text == nullptr || lib.get_error_text(text, sizeof text) <= 0) return "";
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

bool Tool::Open() {
  std::string why;
  if (!LoadLibrary(LibraryFile(), lib, why)) return Refuse(why);
  if (sim) {
    if (lib.sim_set_card_count == nullptr) return Refuse(LibraryFile() + " is not the simulated library");
    if (lib.sim_set_card_count(sim_cards) != 0) return Refuse("cannot simulate " + std::to_string(sim_cards) + " cards");
  }
  // A tool that polls for as long as a move runs would fill memory with the
  // simulator's record of every register access.
  if (lib.sim_trace_enable != nullptr) lib.sim_trace_enable(0);
  const uint32_t result = lib.board_init();
  if (result > 1000) {
    lib.board_close();
    const std::string reason = ErrorText();
    return Refuse("opening card " + std::to_string(result - 1001) + " failed" + (reason.empty() ? "" : ": " + reason));
  }
  if (result == 0) {
    const std::string reason = ErrorText();
    return Refuse("no card opened: " + (reason.empty() ? std::string("none found") : reason));
  }
  cards = result;
  open = true;
  return true;
}

Tool::~Tool() {
  // The last close also emergency-stops every card: nothing is left running.
  if (open) lib.board_close();
}

bool Tool::CheckAxis(unsigned axis) const {
  if (axis < 2 * cards) return true;
  return Refuse("no axis " + std::to_string(axis) + ": " + std::to_string(cards) + " card(s) give axes 0-" +
              std::to_string(2 * cards - 1));
}

bool Tool::CheckCard(unsigned card) const {
  if (card < cards) return true;
  return Refuse("no card " + std::to_string(card) + ": " + std::to_string(cards) + " card(s) open");
}

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stop_requests.load() > 0; }

bool WaitForRest(Tool &tool, uint16_t axis, double decel_time) {
  const bool tty = isatty(STDOUT_FILENO) != 0;
  bool stopped = false, stopped_at_once = false;
  int32_t stop_position = 0;
  double stop_speed = 0;
  for (int poll = 0; tool.lib.check_done(axis) != 1; ++poll) {
    if (StopRequested() && !stopped) {
      stop_position = tool.lib.get_position(axis);
      stop_speed = tool.lib.read_current_speed(axis);
      tool.lib.decel_stop(axis, decel_time);
      stopped = true;
    }
    // A second Ctrl-C does not wait for the ramp: the axis stops at once.
    if (stop_requests.load() > 1 && !stopped_at_once) {
      tool.lib.imd_stop(axis);
      stopped_at_once = true;
    }
    if (tty && poll % kProgressEvery == 0) {
      std::printf("\r\033[K%s", AxisLine(tool.lib, axis).c_str());
      std::fflush(stdout);
    }
    std::this_thread::sleep_for(kPollPause);
  }
  if (tty) std::printf("\r\033[K");
  if (stopped) {
    std::printf("interrupted at position %d, speed %.0f: axis %u %s at %d\n", stop_position, stop_speed, axis,
                stopped_at_once ? "stopped at once (second Ctrl-C)" : "decelerated to rest", tool.lib.get_position(axis));
    return false;
  }
  if (StopRequested()) {
    std::printf("interrupted: axis %u at rest at %d\n", axis, tool.lib.get_position(axis));
    return false;
  }
  return true;
}

}  // namespace kpx::tool
