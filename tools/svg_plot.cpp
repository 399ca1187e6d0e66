#include "tools/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <utility>

namespace kpx::tools::svg {
namespace {

// Gap between a panel's data rectangle and its frame, so a path along the
// edge of its range is not hidden under the frame line.
constexpr double kPad = 8;
constexpr double kTitleBand = 50;
constexpr double kBottomBand = 60;
constexpr double kLeftBand = 80;
constexpr double kGapBetweenPanels = 100;
constexpr double kRightBand = 30;
constexpr int kTickCount = 6;

const char *const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b"};

struct Point {
  double x = 0, y = 0;
};

struct Range {
  double lo = 0, hi = 1;
};

// The samples of one chip axis of one card.
struct AxisTrace {
  uint32_t card = 0, chip_axis = 0;
  std::vector<kpx4160_sim_sample> samples;
  unsigned AxisNumber() const { return 2 * card + chip_axis; }
};

bool Usable(const kpx4160_sim_sample &s) {
  return std::isfinite(s.time) && std::isfinite(s.speed);
}

// The log split per axis, in axis-number order, keeping the time order.
std::vector<AxisTrace> SplitByAxis(std::span<const kpx4160_sim_sample> samples) {
  std::map<std::pair<uint32_t, uint32_t>, AxisTrace> by_axis;
  for (const kpx4160_sim_sample &s : samples) {
    if (!Usable(s)) continue;
    AxisTrace &t = by_axis[{s.card, s.chip_axis}];
    t.card = s.card;
    t.chip_axis = s.chip_axis;
    t.samples.push_back(s);
  }
  std::vector<AxisTrace> traces;
  for (auto &[key, trace] : by_axis) traces.push_back(std::move(trace));
  return traces;
}

const AxisTrace *Find(const std::vector<AxisTrace> &traces, uint32_t card, uint32_t chip_axis) {
  for (const AxisTrace &t : traces)
    if (t.card == card && t.chip_axis == chip_axis) return &t;
  return nullptr;
}

// X-Y points of card 0: the positions of chip axes 0 and 1 taken at the same
// sampling instant (the log samples every axis at every instant).
std::vector<Point> PathOfCard0(const std::vector<AxisTrace> &traces) {
  std::vector<Point> path;
  const AxisTrace *x = Find(traces, 0, 0);
  const AxisTrace *y = Find(traces, 0, 1);
  if (x == nullptr || y == nullptr) return path;
  size_t i = 0, j = 0;
  while (i < x->samples.size() && j < y->samples.size()) {
    const double tx = x->samples[i].time, ty = y->samples[j].time;
    if (tx < ty) {
      ++i;
    } else if (ty < tx) {
      ++j;
    } else {
      path.push_back({static_cast<double>(x->samples[i].position), static_cast<double>(y->samples[j].position)});
      ++i;
      ++j;
    }
  }
  return path;
}

// A range that is never empty: a single value gets half a unit either side.
Range Widened(Range r) {
  if (!(r.hi - r.lo > 1e-12)) return {r.lo - 0.5, r.lo + 0.5};
  return r;
}

template <typename Get>
Range RangeOf(const std::vector<Point> &points, Get get) {
  if (points.empty()) return {0, 1};
  Range r{get(points.front()), get(points.front())};
  for (const Point &p : points) {
    r.lo = std::min(r.lo, get(p));
    r.hi = std::max(r.hi, get(p));
  }
  return Widened(r);
}

// Same pixels per data unit on both axes: the axis with the wider range
// (for the rectangle's shape) fills the rectangle, the other is centred.
std::pair<Scale, Scale> EqualAspectScales(Range xr, Range yr, const Rect &r) {
  const double ppu = std::min(r.w / (xr.hi - xr.lo), r.h / (yr.hi - yr.lo));
  const double cx = (xr.lo + xr.hi) / 2, cy = (yr.lo + yr.hi) / 2;
  const double half_w = r.w / ppu / 2, half_h = r.h / ppu / 2;
  return {Scale{cx - half_w, cx + half_w, r.Left(), r.Right()}, Scale{cy - half_h, cy + half_h, r.Bottom(), r.Top()}};
}

std::string Num(double v) {
  if (!std::isfinite(v)) v = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string Escaped(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

Rect Inflated(const Rect &r, double by) { return {r.x - by, r.y - by, r.w + 2 * by, r.h + 2 * by}; }

void Text(std::string &out, double x, double y, const std::string &anchor, const std::string &text,
          const std::string &extra = "") {
  out += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
         Escaped(text) + "</text>\n";
}

void Line(std::string &out, double x1, double y1, double x2, double y2, const std::string &style) {
  out += "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\" " +
         style + "/>\n";
}

double TickStep(const std::vector<double> &ticks) { return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0; }

// Frame, grid, ticks and tick labels of a panel, and its axis titles.
void Axes(std::string &out, const Rect &data, const Scale &sx, const Scale &sy, const std::string &x_title,
          const std::string &y_title) {
  const Rect frame = Inflated(data, kPad);
  out += "<rect class=\"frame\" x=\"" + Num(frame.x) + "\" y=\"" + Num(frame.y) + "\" width=\"" + Num(frame.w) +
         "\" height=\"" + Num(frame.h) + "\" fill=\"none\" stroke=\"#000\"/>\n";
  const std::string grid = "stroke=\"#ddd\"", tick = "stroke=\"#000\"";
  const auto xt = Ticks(std::min(sx.lo, sx.hi), std::max(sx.lo, sx.hi), kTickCount);
  for (double v : xt) {
    const double px = sx(v);
    Line(out, px, frame.Top(), px, frame.Bottom(), grid);
    Line(out, px, frame.Bottom(), px, frame.Bottom() + 5, tick);
    Text(out, px, frame.Bottom() + 18, "middle", TickLabel(v, TickStep(xt)));
  }
  const auto yt = Ticks(std::min(sy.lo, sy.hi), std::max(sy.lo, sy.hi), kTickCount);
  for (double v : yt) {
    const double py = sy(v);
    Line(out, frame.Left(), py, frame.Right(), py, grid);
    Line(out, frame.Left() - 5, py, frame.Left(), py, tick);
    Text(out, frame.Left() - 8, py + 4, "end", TickLabel(v, TickStep(yt)));
  }
  const double mid_x = (frame.Left() + frame.Right()) / 2, mid_y = (frame.Top() + frame.Bottom()) / 2;
  Text(out, mid_x, frame.Bottom() + 40, "middle", x_title);
  const double ty = frame.Left() - 62;
  Text(out, ty, mid_y, "middle", y_title,
       " transform=\"rotate(-90 " + Num(ty) + " " + Num(mid_y) + ")\"");
}

void Polyline(std::string &out, const std::string &attributes, const std::vector<Point> &points, const Scale &sx,
              const Scale &sy) {
  out += "<polyline " + attributes + " fill=\"none\" points=\"";
  for (size_t i = 0; i < points.size(); ++i) {
    if (i != 0) out += ' ';
    out += Num(sx(points[i].x)) + "," + Num(sy(points[i].y));
  }
  out += "\"/>\n";
}

void NoData(std::string &out, const Rect &data) {
  Text(out, (data.Left() + data.Right()) / 2, (data.Top() + data.Bottom()) / 2, "middle", "no samples",
       " fill=\"#888\"");
}

void PathPanel(std::string &out, const Rect &data, const std::vector<AxisTrace> &traces) {
  const std::vector<Point> path = PathOfCard0(traces);
  const auto [sx, sy] = EqualAspectScales(RangeOf(path, [](const Point &p) { return p.x; }),
                                          RangeOf(path, [](const Point &p) { return p.y; }), data);
  Text(out, data.Left() - kPad, data.Top() - kPad - 8, "start", "X-Y path of card 0",
       " font-weight=\"bold\"");
  Axes(out, data, sx, sy, "axis 0 position (pulses)", "axis 1 position (pulses)");
  if (path.empty()) return NoData(out, data);
  Polyline(out, "class=\"path\" stroke=\"#333\" stroke-width=\"1.5\"", path, sx, sy);
  out += "<circle class=\"start\" cx=\"" + Num(sx(path.front().x)) + "\" cy=\"" + Num(sy(path.front().y)) +
         "\" r=\"4\" fill=\"#2ca02c\"/>\n";
}

void SpeedPanel(std::string &out, const Rect &data, const std::vector<AxisTrace> &traces) {
  // Time counts from the first sample, so the axis starts at 0 whatever
  // the simulator's clock read when the log started.
  double t0 = 0;
  bool first = true;
  for (const AxisTrace &t : traces)
    for (const kpx4160_sim_sample &s : t.samples) {
      t0 = first ? s.time : std::min(t0, s.time);
      first = false;
    }
  std::vector<std::vector<Point>> curves;
  std::vector<Point> all;
  for (const AxisTrace &t : traces) {
    curves.emplace_back();
    for (const kpx4160_sim_sample &s : t.samples) curves.back().push_back({s.time - t0, s.speed});
    all.insert(all.end(), curves.back().begin(), curves.back().end());
  }
  const Range tr = RangeOf(all, [](const Point &p) { return p.x; });
  // Speeds are never negative: the scale starts at rest.
  double top = 0;
  for (const Point &p : all) top = std::max(top, p.y);
  const Scale sx{tr.lo, tr.hi, data.Left(), data.Right()};
  const Scale sy{0, top > 0 ? top : 1, data.Bottom(), data.Top()};
  Text(out, data.Left() - kPad, data.Top() - kPad - 8, "start", "Speed of each axis",
       " font-weight=\"bold\"");
  Axes(out, data, sx, sy, "time since the first sample (s)", "speed (pulses/s)");
  if (all.empty()) return NoData(out, data);
  constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];
  for (size_t i = 0; i < traces.size(); ++i) {
    const std::string colour = kColours[i % kColourCount];
    const std::string axis = std::to_string(traces[i].AxisNumber());
    Polyline(out, "class=\"speed\" data-axis=\"" + axis + "\" stroke=\"" + colour + "\" stroke-width=\"1.2\"",
             curves[i], sx, sy);
    // Legend above the frame, right-aligned, one entry per axis.
    const double ly = data.Top() - kPad - 12;
    const double lx = data.Right() + kPad - 70 * static_cast<double>(traces.size() - i);
    Line(out, lx, ly, lx + 24, ly, "class=\"legend\" stroke=\"" + colour + "\" stroke-width=\"2\"");
    Text(out, lx + 30, ly + 4, "start", "axis " + axis);
  }
}

}  // namespace

double Scale::operator()(double v) const { return from + (v - lo) * (to - from) / (hi - lo); }

double Scale::Inverse(double pixel) const { return lo + (pixel - from) * (hi - lo) / (to - from); }

Layout LayoutFor(const PlotOptions &options) {
  const double top = kTitleBand + kPad;
  const double h = std::max(1.0, options.height - kTitleBand - kBottomBand - 2 * kPad);
  const double usable_w = options.width - kLeftBand - kGapBetweenPanels - kRightBand - 4 * kPad;
  // The path panel is square when there is room, else it takes its share.
  const double path_w = std::max(1.0, std::min(h, usable_w * 0.45));
  const Rect path{kLeftBand + kPad, top, path_w, h};
  const double speed_x = path.Right() + kPad + kGapBetweenPanels + kPad;
  const Rect speed{speed_x, top, std::max(1.0, options.width - kRightBand - kPad - speed_x), h};
  return {path, speed};
}

std::vector<double> Ticks(double lo, double hi, int count) {
  std::vector<double> ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo) || count < 1) return ticks;
  const double raw = (hi - lo) / count;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double step = (norm < 1.5 ? 1 : norm < 3.5 ? 2 : norm < 7.5 ? 5 : 10) * magnitude;
  const double first = std::ceil(lo / step - 1e-9);
  for (double k = first; k * step <= hi + step * 1e-9; k += 1) ticks.push_back(k * step);
  return ticks;
}

