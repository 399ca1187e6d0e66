// kpx4160 io get|set|outputs and kpx4160 servo: the card's 20 general
// inputs and outputs (numbered 1-20 per card) and each axis's servo-on.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/kpx4160/tool.h"

namespace kpx::tool {
namespace {

constexpr unsigned kFirstBit = 1;
constexpr unsigned kLastBit = 20;

// Bit n (1-20) of a port word as the library returns it (bit n-1, 1 = on).
unsigned Bit(uint32_t port, unsigned n) { return (port >> (n - 1)) & 1u; }

void PrintPort(const char *name, uint16_t card, uint32_t port, const std::vector<unsigned> &bits) {
  if (bits.empty()) {
    std::printf("card %u %ss 1-20:", card, name);
    for (unsigned n = kFirstBit; n <= kLastBit; ++n) std::printf("%s%u", (n - 1) % 4 == 0 ? " " : "", Bit(port, n));
    std::printf("\n");
    return;
  }
  for (unsigned n : bits) std::printf("card %u %s %u: %u\n", card, name, n, Bit(port, n));
}

}  // namespace

void AddIoCommands(CLI::App &app, Commands &commands) {
  struct Options {
    unsigned card = 0;
    std::vector<unsigned> bits;
    unsigned bit = 0, value = 0;
  };
  auto o = std::make_shared<Options>();
  CLI::App *io = app.add_subcommand("io", "General inputs and outputs 1-20 of a card");
  io->add_option("--card", o->card, "Card number")->capture_default_str();
  io->require_subcommand(1);
  CLI::App *get = io->add_subcommand("get", "Reads inputs (all 20 when no BIT is named)");
  get->add_option("BIT", o->bits, "Input numbers 1-20")->check(CLI::Range(kFirstBit, kLastBit));
  commands.push_back({get, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        const auto card = static_cast<uint16_t>(o->card);
                        PrintPort("input", card, tool.lib.read_inport(card), o->bits);
                        return kExitOk;
                      }});
  CLI::App *set = io->add_subcommand("set", "Switches one output on (1) or off (0)");
  set->add_option("BIT", o->bit, "Output number 1-20")->required()->check(CLI::Range(kFirstBit, kLastBit));
  set->add_option("VALUE", o->value, "0 or 1")->required()->check(CLI::Range(0, 1));
  commands.push_back({set, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        const auto card = static_cast<uint16_t>(o->card);
                        tool.lib.write_outbit(card, static_cast<uint16_t>(o->bit), static_cast<uint16_t>(o->value));
                        const unsigned now = Bit(tool.lib.read_outport(card), o->bit);
                        std::printf("card %u output %u: %u\n", card, o->bit, now);
                        return now == o->value ? kExitOk : Fail("output " + std::to_string(o->bit) + " reads back " +
                                                                std::to_string(now));
                      }});
  CLI::App *outputs = io->add_subcommand("outputs", "Reads back all 20 outputs");
  commands.push_back({outputs, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckCard(o->card)) return kExitFailure;
                        const auto card = static_cast<uint16_t>(o->card);
                        PrintPort("output", card, tool.lib.read_outport(card), {});
                        return kExitOk;
                      }});

  struct Servo {
    unsigned axis = 0;
    std::string state;
  };
  auto s = std::make_shared<Servo>();
  CLI::App *servo = app.add_subcommand("servo", "Switches the servo-on output of an axis");
  servo->add_option("AXIS", s->axis, "Axis number")->required();
  servo->add_option("STATE", s->state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  commands.push_back({servo, [s](Tool &tool) {
                        if (!tool.Open() || !tool.CheckAxis(s->axis)) return kExitFailure;
                        const auto axis = static_cast<uint16_t>(s->axis);
                        const int32_t want = s->state == "on" ? 1 : 0;
                        tool.lib.write_sevon(axis, static_cast<uint16_t>(want));
                        const int32_t now = tool.lib.read_sevon(axis);
                        std::printf("axis %u servo %s\n", axis, now == 1 ? "on" : "off");
                        return now == want ? kExitOk : Fail("the servo-on output did not switch");
                      }});
}

}  // namespace kpx::tool
