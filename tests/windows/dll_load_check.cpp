// Loads a kpx4160 DLL as an application would and resolves every name its
// .def file exports; a Microsoft-decorated alias must resolve to the same
// code as the GCC name it stands for. Then, for the hardware DLL on a machine
// without the kernel driver ("no-driver"), k4160_board_init() finds no card
// and says why, and calls on absent cards do nothing; for the simulated-card
// DLL, two simulated cards open and keep a position.
// Usage: kpx4160_dll_load_check DLL DEF [no-driver]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "kpx4160_sim.h"

namespace {

int failures = 0;

void Check(bool ok, const char *what) {
  if (!ok) std::printf("FAIL: %s\n", what);
  failures += ok ? 0 : 1;
}

template <typename F>
F Resolve(HMODULE dll, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
}

// Resolves each "name" and "alias = name" line after EXPORTS; returns the count.
int ResolveDefNames(HMODULE dll, const char *def_path) {
  std::ifstream def(def_path);
  std::string line;
  bool exports = false;
  int count = 0;
  while (std::getline(def, line)) {
    std::istringstream words(line);
    std::string name, eq, target;
    words >> name >> eq >> target;
    if (name == "EXPORTS") exports = true;
    if (!exports || name.empty() || name == "EXPORTS") continue;
    ++count;
    FARPROC p = GetProcAddress(dll, name.c_str());
    Check(p != nullptr, (name + " not exported").c_str());
    Check(eq != "=" || p == GetProcAddress(dll, target.c_str()), (name + " is not the code of " + target).c_str());
  }
  return count;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  HMODULE dll = LoadLibraryA(argv[1]);
  if (dll == nullptr) {
    std::printf("FAIL: LoadLibrary(%s): error %lu\n", argv[1], GetLastError());
    return 1;
  }
  const int names = ResolveDefNames(dll, argv[2]);
  Check(names > 100, "the .def lists the whole API");

  auto init = Resolve<decltype(&k4160_board_init)>(dll, "k4160_board_init");
  auto close = Resolve<decltype(&k4160_board_close)>(dll, "k4160_board_close");
  auto error_text = Resolve<decltype(&k4160_get_error_text)>(dll, "k4160_get_error_text");
  auto set_command = Resolve<decltype(&Set_command)>(dll, "Set_command");
  auto position = Resolve<decltype(&k4160_get_position)>(dll, "k4160_get_position");
  auto done = Resolve<decltype(&k4160_check_done)>(dll, "k4160_check_done");
  if (!init || !close || !error_text || !set_command || !position || !done) return 1;

  if (argc > 3 && std::strcmp(argv[3], "no-driver") == 0) {
    Check(init() == 0, "no card without the driver");
    char text[256] = "";
    error_text(text, sizeof text);
    Check(std::strncmp(text, "Failed opening WinDriver device", 31) == 0, "the message names the driver device");
    std::printf("k4160_board_init: 0 cards, \"%.*s\"\n", static_cast<int>(std::strcspn(text, "\n")), text);
    close();
    set_command(0, 1000.0);  // no card: dropped
    Check(position(0) == 0 && position(31) == 0 && done(5) == 1, "absent cards read as idle at 0");
  } else {
    auto card_count = Resolve<decltype(&kpx4160_sim_set_card_count)>(dll, "kpx4160_sim_set_card_count");
    if (!card_count) return 1;
    Check(card_count(2) == 0 && init() == 2, "two simulated cards open");
    set_command(3, -12345.0);
    Check(position(3) == -12345, "a simulated axis keeps its position");
    close();
  }
  std::printf("%s: %d names resolved, %s\n", argv[1], names, failures ? "FAILED" : "passed");
  return failures ? 1 : 0;
}