std::string TickLabel(double value, double step) {
  int decimals = 0;
  if (std::isfinite(step) && step > 0 && step < 1) decimals = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  if (!std::isfinite(value)) value = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string label = buf;
  // A value that rounds to zero is "0", never "-0".
  if (label.front() == '-' && label.find_first_not_of("-0.") == std::string::npos) label.erase(0, 1);
  return label;
}

std::string RenderSvg(std::span<const kpx4160_sim_sample> samples, const PlotOptions &options) {
  const Layout layout = LayoutFor(options);
  const std::vector<AxisTrace> traces = SplitByAxis(samples);
  std::string out;
  out.reserve(128 + samples.size() * 16);
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(options.width) + "\" height=\"" +
         Num(options.height) + "\" viewBox=\"0 0 " + Num(options.width) + " " + Num(options.height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
  Text(out, options.width / 2, 26, "middle", options.title, " font-size=\"18\" font-weight=\"bold\"");
  PathPanel(out, layout.path, traces);
  SpeedPanel(out, layout.speed, traces);
  out += "</svg>\n";
  return out;
}

bool WriteSvg(const std::string &path, std::span<const kpx4160_sim_sample> samples, const PlotOptions &options) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file << RenderSvg(samples, options);
  file.close();
  return !file.fail();
}

}  // namespace kpx::tools::svg
