// kpx4160 list: every card the library opens with its identification, and
// on Linux what the kernel shows of each card and what the process may do.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/kpx4160/pci_check.h"
#include "tools/kpx4160/tool.h"

namespace kpx::tool {

void AddListCommand(CLI::App &app, Commands &commands) {
  auto root = std::make_shared<std::string>();
  auto pci = std::make_shared<bool>(false);
  CLI::App *sub = app.add_subcommand("list", "Lists the cards: identification, PCI address, driver, permissions");
  sub->add_option("--root", *root, "Look for /sys and /dev under this folder (a copy of a machine's tree)");
  sub->add_flag("--pci", *pci, "Check the PCI side even with --sim");
  commands.push_back({sub, [root, pci](Tool &tool) {
                        int problems = 0;
#if defined(__linux__)
                        // The kernel's side first: when no card opens, it often says why.
                        if (!tool.sim || *pci || !root->empty()) problems = CheckPciCards(*root);
#endif
                        if (!tool.Open()) return kExitFailure;
                        uint32_t first = 0, second = 0;
                        tool.lib.get_lib_version(&first, &second);
                        std::printf("%s: library version %u.%u, %u card(s)\n", tool.LibraryFile().c_str(), first,
                                    second, tool.cards);
                        for (uint16_t card = 0; card < tool.cards; ++card) {
                          uint32_t product = 0, firmware = 0;
                          char sn[9] = {};
                          tool.lib.get_hard_version(card, &product, &firmware, nullptr, sn);
                          std::printf("card %u: KPX%u serial %s firmware %u.%u axes %u-%u\n", card, product, sn,
                                      firmware / 100, firmware % 100 / 10, 2 * card, 2 * card + 1);
                        }
                        return problems == 0 ? kExitOk : kExitFailure;
                      }});
}

}  // namespace kpx::tool
