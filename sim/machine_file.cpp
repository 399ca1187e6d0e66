#include "sim/machine_file.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string_view>

#include "kpx4160_sim.h"

#if KPX4160_MACHINE_FILE
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>
#endif

namespace kpx::sim {

#if KPX4160_MACHINE_FILE
namespace {

constexpr double kLongest = 1e9;  // seconds: any time or delay in the file is below this
constexpr int64_t kPositionLimit = 0x7FFFFFF;  // the library's position range

struct Refused {
  std::string message;
};

class Reader {
 public:
  explicit Reader(std::string file) : file_(std::move(file)) {}

  [[noreturn]] void Fail(const toml::source_region &where, const std::string &key, const std::string &what) const {
    throw Refused{file_ + ":" + std::to_string(where.begin.line) + ": key '" + key + "': " + what};
  }

  void Keys(const toml::table &t, const std::string &prefix, std::initializer_list<std::string_view> allowed) const {
    for (auto &&[k, v] : t) {
      bool known = false;
      for (std::string_view a : allowed) known = known || k.str() == a;
      if (!known) Fail(k.source(), prefix + std::string(k.str()), "unknown key");
    }
  }

  const toml::node *Find(const toml::table &t, std::string_view key) const { return t.get(key); }

  int64_t Int(const toml::table &t, const std::string &prefix, std::string_view key, int64_t lo, int64_t hi,
              int64_t fallback) const {
    const toml::node *n = Find(t, key);
    if (n == nullptr) return fallback;
    return IntOf(*n, prefix + std::string(key), lo, hi);
  }

