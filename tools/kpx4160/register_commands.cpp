// kpx4160 reg read|write and kpx4160 pld read|write: raw register access for
// bring-up. Chip registers are named by their codes: write codes 0x80-0xBF,
// read codes 0xC0-0xFF (the write code + 0x40 reads the same register back).
// PLD registers are 32-bit words at byte offsets of the card's register space.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/kpx4160/tool.h"

namespace kpx::tool {
namespace {

constexpr unsigned kFirstWriteCode = 0x80, kLastWriteCode = 0xBF;
constexpr unsigned kFirstReadCode = 0xC0, kLastReadCode = 0xFF;
constexpr unsigned kReadCodeOffset = 0x40;
constexpr unsigned kLastPldOffset = 0x7C;  // the PLD's last 32-bit register

struct Options {
  unsigned card = 0, chip_axis = 0, code = 0, offset = 0;
  uint32_t value = 0;
};

void AddTarget(CLI::App *sub, Options &o, bool pld) {
  sub->add_option("CARD", o.card, "Card number")->required();
  if (pld) {
    sub->add_option("OFFSET", o.offset, "Byte offset, a multiple of 4 up to 0x7C")
        ->required()
        ->check(CLI::Range(0u, kLastPldOffset));
  } else {
    sub->add_option("CHIP_AXIS", o.chip_axis, "Chip axis of the card, 0 or 1")->required()->check(CLI::Range(0, 1));
  }
}

int AlignedOrUsage(const Options &o) {
  if (o.offset % 4 == 0) return kExitOk;
  std::fprintf(stderr, "kpx4160 pld: OFFSET 0x%X is not a multiple of 4\n", o.offset);
  return kExitUsage;
}

}  // namespace

void AddRegisterCommands(CLI::App &app, Commands &commands) {
  auto o = std::make_shared<Options>();
  CLI::App *reg = app.add_subcommand("reg", "Reads or writes a register of a card's pulse chip");
  reg->require_subcommand(1);
  CLI::App *read = reg->add_subcommand("read", "Reads a chip register by read code (0xC0-0xFF)");
  AddTarget(read, *o, false);
  read->add_option("CODE", o->code, "Read code")->required()->check(CLI::Range(kFirstReadCode, kLastReadCode));
  commands.push_back({read, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        std::printf("0x%08X\n", tool.lib.read_pcl_register(static_cast<uint16_t>(o->card),
                                                                          static_cast<uint16_t>(o->chip_axis),
                                                                          static_cast<uint16_t>(o->code)));
                        return kExitOk;
                      }});
  CLI::App *write = reg->add_subcommand("write", "Writes a chip register by write code (0x80-0xBF)");
  AddTarget(write, *o, false);
  write->add_option("CODE", o->code, "Write code")->required()->check(CLI::Range(kFirstWriteCode, kLastWriteCode));
  write->add_option("VALUE", o->value, "32-bit value")->required();
  commands.push_back({write, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        const auto card = static_cast<uint16_t>(o->card);
                        const auto chip_axis = static_cast<uint16_t>(o->chip_axis);
                        tool.lib.write_pcl_register(card, chip_axis, static_cast<uint16_t>(o->code), o->value);
                        // Registers that hold what was written read it back
                        // at the read code; others (commands, counters) need not.
                        std::printf("wrote 0x%08X, reads back 0x%08X\n", o->value,
                                    tool.lib.read_pcl_register(card, chip_axis,
                                                               static_cast<uint16_t>(o->code + kReadCodeOffset)));
                        return kExitOk;
                      }});

  CLI::App *pld = app.add_subcommand("pld", "Reads or writes a 32-bit PLD register of a card");
  pld->require_subcommand(1);
  CLI::App *pread = pld->add_subcommand("read", "Reads a PLD register");
  AddTarget(pread, *o, true);
  commands.push_back({pread, [o](Tool &tool) {
                        if (AlignedOrUsage(*o) != kExitOk) return kExitUsage;
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        std::printf("0x%08X\n", tool.lib.read_pld_register(static_cast<uint16_t>(o->card),
                                                                          static_cast<uint16_t>(o->offset)));
                        return kExitOk;
                      }});
  CLI::App *pwrite = pld->add_subcommand("write", "Writes a PLD register");
  AddTarget(pwrite, *o, true);
  pwrite->add_option("VALUE", o->value, "32-bit value")->required();
  commands.push_back({pwrite, [o](Tool &tool) {
                        if (AlignedOrUsage(*o) != kExitOk) return kExitUsage;
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        tool.lib.write_pld_register(static_cast<uint16_t>(o->card), static_cast<uint16_t>(o->offset),
                                                    o->value);
                        std::printf("wrote 0x%08X\n", o->value);
                        return kExitOk;
                      }});
}

}  // namespace kpx::tool
