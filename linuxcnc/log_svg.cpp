// kpx4160-log-svg: draws a simulated card's motion log (the CSV that
// kpx4160_sim_log_write_csv() writes, e.g. from the kpx4160sim HAL
// component) as an SVG of the X-Y path and the axis speeds.
//   kpx4160-log-svg motion.csv path.svg [title]
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/svg_plot.h"

namespace {

// One CSV line "time,card,chip_axis,position,encoder,speed"; false for the
// header or a malformed line.
bool ParseSample(const std::string &line, kpx4160_sim_sample &out) {
  std::istringstream in(line);
  char c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;
  in >> out.time >> c1 >> out.card >> c2 >> out.chip_axis >> c3 >> out.position >> c4 >> out.encoder >> c5 >> out.speed;
  return !in.fail() && c1 == ',' && c2 == ',' && c3 == ',' && c4 == ',' && c5 == ',';
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s motion.csv out.svg [title]\n", argv[0]);
    return 2;
  }
  std::ifstream csv(argv[1]);
  if (!csv) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  std::vector<kpx4160_sim_sample> samples;
  std::string line;
  for (kpx4160_sim_sample s{}; std::getline(csv, line);)
    if (ParseSample(line, s)) samples.push_back(s);
  kpx::tools::svg::PlotOptions options;
  if (argc > 3) options.title = argv[3];
  if (!kpx::tools::svg::WriteSvg(argv[2], samples, options)) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
    return 1;
  }
  std::printf("%s: %zu samples\n", argv[2], samples.size());
  return samples.empty() ? 1 : 0;
}
