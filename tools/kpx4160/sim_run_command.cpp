// kpx4160 sim-run MACHINE.toml -- APP [ARGS]: runs an unchanged application
// against a simulated machine. The simulated library is also built under
// the hardware library's name, in its own folder; putting that folder first
// on the library path makes the application load it instead of the
// hardware library, and KPX4160_SIM_MACHINE tells it which machine file to
// build its cards, switches and logs from.
#include <sys/wait.h>
#include <unistd.h>

#include <toml++/toml.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/kpx4160/tool.h"

namespace kpx::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char *kMachineVariable = "KPX4160_SIM_MACHINE";
// Where the simulated library under the hardware name sits, relative to the
// tool: <prefix>/bin/kpx4160 and <prefix>/lib/kpx4160/sim/ once installed,
// build/tools/kpx4160 and build/lib/kpx4160/sim/ in the build tree.
constexpr const char *kSimDirFromTool = "../lib/kpx4160/sim";
constexpr int kExitSignalBase = 128;  // the shell's code for "ended by signal N"

fs::path DefaultSimDir() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path(kSimDirFromTool) : (self.parent_path() / kSimDirFromTool).lexically_normal();
}

int RunApplication(const std::vector<std::string> &command) {
  std::vector<char *> argv;
  for (const std::string &a : command) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) return Fail("cannot start " + command[0]);
  if (child == 0) {
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "kpx4160 sim-run: cannot run %s\n", command[0].c_str());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  if (WIFSIGNALED(status)) return kExitSignalBase + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace

void AddSimRunCommand(CLI::App &app, Commands &commands) {
  struct Options {
    std::string machine;
    std::string sim_dir;
    std::vector<std::string> command;
  };
  auto o = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("sim-run", "Runs an application against the simulated machine of a file");
  sub->add_option("MACHINE", o->machine, "Machine file (TOML)")->required()->check(CLI::ExistingFile);
  sub->add_option("APP", o->command, "The application and its arguments, after --")->required();
  sub->add_option("--sim-dir", o->sim_dir, "Folder of the simulated libkpx4160.so.1 (default: ../lib/kpx4160/sim from the tool)");
  commands.push_back({sub, [o](Tool &) {
                        std::string csv, svg;
                        try {
                          const toml::table machine = toml::parse_file(o->machine);
                          csv = machine["log"]["csv"].value_or(std::string());
                          svg = machine["log"]["svg"].value_or(std::string());
                        } catch (const toml::parse_error &e) {
                          return Fail(o->machine + ": " + std::string(e.description()));
                        }
                        const fs::path dir = o->sim_dir.empty() ? DefaultSimDir() : fs::path(o->sim_dir);
                        std::error_code ec;
                        if (!fs::exists(dir / kHardwareLibrary, ec))
                          return Fail("no simulated " + std::string(kHardwareLibrary) + " in " + dir.string() +
                                      " (give the folder with --sim-dir)");
                        const char *old = std::getenv("LD_LIBRARY_PATH");
                        const std::string path = fs::absolute(dir, ec).string() + (old && *old ? std::string(":") + old : "");
                        setenv("LD_LIBRARY_PATH", path.c_str(), 1);
                        setenv(kMachineVariable, fs::absolute(o->machine, ec).c_str(), 1);
                        const int code = RunApplication(o->command);
                        // The library writes the logs when the application
                        // closes the cards, relative to where it ran: here.
                        if (!csv.empty()) std::printf("motion log: %s\n", fs::absolute(csv, ec).c_str());
                        if (!svg.empty()) std::printf("picture: %s\n", fs::absolute(svg, ec).c_str());
                        return code;
                      }});
}

}  // namespace kpx::tool
