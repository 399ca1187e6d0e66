// A straight line of axes 0 and 1, then a half circle back, both along the vector profile.
#include <chrono>
#include <cstdio>
#include <thread>

#include <kpx4160.h>

namespace {

void WaitForBoth(uint16_t x, uint16_t y) {
  while (k4160_check_done(x) == 0 || k4160_check_done(y) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

int main() {
  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) return 1;
  const uint16_t axes[2] = {0, 1};
  k4160_set_position(axes[0], 0);
  k4160_set_position(axes[1], 0);
  // Path speed 1000 -> 20000 pulses/s with 0.05 s ramps, shared out so both axes arrive together.
  k4160_set_vector_profile(1000, 20000, 0.05, 0.05);
  k4160_t_line2(axes[0], 3000, axes[1], 4000, K4160_ABSOLUTE);
  WaitForBoth(axes[0], axes[1]);
  const bool line_ok = k4160_get_position(axes[0]) == 3000 && k4160_get_position(axes[1]) == 4000;

  // Half a turn counter-clockwise about (0, 0): from (3000, 4000) to (-3000, -4000).
  const int32_t target[2] = {-3000, -4000};
  const int32_t centre[2] = {0, 0};
  const int32_t issued = k4160_arc_move(axes, target, centre, K4160_ARC_CCW);
  WaitForBoth(axes[0], axes[1]);
  const int32_t x = k4160_get_position(axes[0]), y = k4160_get_position(axes[1]);
  k4160_board_close();
  std::printf("\nline %s, arc ended at (%d, %d)\n", line_ok ? "reached (3000, 4000)" : "missed", x, y);
  // The arc's chord ends are whole pulses: the end lies within a pulse of the target.
  const bool arc_ok = issued == 1 && x >= -3001 && x <= -2999 && y >= -4001 && y <= -3999;
  return line_ok && arc_ok ? 0 : 1;
}
