// What every subcommand shares: the loaded library, the open cards, the
// exit codes, the Ctrl-C request and the axis wait with its progress line.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/kpx4160/library.h"

namespace kpx::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the card, the library or the motion failed
inline constexpr int kExitUsage = 2;    // the command line was wrong

// The global options and, once Open() succeeded, the cards.
struct Tool {
  bool sim = false;
  unsigned sim_cards = 1;
  std::string library;  // file given with --library; empty: the default name
  Library lib{};
  uint32_t cards = 0;
  bool open = false;

  // Loads the library and opens every card; prints the reason on standard
  // error and returns false when that fails or no card is found.
  bool Open();
  ~Tool();
  // False (with a message) when the axis is not on an open card.
  bool CheckAxis(unsigned axis) const;
  bool CheckCard(unsigned card) const;
  // The device layer's last message, or an empty string.
  std::string ErrorText() const;
  std::string LibraryFile() const;
};

// Prints "kpx4160: message" on standard error; returns kExitFailure.
int Fail(const std::string &message);
// The same for the checks that answer yes or no: returns false.
bool Refuse(const std::string &message);

// A subcommand: its CLI11 node and what it runs once parsed.
struct Command {
  CLI::App *app;
  std::function<int(Tool &)> run;
};
using Commands = std::vector<Command>;

// Ctrl-C (SIGINT) and SIGTERM only set a flag: the motion commands see it,
// stop the axis decelerating and exit once it is at rest.
void CatchStopSignals();
bool StopRequested();

// Waits until the axis is at rest, with a one-line progress display on a
// terminal. On Ctrl-C it stops the axis with a decelerating stop, waits for
// rest and returns false.
bool WaitForRest(Tool &tool, uint16_t axis, double decel_time);

// Every subcommand file adds its commands here.
void AddListCommand(CLI::App &app, Commands &commands);
void AddStatusCommand(CLI::App &app, Commands &commands);
void AddMotionCommands(CLI::App &app, Commands &commands);
void AddIoCommands(CLI::App &app, Commands &commands);
void AddWatchCommand(CLI::App &app, Commands &commands);
void AddRegisterCommands(CLI::App &app, Commands &commands);
void AddSimRunCommand(CLI::App &app, Commands &commands);

}  // namespace kpx::tool
