// The SVG writer of the motion log: a well-formed document, one polyline
// point per usable sample, data mapped onto the panels' edges with the same
// scale on both path axes, and nothing undefined for empty or odd input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tools/svg_plot.h"

namespace kpx::test {
namespace {

using tools::svg::Layout;
using tools::svg::LayoutFor;
using tools::svg::PlotOptions;
using tools::svg::RenderSvg;

struct Element {
  std::string name, text;  // text: character data up to the next tag
  std::map<std::string, std::string> attr;
};
struct Pt { double x, y; };

// A minimal reader of the writer's output: properly nested elements with
// quoted attributes, and only finite numbers. Fails the test on anything else.
std::vector<Element> Parse(const std::string &doc) {
  EXPECT_EQ(doc.rfind("<svg", 0), 0u);
  EXPECT_EQ(doc.find("nan"), std::string::npos);
  EXPECT_EQ(doc.find("inf"), std::string::npos);
  std::vector<Element> elements;
  std::vector<std::string> open;
  for (size_t i = 0; (i = doc.find('<', i)) != std::string::npos;) {
    const size_t end = doc.find('>', i);
    std::string tag = doc.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag[0] == '/') {
      EXPECT_TRUE(!open.empty() && open.back() == tag.substr(1)) << tag;
      if (!open.empty()) open.pop_back();
      continue;
    }
    const bool empty = tag.back() == '/';
    if (empty) tag.pop_back();
    Element e;
    std::istringstream in(tag);
    in >> e.name;
    for (std::string key; std::getline(in >> std::ws, key, '=');) {
      std::string value;
      EXPECT_EQ(in.get(), '"') << key;
      std::getline(in, value, '"');
      e.attr[key] = value;
    }
    e.text = doc.substr(i, doc.find('<', i) - i);
    if (!empty) open.push_back(e.name);
    elements.push_back(std::move(e));
  }
  EXPECT_TRUE(open.empty());
  return elements;
}

std::vector<Element> WithClass(const std::vector<Element> &elements, const std::string &cls) {
  std::vector<Element> out;
  for (const Element &e : elements)
    if (e.attr.count("class") && e.attr.at("class") == cls) out.push_back(e);
  return out;
}

bool HasText(const std::vector<Element> &elements, const std::string &text) {
  for (const Element &e : elements)
    if (e.text == text) return true;
  return false;
}

std::vector<Pt> Points(const Element &polyline) {
  std::vector<Pt> pts;
  std::istringstream in(polyline.attr.at("points"));
  for (std::string pair; in >> pair;) {
    Pt p{};
    EXPECT_EQ(std::sscanf(pair.c_str(), "%lf,%lf", &p.x, &p.y), 2) << pair;
    pts.push_back(p);
  }
  return pts;
}

kpx4160_sim_sample S(double t, uint32_t card, uint32_t chip_axis, int32_t position, double speed) {
  return {t, card, chip_axis, position, position, speed};
}

// Card 0 moving along x from 0 to 10000 while y goes 2000 -> 3000, with
// axis 0's speed peaking at 5000 at t = 1.5; card 1 logged beside it.
std::vector<kpx4160_sim_sample> Log(int instants) {
  std::vector<kpx4160_sim_sample> log;
  for (int i = 0; i < instants; ++i) {
    const double t = 1.0 + i * 0.01, f = static_cast<double>(i) / (instants - 1);
    log.push_back(S(t, 0, 0, static_cast<int32_t>(10000 * f), 5000 * (1 - std::fabs(2 * f - 1))));
    log.push_back(S(t, 0, 1, static_cast<int32_t>(2000 + 1000 * f), 1000 * f));
    log.push_back(S(t, 1, 0, 7, 0));
    log.push_back(S(t, 1, 1, -7, 300));
  }
  return log;
}

constexpr double kPixel = 0.006;  // coordinates are written with two decimals

TEST(SvgPlot, SpeedCurvesPerAxisMappedOntoThePanelEdges) {
  const auto log = Log(101);
  PlotOptions options;
  options.title = "moves <1> & \"2\"";
  const auto elements = Parse(RenderSvg(log, options));
  EXPECT_EQ(elements.at(0).attr.at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_TRUE(HasText(elements, "moves &lt;1&gt; &amp; &quot;2&quot;"));
  // One curve per logged axis in axis order, each in its own colour and in the legend.
  const auto speed = WithClass(elements, "speed");
  const auto legend = WithClass(elements, "legend");
  ASSERT_EQ(speed.size(), 4u);
  ASSERT_EQ(legend.size(), 4u);
  for (size_t i = 0; i < speed.size(); ++i) {
    EXPECT_EQ(speed[i].attr.at("data-axis"), std::to_string(i));
    EXPECT_EQ(Points(speed[i]).size(), 101u);
    EXPECT_EQ(legend[i].attr.at("stroke"), speed[i].attr.at("stroke"));
    EXPECT_TRUE(HasText(elements, "axis " + std::to_string(i)));
    for (size_t j = 0; j < i; ++j) EXPECT_NE(speed[i].attr.at("stroke"), speed[j].attr.at("stroke"));
  }
  // First instant on the left edge, last on the right, at rest on the bottom
  // edge, the highest speed on the top edge, linear in between; time ticks
  // count from the first sample.
  for (const PlotOptions &o : {PlotOptions{}, PlotOptions{700, 400, "small"}}) {
    const Layout l = LayoutFor(o);
    const auto curves = WithClass(Parse(RenderSvg(log, o)), "speed");
    const auto axis0 = Points(curves.at(0));
    EXPECT_NEAR(axis0.front().x, l.speed.Left(), kPixel);
    EXPECT_NEAR(axis0.back().x, l.speed.Right(), kPixel);
    EXPECT_NEAR(axis0.front().y, l.speed.Bottom(), kPixel);
    EXPECT_NEAR(axis0[50].y, l.speed.Top(), kPixel);
    EXPECT_NEAR(axis0[25].y, l.speed.Bottom() - l.speed.h * 0.5, kPixel);
    EXPECT_NEAR(Points(curves[1]).back().y, l.speed.Bottom() - l.speed.h * 0.2, kPixel);
    EXPECT_NEAR(Points(curves[3]).back().x, l.speed.Right(), kPixel);
    EXPECT_LE(l.speed.Right(), o.width);
    EXPECT_LE(l.path.Right(), l.speed.Left());
  }
  const Layout l = LayoutFor({});
  bool tick = false;
  for (const Element &e : elements)
    tick = tick || (e.text == "0.6" && std::fabs(std::stod(e.attr.at("x")) - (l.speed.Left() + 0.6 * l.speed.w)) < kPixel);
  EXPECT_TRUE(tick);
  EXPECT_FALSE(HasText(elements, "1.6"));
}

TEST(SvgPlot, PathPanelKeepsOnePixelScaleOnBothAxes) {
  const auto r = LayoutFor({}).path;
  auto path_of = [](const std::vector<kpx4160_sim_sample> &log) { return Points(WithClass(Parse(RenderSvg(log)), "path").at(0)); };
  // Wide path: x spans 10000 pulses and fills the panel; y (1000) is centred
  // at the same pixels per pulse, larger positions higher up.
  const auto wide = path_of(Log(101));
  ASSERT_EQ(wide.size(), 101u);
  EXPECT_NEAR(wide.front().x, r.Left(), kPixel);
  EXPECT_NEAR(wide.back().x, r.Right(), kPixel);
  EXPECT_NEAR(wide.front().y - wide.back().y, 1000 * r.w / 10000, 2 * kPixel);
  EXPECT_NEAR((wide.front().y + wide.back().y) / 2, (r.Top() + r.Bottom()) / 2, kPixel);
  const auto start = WithClass(Parse(RenderSvg(Log(101))), "start").at(0);
  EXPECT_NEAR(std::stod(start.attr.at("cx")), wide.front().x, kPixel);
  EXPECT_NEAR(std::stod(start.attr.at("cy")), wide.front().y, kPixel);
  // Tall path: y spans 20000 and fills the panel, x (100) is centred.
  std::vector<kpx4160_sim_sample> tall;
  for (int i = 0; i <= 4; ++i) {
    tall.push_back(S(0.1 * i, 0, 0, -50 + 25 * i, 0));
    tall.push_back(S(0.1 * i, 0, 1, -10000 + 5000 * i, 0));
  }
  const auto up = path_of(tall);
  ASSERT_EQ(up.size(), 5u);
  EXPECT_NEAR(up.front().y, r.Bottom(), kPixel);
  EXPECT_NEAR(up.back().y, r.Top(), kPixel);
  EXPECT_NEAR(up[2].x, (r.Left() + r.Right()) / 2, kPixel);
  EXPECT_NEAR(up[1].x - up[0].x, 25 * r.h / 20000, 2 * kPixel);
  // Instants where card 0 logged only one chip axis make no path point.
  tall.erase(tall.begin() + 3);
  EXPECT_EQ(path_of(tall).size(), 4u);
}

TEST(SvgPlot, EmptyFlatAndNonFiniteInputGiveValidDocuments) {
  const auto empty = Parse(RenderSvg({}));
  EXPECT_EQ(WithClass(empty, "frame").size(), 2u);
  for (const Element &e : empty) EXPECT_NE(e.name, "polyline");
  EXPECT_TRUE(HasText(empty, "no samples"));
  // One instant at rest: the point sits mid path panel, on the speed panel's floor.
  const Layout l = LayoutFor({});
  const auto flat = Parse(RenderSvg(std::vector{S(2.0, 0, 0, 300, 0), S(2.0, 0, 1, -40, 0)}));
  const auto point = Points(WithClass(flat, "path").at(0));
  ASSERT_EQ(point.size(), 1u);
  EXPECT_NEAR(point[0].x, (l.path.Left() + l.path.Right()) / 2, kPixel);
  EXPECT_NEAR(point[0].y, (l.path.Top() + l.path.Bottom()) / 2, kPixel);
  EXPECT_NEAR(Points(WithClass(flat, "speed").at(0)).at(0).y, l.speed.Bottom(), kPixel);
  // Samples with a non-finite time or speed are left out.
  auto log = Log(11);
  log[4].speed = std::numeric_limits<double>::quiet_NaN();  // instant 1, card 0 chip axis 0
  log[9].time = std::numeric_limits<double>::infinity();    // instant 2, card 0 chip axis 1
  const auto odd = Parse(RenderSvg(log));
  const auto speed = WithClass(odd, "speed");
  ASSERT_EQ(speed.size(), 4u);
  EXPECT_EQ(Points(speed[0]).size(), 10u);
  EXPECT_EQ(Points(speed[1]).size(), 10u);
  EXPECT_EQ(Points(speed[2]).size(), 11u);
  EXPECT_EQ(Points(WithClass(odd, "path").at(0)).size(), 9u);
  // A document too small for its margins still has positive panels.
  const PlotOptions tiny{10, 10, ""};
  Parse(RenderSvg(Log(5), tiny));
  EXPECT_GT(LayoutFor(tiny).path.w, 0);
  EXPECT_GT(LayoutFor(tiny).speed.h, 0);
}

TEST(SvgPlot, TicksAreRoundValuesInsideTheRange) {
  using tools::svg::TickLabel;
  using tools::svg::Ticks;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const struct { double lo, hi; int count; std::vector<double> ticks; } rows[] = {
      {0, 10000, 6, {0, 2000, 4000, 6000, 8000, 10000}}, {0.03, 5.6, 6, {1, 2, 3, 4, 5}},
      {-1.2, 1.2, 6, {-1.0, -0.5, 0.0, 0.5, 1.0}},     {-7, -2, 5, {-7, -6, -5, -4, -3, -2}},
      {0.1, 0.35, 5, {0.1, 0.15, 0.2, 0.25, 0.3, 0.35}}, {1, 1, 6, {}}, {2, 1, 6, {}}, {0, nan, 6, {}}, {0, inf, 6, {}},
      {0, 1, 0, {}},
  };
  for (const auto &row : rows) {
    const auto got = Ticks(row.lo, row.hi, row.count);
    ASSERT_EQ(got.size(), row.ticks.size()) << row.lo << ".." << row.hi;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], row.ticks[i], 1e-12);
  }
  EXPECT_EQ(TickLabel(10000, 2000), "10000");
  EXPECT_EQ(TickLabel(-5000, 1000), "-5000");
  EXPECT_EQ(TickLabel(0.5, 0.5), "0.5");
  EXPECT_EQ(TickLabel(0.25, 0.05), "0.25");
  EXPECT_EQ(TickLabel(-1e-17, 0.2), "0.0");
  EXPECT_EQ(TickLabel(nan, 1), "0");
}

TEST(SvgPlot, WritesTheRenderedDocumentToAFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("kpx4160_svg_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto log = Log(21);
  const std::string path = (dir / "plot.svg").string();
  ASSERT_TRUE(tools::svg::WriteSvg(path, log));
  std::ifstream in(path, std::ios::binary);
  const std::string written(std::istreambuf_iterator<char>(in), {});
  in.close();  // Windows deletes no file that is still open
  EXPECT_EQ(written, RenderSvg(log));
  EXPECT_FALSE(tools::svg::WriteSvg((dir / "missing" / "plot.svg").string(), log));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kpx::test
