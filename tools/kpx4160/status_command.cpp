// kpx4160 status [AXIS...]: position, encoder, speed and decoded status of
// each axis (every axis of every card when none is named).
#include <cstdio>
#include <memory>

#include "tools/kpx4160/status_words.h"
#include "tools/kpx4160/tool.h"

namespace kpx::tool {

void AddStatusCommand(CLI::App &app, Commands &commands) {
  auto axes = std::make_shared<std::vector<unsigned>>();
  CLI::App *sub = app.add_subcommand("status", "Positions, speeds and decoded status words of the axes");
  sub->add_option("AXIS", *axes, "Axis numbers (default: every axis)");
  commands.push_back({sub, [axes](Tool &tool) {
                        if (!tool.Open()) return kExitFailure;
                        std::vector<unsigned> list = *axes;
                        if (list.empty())
                          for (unsigned a = 0; a < 2 * tool.cards; ++a) list.push_back(a);
                        for (unsigned a : list)
                          if (!tool.CheckAxis(a)) return kExitFailure;
                        for (unsigned a : list) {
                          const uint16_t axis = static_cast<uint16_t>(a);
                          std::printf("%s rsts 0x%08X servo %s ready %s\n", AxisLine(tool.lib, axis).c_str(),
                                      tool.lib.get_rsts(axis), tool.lib.read_sevon(axis) == 1 ? "on" : "off",
                                      tool.lib.read_rdy(axis) == 1 ? "yes" : "no");
                        }
                        return kExitOk;
                      }});
}

}  // namespace kpx::tool
