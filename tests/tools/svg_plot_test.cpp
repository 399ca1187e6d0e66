// The SVG writer of the demo's motion plot: what would break a plot is a
// document a browser rejects (unescaped text, non-finite numbers), a curve
// lost or given a point for an unusable sample, or data off its panel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/svg_plot.h"

namespace kpx::test {
namespace {

using Pt = std::pair<double, double>;  // x, y
// The points of every polyline of class cls, in document order.
std::vector<std::vector<Pt>> Curves(const std::string &doc, const std::string &cls) {
  std::vector<std::vector<Pt>> curves;
  const std::regex polyline("<polyline class=\"" + cls + "\"[^>]* points=\"([^\"]*)\"/>");
  for (std::sregex_iterator m(doc.begin(), doc.end(), polyline), end; m != end; ++m) {
    std::istringstream in((*m)[1].str());
    curves.emplace_back();
    for (Pt p{}; in >> p.first && in.get() == ',' && in >> p.second;) curves.back().push_back(p);
  }
  return curves;
}

TEST(SvgPlot, CurvesPerAxisOnThePanelsAndValidDocumentsForOddInput) {
  // Card 0 runs x 0 -> 10000 pulses while y goes 2000 -> 3000; axis 0's speed peaks at 5000 mid-way.
  std::vector<kpx4160_sim_sample> log;
  for (int i = 0; i <= 100; ++i) {
    const double t = 1 + i * 0.01, f = i / 100.0;
    log.push_back({t, 0, 0, int32_t(10000 * f), int32_t(10000 * f), 5000 * (1 - std::fabs(2 * f - 1))});
    log.push_back({t, 0, 1, int32_t(2000 + 1000 * f), int32_t(2000 + 1000 * f), 1000 * f});
  }
  auto odd = log;
  odd[4].speed = std::numeric_limits<double>::quiet_NaN();  // instant 2, axis 0
  odd[9].time = std::numeric_limits<double>::infinity();    // instant 4, axis 1
  const struct { std::vector<kpx4160_sim_sample> log; size_t speed_points, path_points; } rows[] = {
      {log, 101, 101}, {odd, 100, 99}, {{log[0], log[1]}, 1, 1}, {{}, 0, 0}};
  for (const auto &row : rows) {
    const std::string doc = tools::svg::RenderSvg(row.log, {1100, 520, "moves <1> & \"2\""});
    EXPECT_EQ(doc.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_NE(doc.find(">moves &lt;1&gt; &amp; &quot;2&quot;</text>"), std::string::npos);
    EXPECT_EQ(doc.find("nan"), std::string::npos);
    EXPECT_EQ(doc.find("inf"), std::string::npos);
    EXPECT_EQ(doc.substr(doc.size() - 7), "</svg>\n");
    const auto speed = Curves(doc, "speed"), path = Curves(doc, "path");
    ASSERT_EQ(speed.size(), row.speed_points ? 2u : 0u);
    for (const auto &curve : speed) EXPECT_EQ(curve.size(), row.speed_points);
    EXPECT_EQ(path.empty() ? 0 : path[0].size(), row.path_points);
  }
  // First instant on the left edge, last on the right, the peak on the top;
  // the path at one scale on both axes, larger y higher up.
  const auto l = tools::svg::LayoutFor({});
  const std::string doc = tools::svg::RenderSvg(log);
  const auto axis0 = Curves(doc, "speed").at(0), path = Curves(doc, "path").at(0);
  EXPECT_NEAR(axis0.front().first, l.speed.Left(), 0.01);
  EXPECT_NEAR(axis0.back().first, l.speed.Right(), 0.01);
  EXPECT_NEAR(axis0[50].second, l.speed.Top(), 0.01);
  EXPECT_NEAR(path.front().second - path.back().second, 1000 * l.path.w / 10000, 0.02);  // same scale in y
}

}  // namespace
}  // namespace kpx::test
