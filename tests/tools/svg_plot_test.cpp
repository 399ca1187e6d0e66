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
using tools::svg::Rect;
using tools::svg::RenderSvg;

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // character data up to the next tag
};

// A minimal XML reader for the writer's output: elements with quoted
// attributes, properly nested. Fails the test on anything else.
std::vector<Element> Parse(const std::string &doc) {
  std::vector<Element> elements;
  std::vector<std::string> open;
  size_t i = 0;
  while ((i = doc.find('<', i)) != std::string::npos) {
    const size_t end = doc.find('>', i);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated tag at " << i;
      break;
    }
    std::string tag = doc.substr(i + 1, end - i - 1);
    i = end + 1;
    if (!tag.empty() && tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) {
        ADD_FAILURE() << "closing </" << tag.substr(1) << "> does not match "
                      << (open.empty() ? std::string("nothing") : open.back());
        continue;
      }
      open.pop_back();
      continue;
    }
    const bool empty = !tag.empty() && tag.back() == '/';
    if (empty) tag.pop_back();
    Element e;
    size_t p = tag.find_first_of(" \n");
    e.name = tag.substr(0, p);
    while (p != std::string::npos && p < tag.size()) {
      p = tag.find_first_not_of(" \n", p);
      if (p == std::string::npos) break;
      const size_t eq = tag.find('=', p);
      if (eq == std::string::npos || eq + 1 >= tag.size() || tag[eq + 1] != '"') {
        ADD_FAILURE() << "attribute without a quoted value in <" << tag << ">";
        break;
      }
      const size_t close = tag.find('"', eq + 2);
      if (close == std::string::npos) {
        ADD_FAILURE() << "unterminated attribute in <" << tag << ">";
        break;
      }
      e.attributes[tag.substr(p, eq - p)] = tag.substr(eq + 2, close - eq - 2);
      p = close + 1;
    }
    const size_t next = doc.find('<', i);
    e.text = doc.substr(i, next == std::string::npos ? std::string::npos : next - i);
    if (!empty) open.push_back(e.name);
    elements.push_back(std::move(e));
  }
  EXPECT_TRUE(open.empty()) << "unclosed <" << (open.empty() ? "" : open.back()) << ">";
  return elements;
}

std::vector<Element> WithClass(const std::vector<Element> &elements, const std::string &cls) {
  std::vector<Element> out;
  for (const Element &e : elements) {
    auto it = e.attributes.find("class");
    if (it != e.attributes.end() && it->second == cls) out.push_back(e);
  }
  return out;
}

struct Pt {
  double x, y;
};

