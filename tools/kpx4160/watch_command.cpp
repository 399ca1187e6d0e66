// kpx4160 watch [AXIS...]: a live screen of positions, speeds, decoded
// status and the inputs, redrawn several times a second until q or Ctrl-C.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "tools/kpx4160/status_words.h"
#include "tools/kpx4160/tool.h"

namespace kpx::tool {
namespace {

// Puts the terminal into single-key mode without echo for as long as the
// screen runs, and restores it on every way out.
class KeyMode {
 public:
  KeyMode() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios keys = saved_;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
  }
  ~KeyMode() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  KeyMode(const KeyMode &) = delete;
  KeyMode &operator=(const KeyMode &) = delete;

  // Waits up to `ms` for a key; true when q (or Q) was pressed or input ended.
  bool QuitWithin(int ms) const {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, ms) <= 0) return false;
    char key = 0;
    const ssize_t n = read(STDIN_FILENO, &key, 1);
    return n == 0 || key == 'q' || key == 'Q';
  }

 private:
  termios saved_{};
  bool active_ = false;
};

void Draw(Tool &tool, const std::vector<unsigned> &axes, unsigned interval_ms) {
  std::printf("\033[H\033[2Jkpx4160 watch: %u card(s), every %u ms; q or Ctrl-C ends\n\n", tool.cards, interval_ms);
  for (unsigned a : axes) std::printf("%s\n", AxisLine(tool.lib, static_cast<uint16_t>(a)).c_str());
  std::printf("\n");
  for (uint16_t card = 0; card < tool.cards; ++card) {
    const uint32_t in = tool.lib.read_inport(card), out = tool.lib.read_outport(card);
    std::printf("card %u inputs 1-20: ", card);
    for (unsigned n = 0; n < 20; ++n) std::printf("%s%u", n % 4 == 0 ? " " : "", (in >> n) & 1u);
    std::printf("   outputs 1-20: ");
    for (unsigned n = 0; n < 20; ++n) std::printf("%s%u", n % 4 == 0 ? " " : "", (out >> n) & 1u);
    std::printf("\n");
  }
  std::fflush(stdout);
}

}  // namespace

void AddWatchCommand(CLI::App &app, Commands &commands) {
  struct Options {
    std::vector<unsigned> axes;
    unsigned interval_ms = 200;
  };
  auto o = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("watch", "Live screen of the axes and the inputs until q or Ctrl-C");
  sub->add_option("AXIS", o->axes, "Axis numbers (default: every axis)");
  sub->add_option("--interval", o->interval_ms, "Milliseconds between two screens")->capture_default_str()->check(
      CLI::Range(20u, 10000u));
  commands.push_back({sub, [o](Tool &tool) {
                        if (!tool.Open()) return kExitFailure;
                        std::vector<unsigned> axes = o->axes;
                        if (axes.empty())
                          for (unsigned a = 0; a < 2 * tool.cards; ++a) axes.push_back(a);
                        for (unsigned a : axes)
                          if (!tool.CheckAxis(a)) return kExitFailure;
                        const KeyMode keys;
                        do Draw(tool, axes, o->interval_ms);
                        while (!StopRequested() && !keys.QuitWithin(static_cast<int>(o->interval_ms)));
                        std::printf("\n");
                        return kExitOk;
                      }});
}

}  // namespace kpx::tool