  int64_t IntOf(const toml::node &n, const std::string &name, int64_t lo, int64_t hi) const {
    const auto v = n.value_exact<int64_t>();
    if (!v) Fail(n.source(), name, "expected an integer");
    if (*v < lo || *v > hi) Fail(n.source(), name, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return *v;
  }

  double Real(const toml::table &t, const std::string &prefix, std::string_view key, double lo, double hi,
              double fallback) const {
    const toml::node *n = Find(t, key);
    if (n == nullptr) return fallback;
    const std::string name = prefix + std::string(key);
    if (!n->is_number()) Fail(n->source(), name, "expected a number");
    const double v = *n->value<double>();
    if (!(v >= lo && v <= hi)) Fail(n->source(), name, "out of range " + Text(lo) + ".." + Text(hi));
    return v;
  }

  std::string String(const toml::table &t, const std::string &prefix, std::string_view key,
                     std::initializer_list<std::string_view> choices = {}) const {
    const toml::node *n = Find(t, key);
    if (n == nullptr) return {};
    const std::string name = prefix + std::string(key);
    const auto v = n->value_exact<std::string>();
    if (!v || v->empty()) Fail(n->source(), name, "expected a non-empty string");
    if (choices.size() == 0) return *v;
    std::string list;
    for (std::string_view c : choices) {
      if (*v == c) return *v;
      list += (list.empty() ? "\"" : " or \"") + std::string(c) + "\"";
    }
    Fail(n->source(), name, "expected " + list);
  }

  bool Bool(const toml::table &t, const std::string &prefix, std::string_view key) const {
    const toml::node *n = Find(t, key);
    const auto v = n->value_exact<bool>();
    if (!v) Fail(n->source(), prefix + std::string(key), "expected true or false");
    return *v;
  }

  // True for "high", false for "low" (the default).
  bool Polarity(const toml::table &t, const std::string &prefix, std::string_view key) const {
    return String(t, prefix, key, {"low", "high"}) == "high";
  }

  // [low, high] of two integers with low <= high (or low < high when strict).
  std::pair<int32_t, int32_t> Range(const toml::table &t, const std::string &prefix, std::string_view key,
                                    bool strict) const {
    const toml::node *n = Find(t, key);
    const std::string name = prefix + std::string(key);
    const toml::array *a = n->as_array();
    if (a == nullptr || a->size() != 2) Fail(n->source(), name, "expected an array of two integers [low, high]");
    const int64_t lo = IntOf((*a)[0], name, -kPositionLimit, kPositionLimit);
    const int64_t hi = IntOf((*a)[1], name, -kPositionLimit, kPositionLimit);
    if (strict ? lo >= hi : lo > hi) Fail(n->source(), name, "the first position must be below the second");
    return {static_cast<int32_t>(lo), static_cast<int32_t>(hi)};
  }

  // The tables of an array of tables (also a single table).
  std::vector<const toml::table *> Tables(const toml::table &t, std::string_view key) const {
    std::vector<const toml::table *> out;
    const toml::node *n = Find(t, key);
    if (n == nullptr) return out;
    if (const toml::table *one = n->as_table()) return {one};
    const toml::array *a = n->as_array();
    if (a == nullptr) Fail(n->source(), std::string(key), "expected [[" + std::string(key) + "]] tables");
    for (const toml::node &e : *a) {
      if (!e.is_table()) Fail(e.source(), std::string(key), "expected [[" + std::string(key) + "]] tables");
      out.push_back(e.as_table());
    }
    return out;
  }

  const toml::table *Table(const toml::table &t, std::string_view key) const {
    const toml::node *n = Find(t, key);
    if (n != nullptr && !n->is_table()) Fail(n->source(), std::string(key), "expected a table");
    return n != nullptr ? n->as_table() : nullptr;
  }

 private:
  static std::string Text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
  }
  std::string file_;
};

void ReadAxis(const Reader &r, const toml::table &t, const MachineConfig &config, std::set<unsigned> &seen,
              MachineAxis &out) {
  const std::string p = "axis.";
  r.Keys(t, p, {"axis", "limits", "home", "home_width", "ez_every", "encoder_ratio", "inp_delay", "alarm_time",
                "alarm_position", "slow_down", "polarity"});
  if (t.get("axis") == nullptr) r.Fail(t.source(), "axis.axis", "missing: every [[axis]] names its axis number");
  out.axis = static_cast<unsigned>(r.Int(t, p, "axis", 0, 2 * config.cards - 1, 0));
  if (!seen.insert(out.axis).second) r.Fail(t.get("axis")->source(), "axis.axis", "axis described twice");
  AxisSwitches &s = out.switches;
  s.wired = true;
  if (t.get("limits") != nullptr) {
    s.limits = true;
    std::tie(s.minus_limit, s.plus_limit) = r.Range(t, p, "limits", true);
  }
  if (t.get("home") != nullptr) {
    s.home = true;
    s.home_position = static_cast<int32_t>(r.Int(t, p, "home", -kPositionLimit, kPositionLimit, 0));
  }
  s.home_width = static_cast<int32_t>(r.Int(t, p, "home_width", 1, kPositionLimit, 1));
  s.ez_every = static_cast<int32_t>(r.Int(t, p, "ez_every", 0, kPositionLimit, 0));
  out.encoder_ratio = r.Real(t, p, "encoder_ratio", -1e6, 1e6, 0.0);
  s.inp_delay = r.Real(t, p, "inp_delay", 0.0, kLongest, 0.0);
  s.alarm_time = r.Real(t, p, "alarm_time", 0.0, kLongest, kEndless);
  if (t.get("alarm_position") != nullptr) {
    s.alarm_at_position = true;
    s.alarm_position = static_cast<int32_t>(r.Int(t, p, "alarm_position", -kPositionLimit, kPositionLimit, 0));
  }
  if (t.get("slow_down") != nullptr) {
    s.slow_down = true;
    std::tie(s.slow_down_from, s.slow_down_to) = r.Range(t, p, "slow_down", false);
  }
  if (const toml::table *pol = r.Table(t, "polarity")) {
    const std::string pp = "axis.polarity.";
    r.Keys(*pol, pp, {"home", "alarm", "inp", "sd"});
    s.home_high = r.Polarity(*pol, pp, "home");
    s.alarm_high = r.Polarity(*pol, pp, "alarm");
    s.inp_high = r.Polarity(*pol, pp, "inp");
    s.sd_high = r.Polarity(*pol, pp, "sd");
  }
}

void ReadInput(const Reader &r, const toml::table &t, unsigned card, CardWiring &w) {
  const std::string p = "card.input.";
  r.Keys(t, p, {"input", "value", "at", "window", "output", "delay"});
  InputRule rule;
  if (t.get("input") == nullptr) r.Fail(t.source(), "card.input.input", "missing: the input number 1..20");
  rule.bit = static_cast<unsigned>(r.Int(t, p, "input", 1, kGeneralBits, 1));
  int kinds = 0;
  if (t.get("value") != nullptr) {
    ++kinds;
    rule.kind = InputRule::Kind::kConstant;
    rule.value = r.Bool(t, p, "value");
  }
  if (t.get("at") != nullptr) {
    ++kinds;
    rule.kind = InputRule::Kind::kAtTime;
    rule.time = r.Real(t, p, "at", 0.0, kLongest, 0.0);
  }
  if (const toml::table *window = r.Table(t, "window")) {
    ++kinds;
    const std::string wp = "card.input.window.";
    r.Keys(*window, wp, {"axis", "from", "to"});
    rule.kind = InputRule::Kind::kInWindow;
    if (window->get("axis") == nullptr || window->get("from") == nullptr || window->get("to") == nullptr)
      r.Fail(window->source(), "card.input.window", "needs axis, from and to");
    const auto axis = static_cast<unsigned>(r.Int(*window, wp, "axis", 2 * card, 2 * card + 1, 0));
    rule.chip_axis = axis & 1;
    rule.from = static_cast<int32_t>(r.Int(*window, wp, "from", -kPositionLimit, kPositionLimit, 0));
    rule.to = static_cast<int32_t>(r.Int(*window, wp, "to", rule.from, kPositionLimit, 0));
  }
  if (t.get("output") != nullptr) {
    ++kinds;
    rule.kind = InputRule::Kind::kFollowsOutput;
    rule.output = static_cast<unsigned>(r.Int(t, p, "output", 1, kGeneralBits, 1));
    rule.delay = r.Real(t, p, "delay", 0.0, kLongest, 0.0);
  } else if (t.get("delay") != nullptr) {
    r.Fail(t.get("delay")->source(), "card.input.delay", "a delay goes with an output");
  }
  if (kinds != 1) r.Fail(t.source(), "card.input", "give exactly one of value, at, window, output");
  w.inputs.push_back(rule);
}

void ReadCard(const Reader &r, const toml::table &t, const MachineConfig &config, std::set<unsigned> &seen,
              std::pair<unsigned, CardWiring> &out) {
  const std::string p = "card.";
  r.Keys(t, p, {"card", "emg_time", "emg_output", "emg_delay", "emg_polarity", "input"});
  if (t.get("card") == nullptr) r.Fail(t.source(), "card.card", "missing: every [[card]] names its card number");
  out.first = static_cast<unsigned>(r.Int(t, p, "card", 0, config.cards - 1, 0));
  if (!seen.insert(out.first).second) r.Fail(t.get("card")->source(), "card.card", "card described twice");
  CardWiring &w = out.second;
  w.emg = true;
  w.emg_time = r.Real(t, p, "emg_time", 0.0, kLongest, kEndless);
  w.emg_output = static_cast<unsigned>(r.Int(t, p, "emg_output", 1, kGeneralBits, 0));
  w.emg_delay = r.Real(t, p, "emg_delay", 0.0, kLongest, 0.0);
  w.emg_high = r.Polarity(t, p, "emg_polarity");
  std::set<unsigned> inputs;
  for (const toml::table *input : r.Tables(t, "input")) {
    ReadInput(r, *input, out.first, w);
    if (!inputs.insert(w.inputs.back().bit).second) r.Fail(input->source(), "card.input.input", "input wired twice");
  }
}

void ReadAll(const Reader &r, const toml::table &root, MachineConfig &c) {
  r.Keys(root, "", {"cards", "clock", "log", "axis", "card"});
  c.cards = static_cast<unsigned>(r.Int(root, "", "cards", 1, KPX4160_SIM_MAX_CARDS, 1));
  if (const toml::table *clock = r.Table(root, "clock")) {
    r.Keys(*clock, "clock.", {"mode", "poll_step"});
    c.virtual_clock = r.String(*clock, "clock.", "mode", {"real", "virtual"}) == "virtual";
    c.poll_step = r.Real(*clock, "clock.", "poll_step", 1e-9, 1.0, kDefaultPollStep);
  }
  if (const toml::table *log = r.Table(root, "log")) {
    r.Keys(*log, "log.", {"csv", "svg", "interval"});
    c.log_csv = r.String(*log, "log.", "csv");
    c.log_svg = r.String(*log, "log.", "svg");
    c.log_interval = r.Real(*log, "log.", "interval", 1e-6, 3600.0, c.log_interval);
  }
  std::set<unsigned> axes;
  for (const toml::table *t : r.Tables(root, "axis")) ReadAxis(r, *t, c, axes, c.axes.emplace_back());
  std::set<unsigned> cards;
  for (const toml::table *t : r.Tables(root, "card")) ReadCard(r, *t, c, cards, c.cards_wiring.emplace_back());
}

}  // namespace

bool ReadMachineFile(const std::string &path, MachineConfig &out, std::string &error) {
  toml::parse_result parsed = toml::parse_file(path);
  if (!parsed) {
    const toml::parse_error &e = parsed.error();
    if (e.source().begin.line == 0 || !e.source().path)
      error = path + ": cannot read the machine file: " + std::string(e.description());
    else
      error = path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
    return false;
  }
  MachineConfig config;
  try {
    ReadAll(Reader(path), parsed.table(), config);
  } catch (const Refused &refused) {
    error = refused.message;
    return false;
  }
  out = std::move(config);
  return true;
}

#else

bool ReadMachineFile(const std::string &path, MachineConfig &, std::string &error) {
  error = path + ": this simulated library was built without machine-file support (toml++)";
  return false;
}

#endif

}  // namespace kpx::sim