std::vector<Pt> Points(const Element &polyline) {
  std::vector<Pt> pts;
  std::istringstream in(polyline.attributes.at("points"));
  std::string pair;
  while (in >> pair) {
    Pt p{};
    EXPECT_EQ(std::sscanf(pair.c_str(), "%lf,%lf", &p.x, &p.y), 2) << pair;
    pts.push_back(p);
  }
  return pts;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

// Every number in the document is finite: no "nan" or "inf" anywhere.
void ExpectOnlyFiniteNumbers(const std::string &doc) {
  EXPECT_EQ(doc.find("nan"), std::string::npos);
  EXPECT_EQ(doc.find("inf"), std::string::npos);
}

kpx4160_sim_sample S(double t, uint32_t card, uint32_t chip_axis, int32_t position, double speed) {
  return {t, card, chip_axis, position, position, speed};
}

// Card 0 moving along x from 0 to 10000 while y goes 2000 -> 3000, with
// axis 0's speed peaking at 5000 at t = 1.5; card 1 logged beside it.
std::vector<kpx4160_sim_sample> Log(int instants) {
  std::vector<kpx4160_sim_sample> log;
  for (int i = 0; i < instants; ++i) {
    const double t = 1.0 + i * 0.01;
    const double f = static_cast<double>(i) / (instants - 1);
    log.push_back(S(t, 0, 0, static_cast<int32_t>(10000 * f), 5000 * (1 - std::fabs(2 * f - 1))));
    log.push_back(S(t, 0, 1, static_cast<int32_t>(2000 + 1000 * f), 1000 * f));
    log.push_back(S(t, 1, 0, 7, 0));
    log.push_back(S(t, 1, 1, -7, 300));
  }
  return log;
}

constexpr double kPixel = 0.006;  // coordinates are written with two decimals
constexpr double kPixelDiff = 2 * kPixel;  // the difference of two written coordinates

TEST(SvgPlot, DocumentIsWellFormedWithOnePointPerSample) {
  const auto log = Log(101);
  const std::string doc = RenderSvg(log);
  EXPECT_EQ(doc.rfind("<svg", 0), 0u);
  const std::string body = Trimmed(doc);
  EXPECT_EQ(body.substr(body.size() - 6), "</svg>");
  ExpectOnlyFiniteNumbers(doc);
  const auto elements = Parse(doc);
  ASSERT_FALSE(elements.empty());
  EXPECT_EQ(elements[0].name, "svg");
  EXPECT_EQ(elements[0].attributes.at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_EQ(elements[0].attributes.at("width"), "1100.00");

  // The path: card 0 only, one point per sampling instant.
  const auto path = WithClass(elements, "path");
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(path[0].name, "polyline");
  EXPECT_EQ(Points(path[0]).size(), 101u);

  // One speed curve per logged axis, in axis-number order (axis n is chip
  // axis n & 1 of card n >> 1), each in its own colour and in the legend.
  const auto speed = WithClass(elements, "speed");
  ASSERT_EQ(speed.size(), 4u);
  std::vector<std::string> colours;
  for (size_t i = 0; i < speed.size(); ++i) {
    EXPECT_EQ(speed[i].attributes.at("data-axis"), std::to_string(i));
    EXPECT_EQ(Points(speed[i]).size(), 101u) << i;
    colours.push_back(speed[i].attributes.at("stroke"));
    for (size_t j = 0; j < i; ++j) EXPECT_NE(colours[i], colours[j]);
  }
  const auto legend = WithClass(elements, "legend");
  ASSERT_EQ(legend.size(), 4u);
  for (size_t i = 0; i < legend.size(); ++i) EXPECT_EQ(legend[i].attributes.at("stroke"), colours[i]);
  for (const char *label : {"axis 0", "axis 1", "axis 2", "axis 3"}) {
    bool found = false;
    for (const Element &e : elements) found = found || (e.name == "text" && e.text == label);
    EXPECT_TRUE(found) << label;
  }

  // Axis titles are there, and the title is escaped.
  PlotOptions options;
  options.title = "moves <1> & \"2\"";
  const auto titled = Parse(RenderSvg(log, options));
  bool title = false, time_axis = false, position_axis = false;
  for (const Element &e : titled) {
    title = title || e.text == "moves &lt;1&gt; &amp; &quot;2&quot;";
    time_axis = time_axis || e.text == "time since the first sample (s)";
    position_axis = position_axis || e.text == "axis 0 position (pulses)";
  }
  EXPECT_TRUE(title);
  EXPECT_TRUE(time_axis);
  EXPECT_TRUE(position_axis);
}

TEST(SvgPlot, SpeedPanelMapsTimeAndSpeedOntoItsEdges) {
  const auto log = Log(101);
  const Layout layout = LayoutFor({});
  const auto speed = WithClass(Parse(RenderSvg(log)), "speed");
  ASSERT_EQ(speed.size(), 4u);
  const auto axis0 = Points(speed[0]);
  ASSERT_EQ(axis0.size(), 101u);
  // First instant on the left edge, last on the right, at rest on the
  // bottom edge, the highest speed of all axes on the top edge.
  EXPECT_NEAR(axis0.front().x, layout.speed.Left(), kPixel);
  EXPECT_NEAR(axis0.back().x, layout.speed.Right(), kPixel);
  EXPECT_NEAR(axis0.front().y, layout.speed.Bottom(), kPixel);
  EXPECT_NEAR(axis0[50].y, layout.speed.Top(), kPixel);
  EXPECT_NEAR(axis0[50].x, (layout.speed.Left() + layout.speed.Right()) / 2, kPixel);
  // Linear in between: half the peak speed half way up.
  EXPECT_NEAR(axis0[25].y, layout.speed.Bottom() - layout.speed.h * 0.5, kPixel);
  // Axis 1 ends at 1000 of 5000 pulses/s; axis 2 stays at rest.
  EXPECT_NEAR(Points(speed[1]).back().y, layout.speed.Bottom() - layout.speed.h * 0.2, kPixel);
  for (const Pt &p : Points(speed[2])) EXPECT_NEAR(p.y, layout.speed.Bottom(), kPixel);
  // Every axis shares the time scale.
  EXPECT_NEAR(Points(speed[3]).back().x, layout.speed.Right(), kPixel);
  // Time counts from the first sample (t = 1 s on the clock): the time
  // ticks read 0.0 .. 1.0 s, each under its instant.
  const auto elements = Parse(RenderSvg(log));
  auto tick_at = [&](const std::string &label, double x) {
    for (const Element &e : elements)
      if (e.name == "text" && e.text == label && std::fabs(std::stod(e.attributes.at("x")) - x) < kPixel) return true;
    return false;
  };
  EXPECT_TRUE(tick_at("0.0", layout.speed.Left()));
  EXPECT_TRUE(tick_at("0.6", layout.speed.Left() + 0.6 * layout.speed.w));
  EXPECT_TRUE(tick_at("1.0", layout.speed.Right()));
  EXPECT_FALSE(tick_at("1.6", layout.speed.Left() + 0.6 * layout.speed.w));

  // A different document size moves the edges with it.
  PlotOptions small;
  small.width = 700;
  small.height = 400;
  const Layout small_layout = LayoutFor(small);
  const auto small_speed = Points(WithClass(Parse(RenderSvg(log, small)), "speed")[0]);
  EXPECT_NEAR(small_speed.back().x, small_layout.speed.Right(), kPixel);
  EXPECT_NEAR(small_speed[50].y, small_layout.speed.Top(), kPixel);
  EXPECT_LE(small_layout.speed.Right(), 700);
  EXPECT_LE(small_layout.path.Right(), small_layout.speed.Left());
}

TEST(SvgPlot, PathPanelKeepsOnePixelScaleOnBothAxes) {
  const Layout layout = LayoutFor({});
  const Rect &r = layout.path;
  auto path_of = [](const std::vector<kpx4160_sim_sample> &log) {
    const auto path = WithClass(Parse(RenderSvg(log)), "path");
    EXPECT_EQ(path.size(), 1u);
    return path.empty() ? std::vector<Pt>{} : Points(path[0]);
  };

  // Wide path: x spans 10000 pulses, y 1000. x fills the panel; y is
  // centred at the same pixels per pulse, larger positions higher up.
  const auto wide = path_of(Log(101));
  ASSERT_EQ(wide.size(), 101u);
  EXPECT_NEAR(wide.front().x, r.Left(), kPixel);
  EXPECT_NEAR(wide.back().x, r.Right(), kPixel);
  const double ppu = r.w / 10000;
  EXPECT_NEAR(wide.front().y - wide.back().y, 1000 * ppu, kPixelDiff);
  EXPECT_NEAR((wide.front().y + wide.back().y) / 2, (r.Top() + r.Bottom()) / 2, kPixel);
  // The start is marked where the path begins.
  const auto start = WithClass(Parse(RenderSvg(Log(101))), "start");
  ASSERT_EQ(start.size(), 1u);
  EXPECT_NEAR(std::stod(start[0].attributes.at("cx")), wide.front().x, kPixel);
  EXPECT_NEAR(std::stod(start[0].attributes.at("cy")), wide.front().y, kPixel);

  // Tall path: y spans 20000, x 100: y fills the panel, x is centred.
  std::vector<kpx4160_sim_sample> tall;
  for (int i = 0; i <= 4; ++i) {
    tall.push_back(S(0.1 * i, 0, 0, -50 + 25 * i, 0));
    tall.push_back(S(0.1 * i, 0, 1, -10000 + 5000 * i, 0));
  }
  const auto up = path_of(tall);
  ASSERT_EQ(up.size(), 5u);
  EXPECT_NEAR(up.front().y, r.Bottom(), kPixel);
  EXPECT_NEAR(up.back().y, r.Top(), kPixel);
  const double tall_ppu = r.h / 20000;
  EXPECT_NEAR(up.back().x - up.front().x, 100 * tall_ppu, kPixelDiff);
  EXPECT_NEAR(up[2].x, (r.Left() + r.Right()) / 2, kPixel);
  // Equal steps in pulses are equal steps in pixels on both axes.
  EXPECT_NEAR(up[1].y - up[0].y, -5000 * tall_ppu, kPixelDiff);
  EXPECT_NEAR(up[1].x - up[0].x, 25 * tall_ppu, kPixelDiff);

  // Instants where card 0 logged only one chip axis make no path point.
  std::vector<kpx4160_sim_sample> gappy = tall;
  gappy.erase(gappy.begin() + 3);  // chip axis 1 at t = 0.1
  EXPECT_EQ(path_of(gappy).size(), 4u);
}

TEST(SvgPlot, EmptyFlatAndNonFiniteInputGiveValidDocuments) {
  // No samples: frames and axes, no curves, a note, no undefined numbers.
  const std::string empty = RenderSvg({});
  EXPECT_EQ(empty.rfind("<svg", 0), 0u);
  EXPECT_EQ(Trimmed(empty).substr(Trimmed(empty).size() - 6), "</svg>");
  ExpectOnlyFiniteNumbers(empty);
  const auto elements = Parse(empty);
  EXPECT_EQ(WithClass(elements, "frame").size(), 2u);
  for (const Element &e : elements) EXPECT_NE(e.name, "polyline");
  bool note = false;
  for (const Element &e : elements) note = note || e.text == "no samples";
  EXPECT_TRUE(note);

  // One instant at rest: every range is a single value. The point sits in
  // the middle of the path panel and on the bottom of the speed panel.
  const Layout layout = LayoutFor({});
  const std::vector<kpx4160_sim_sample> one = {S(2.0, 0, 0, 300, 0), S(2.0, 0, 1, -40, 0)};
  const std::string flat = RenderSvg(one);
  ExpectOnlyFiniteNumbers(flat);
  const auto flat_elements = Parse(flat);
  const auto path = Points(WithClass(flat_elements, "path").at(0));
  ASSERT_EQ(path.size(), 1u);
  EXPECT_NEAR(path[0].x, (layout.path.Left() + layout.path.Right()) / 2, kPixel);
  EXPECT_NEAR(path[0].y, (layout.path.Top() + layout.path.Bottom()) / 2, kPixel);
  const auto speed = WithClass(flat_elements, "speed");
  ASSERT_EQ(speed.size(), 2u);
  EXPECT_NEAR(Points(speed[0]).at(0).y, layout.speed.Bottom(), kPixel);

  // Samples with a non-finite time or speed are left out.
  auto log = Log(11);
  log[4].speed = std::numeric_limits<double>::quiet_NaN();  // instant 1, card 0 chip axis 0
  log[9].time = std::numeric_limits<double>::infinity();    // instant 2, card 0 chip axis 1
  const std::string odd = RenderSvg(log);
  ExpectOnlyFiniteNumbers(odd);
  const auto odd_elements = Parse(odd);
  const auto odd_speed = WithClass(odd_elements, "speed");
  ASSERT_EQ(odd_speed.size(), 4u);
  EXPECT_EQ(Points(odd_speed[0]).size(), 10u);
  EXPECT_EQ(Points(odd_speed[1]).size(), 10u);
  EXPECT_EQ(Points(odd_speed[2]).size(), 11u);
  EXPECT_EQ(Points(WithClass(odd_elements, "path").at(0)).size(), 9u);

  // A document too small for its margins still has positive panels.
  PlotOptions tiny;
  tiny.width = 10;
  tiny.height = 10;
  const std::string small = RenderSvg(Log(5), tiny);
  ExpectOnlyFiniteNumbers(small);
  Parse(small);
  EXPECT_GT(LayoutFor(tiny).path.w, 0);
  EXPECT_GT(LayoutFor(tiny).speed.h, 0);
}

TEST(SvgPlot, TicksAreRoundValuesInsideTheRange) {
  using tools::svg::TickLabel;
  using tools::svg::Ticks;
  EXPECT_EQ(Ticks(0, 10000, 6), (std::vector<double>{0, 2000, 4000, 6000, 8000, 10000}));
  EXPECT_EQ(Ticks(0.03, 5.6, 6), (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Ticks(-1.2, 1.2, 6), (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  EXPECT_EQ(Ticks(-7, -2, 5), (std::vector<double>{-7, -6, -5, -4, -3, -2}));
  const auto fine = Ticks(0.1, 0.35, 5);
  ASSERT_EQ(fine.size(), 6u);  // 0.05 apart
  EXPECT_NEAR(fine.front(), 0.1, 1e-12);
  EXPECT_NEAR(fine.back(), 0.35, 1e-12);
  EXPECT_TRUE(Ticks(1, 1, 6).empty());
  EXPECT_TRUE(Ticks(2, 1, 6).empty());
  EXPECT_TRUE(Ticks(0, std::numeric_limits<double>::quiet_NaN(), 6).empty());
  EXPECT_TRUE(Ticks(0, std::numeric_limits<double>::infinity(), 6).empty());
  EXPECT_TRUE(Ticks(0, 1, 0).empty());

  EXPECT_EQ(TickLabel(10000, 2000), "10000");
  EXPECT_EQ(TickLabel(-5000, 1000), "-5000");
  EXPECT_EQ(TickLabel(0.5, 0.5), "0.5");
  EXPECT_EQ(TickLabel(0.25, 0.05), "0.25");
  EXPECT_EQ(TickLabel(-1e-17, 0.2), "0.0");
  EXPECT_EQ(TickLabel(std::numeric_limits<double>::quiet_NaN(), 1), "0");
}

TEST(SvgPlot, WritesTheRenderedDocumentToAFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("kpx4160_svg_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto log = Log(21);
  const std::string path = (dir / "plot.svg").string();
  ASSERT_TRUE(tools::svg::WriteSvg(path, log));
  std::ifstream in(path, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();  // Windows deletes no file that is still open
  EXPECT_EQ(written, RenderSvg(log));
  EXPECT_FALSE(tools::svg::WriteSvg((dir / "missing" / "plot.svg").string(), log));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kpx::test
