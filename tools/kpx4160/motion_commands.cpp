// kpx4160 move / jog / home / stop: single-axis motion for commissioning.
// Every command that starts motion waits for the axis to come to rest, and
// Ctrl-C stops it decelerating first: a bring-up tool never leaves an axis
// running behind it.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "tools/kpx4160/status_words.h"
#include "tools/kpx4160/tool.h"

namespace kpx::tool {
namespace {

constexpr uint16_t kRelative = 0;
constexpr uint16_t kAbsolute = 1;
constexpr uint16_t kPositive = 1;  // direction code of continuous moves
constexpr uint16_t kNegative = 0;
constexpr uint16_t kHomePositive = 1;  // direction codes of the home search
constexpr uint16_t kHomeNegative = 2;
constexpr uint16_t kHomeWithRamps = 1;
constexpr uint16_t kHomeConstantSpeed = 0;

// The speed profile every motion command takes from its options.
struct Profile {
  double speed = 10000;  // pulses/s
  double start = 500;    // pulses/s
  double accel = 0.2;    // s
  double decel = -1;     // s; negative: the acceleration time
  bool s_curve = false;

  double Decel() const { return decel < 0 ? accel : decel; }
  void AddOptions(CLI::App *sub) {
    sub->add_option("--speed", speed, "Maximum speed, pulses/s")->capture_default_str()->check(CLI::PositiveNumber);
    sub->add_option("--start", start, "Start speed, pulses/s")->capture_default_str()->check(CLI::NonNegativeNumber);
    sub->add_option("--accel", accel, "Acceleration time, s")->capture_default_str()->check(CLI::NonNegativeNumber);
  }
  void AddDecelOptions(CLI::App *sub) {
    sub->add_option("--decel", decel, "Deceleration time, s (default: the acceleration time)")
        ->check(CLI::NonNegativeNumber);
    sub->add_flag("--s-curve", s_curve, "S-shaped ramps instead of straight ones");
  }
  void Load(const Library &lib, uint16_t axis) const {
    // The S sections take half of each ramp: a smooth start without
    // stretching the ramp much.
    if (s_curve)
      lib.set_st_profile(axis, start, speed, accel, Decel(), accel / 2, Decel() / 2);
    else
      lib.set_profile(axis, start, speed, accel, Decel());
  }
};

bool ParseDirection(const std::string &text, bool &positive) {
  if (text == "+" || text == "-") {
    positive = text == "+";
    return true;
  }
  return false;
}

int Report(Tool &tool, uint16_t axis, bool rested) {
  std::printf("%s\n", AxisLine(tool.lib, axis).c_str());
  return rested ? kExitOk : kExitFailure;
}

void AddMove(CLI::App &app, Commands &commands) {
  struct Options {
    unsigned axis = 0;
    int32_t distance = 0;
    bool absolute = false;
    Profile profile;
  };
  auto o = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("move", "Point move of one axis; waits for the end");
  sub->add_option("AXIS", o->axis, "Axis number")->required();
  sub->add_option("DISTANCE", o->distance, "Pulses (a target position with --abs)")->required();
  sub->add_flag("--abs", o->absolute, "DISTANCE is an absolute target position");
  o->profile.AddOptions(sub);
  o->profile.AddDecelOptions(sub);
  commands.push_back({sub, [o](Tool &tool) {
                        if (!tool.Open() || !tool.CheckAxis(o->axis)) return kExitFailure;
                        const auto axis = static_cast<uint16_t>(o->axis);
                        const Profile &p = o->profile;
                        // The position counter wraps around at 32 bits, like the chip's.
                        const int32_t target =
                            o->absolute ? o->distance
                                        : static_cast<int32_t>(static_cast<uint32_t>(tool.lib.get_position(axis)) +
                                                               static_cast<uint32_t>(o->distance));
                        p.Load(tool.lib, axis);
                        const uint16_t mode = o->absolute ? kAbsolute : kRelative;
                        // Unequal ramps need the chip's asymmetric ramp-down.
                        const bool symmetric = p.Decel() == p.accel;
                        if (p.s_curve)
                          (symmetric ? tool.lib.s_pmove : tool.lib.ex_s_pmove)(axis, o->distance, mode);
                        else
                          (symmetric ? tool.lib.t_pmove : tool.lib.ex_t_pmove)(axis, o->distance, mode);
                        const bool rested = WaitForRest(tool, axis, p.Decel());
                        const int code = Report(tool, axis, rested);
                        if (rested && tool.lib.get_position(axis) != target)
                          return Fail("axis " + std::to_string(axis) + " stopped at " +
                                      std::to_string(tool.lib.get_position(axis)) + " before its target " +
                                      std::to_string(target) + " (" +
                                      DecodeStatus(tool.lib.axis_status(axis), tool.lib.axis_io_status(axis)) + ")");
                        return code;
                      }});
}

void AddJog(CLI::App &app, Commands &commands) {
  struct Options {
    unsigned axis = 0;
    std::string direction;
    Profile profile;
  };
  auto o = std::make_shared<Options>();
  o->profile.speed = 2000;
  CLI::App *sub = app.add_subcommand("jog", "Runs one axis until Ctrl-C (or a limit stops it)");
  sub->add_option("AXIS", o->axis, "Axis number")->required();
  sub->add_option("DIRECTION", o->direction, "+ or -")->required()->check(CLI::IsMember({"+", "-"}));
  o->profile.AddOptions(sub);
  commands.push_back({sub, [o](Tool &tool) {
                        bool positive = true;
                        ParseDirection(o->direction, positive);
                        if (!tool.Open() || !tool.CheckAxis(o->axis)) return kExitFailure;
                        const auto axis = static_cast<uint16_t>(o->axis);
                        o->profile.Load(tool.lib, axis);
                        tool.lib.t_vmove(axis, positive ? kPositive : kNegative);
                        std::printf("axis %u jogging %s at %.0f pulses/s; Ctrl-C stops it\n", axis,
                                    positive ? "+" : "-", o->profile.speed);
                        std::fflush(stdout);
                        // Ending by Ctrl-C is the normal way out of a jog.
                        const bool limit = WaitForRest(tool, axis, o->profile.Decel());
                        Report(tool, axis, true);
                        return limit ? Fail("axis " + std::to_string(axis) + " stopped by itself (" +
                                            DecodeStatus(tool.lib.axis_status(axis), tool.lib.axis_io_status(axis)) +
                                            ")")
                                     : kExitOk;
                      }});
}

void AddHome(CLI::App &app, Commands &commands) {
  struct Options {
    unsigned axis = 0;
    std::string direction = "-";
    unsigned mode = 0;
    bool constant = false;
    Profile profile;
  };
  auto o = std::make_shared<Options>();
  o->profile.speed = 2000;
  CLI::App *sub = app.add_subcommand("home", "Home search of one axis; waits for the end");
  sub->add_option("AXIS", o->axis, "Axis number")->required();
  sub->add_option("--dir", o->direction, "Search direction, + or -")->capture_default_str()->check(
      CLI::IsMember({"+", "-"}));
  sub->add_option("--mode", o->mode, "The chip's home mode bit (0 or 1)")->capture_default_str()->check(
      CLI::Range(0, 1));
  sub->add_flag("--constant", o->constant, "Search at constant speed (stops at once at the switch)");
  o->profile.AddOptions(sub);
  commands.push_back({sub, [o](Tool &tool) {
                        bool positive = false;
                        ParseDirection(o->direction, positive);
                        if (!tool.Open() || !tool.CheckAxis(o->axis)) return kExitFailure;
                        const auto axis = static_cast<uint16_t>(o->axis);
                        o->profile.Load(tool.lib, axis);
                        tool.lib.config_home_mode(axis, static_cast<uint16_t>(o->mode), 1);
                        tool.lib.home_move(axis, positive ? kHomePositive : kHomeNegative,
                                           o->constant ? kHomeConstantSpeed : kHomeWithRamps);
                        return Report(tool, axis, WaitForRest(tool, axis, o->profile.Decel()));
                      }});
}

void AddStop(CLI::App &app, Commands &commands) {
  struct Options {
    std::string which = "all";
    bool emergency = false;
    double decel = 0.2;
  };
  auto o = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("stop", "Stops one axis or all of them");
  sub->add_option("AXIS", o->which, "Axis number or all")->capture_default_str();
  sub->add_flag("--emergency", o->emergency, "Stop at once (every card for all)");
  sub->add_option("--decel", o->decel, "Deceleration time, s")->capture_default_str()->check(
      CLI::NonNegativeNumber);
  commands.push_back({sub, [o](Tool &tool) {
                        unsigned only = 0;
                        const bool all = o->which == "all";
                        if (!all && !CLI::detail::lexical_cast(o->which, only)) {
                          std::fprintf(stderr, "kpx4160 stop: AXIS must be a number or all, not %s\n",
                                       o->which.c_str());
                          return kExitUsage;
                        }
                        if (!tool.Open() || (!all && !tool.CheckAxis(only))) return kExitFailure;
                        const unsigned first = all ? 0 : only, last = all ? 2 * tool.cards - 1 : only;
                        if (o->emergency && all) tool.lib.emg_stop();
                        for (unsigned a = first; a <= last; ++a) {
                          const auto axis = static_cast<uint16_t>(a);
                          if (o->emergency && !all) tool.lib.imd_stop(axis);
                          if (!o->emergency) tool.lib.decel_stop(axis, o->decel);
                        }
                        int code = kExitOk;
                        for (unsigned a = first; a <= last; ++a)
                          if (!WaitForRest(tool, static_cast<uint16_t>(a), o->decel)) code = kExitFailure;
                        for (unsigned a = first; a <= last; ++a) Report(tool, static_cast<uint16_t>(a), true);
                        return code;
                      }});
}

}  // namespace

void AddMotionCommands(CLI::App &app, Commands &commands) {
  AddMove(app, commands);
  AddJog(app, commands);
  AddHome(app, commands);
  AddStop(app, commands);
}

}  // namespace kpx::tool
