// kpx4160: bring-up and diagnosis of KPX4160 cards from the command line.
// One program with subcommands; it loads the motion library at run time, so
// the same tool drives the cards of the machine or simulated ones (--sim).
#include <cstdio>

#include "tools/kpx4160/tool.h"

using namespace kpx::tool;

namespace {

int PrintVersion(Tool &tool) {
  std::printf("kpx4160 tool %s\n", KPX4160_TOOL_VERSION);
  std::string why;
  if (!LoadLibrary(tool.LibraryFile(), tool.lib, why)) return Fail(why);
  uint32_t first = 0, second = 0;
  tool.lib.get_lib_version(&first, &second);
  std::printf("%s: library version %u.%u\n", tool.LibraryFile().c_str(), first, second);
  return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"Bring-up and diagnosis of KPX4160 motion-control cards.\n"
               "Axes are numbered over all cards: axis n is chip axis n%2 of card n/2.\n"
               "Exit codes: 0 success, 1 failure of the card, the library or the motion, 2 usage.",
               "kpx4160"};
  app.fallthrough();
  Tool tool;
  bool version = false;
  app.add_flag("--sim", tool.sim, "Simulated cards (libkpx4160_sim.so.1) instead of the machine's");
  app.add_option("--sim-cards", tool.sim_cards, "Number of simulated cards (implies --sim)")
      ->capture_default_str()
      ->check(CLI::Range(0, 16))
      ->each([&tool](const std::string &) { tool.sim = true; });
  app.add_option("--library", tool.library, "Load this library file instead");
  app.add_flag("--version", version, "Versions of the tool and of the library");
  app.require_subcommand(0, 1);

  Commands commands;
  AddListCommand(app, commands);
  AddStatusCommand(app, commands);
  AddMotionCommands(app, commands);
  AddIoCommands(app, commands);
  AddWatchCommand(app, commands);
  AddRegisterCommands(app, commands);
  AddSimRunCommand(app, commands);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (version) return PrintVersion(tool);
  CatchStopSignals();
  for (const Command &c : commands)
    if (c.app->parsed()) return c.run(tool);
  std::fprintf(stderr, "%s", app.help().c_str());
  return kExitUsage;
}
