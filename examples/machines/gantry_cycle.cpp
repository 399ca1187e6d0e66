// A small machine program for the gantry of gantry.toml: it homes both
// axes on their home switches, moves them, then runs X into its end limit
// and reports why it stopped. It is linked with -lkpx4160 like any machine
// program; to run it on the simulated gantry instead of the real one:
//   LD_LIBRARY_PATH=<libdir>/kpx4160/sim KPX4160_SIM_MACHINE=gantry.toml ./gantry_cycle
#include <cstdio>

#include "kpx4160.h"

namespace {

void WaitDone(uint16_t axis) {
  while (k4160_check_done(axis) == 0) {
  }
}

}  // namespace

int main() {
  if (k4160_board_init() == 0) {
    char text[512];
    k4160_get_error_text(text, sizeof text);
    std::fprintf(stderr, "no card: %s", text);
    return 1;
  }
  // Home towards minus at the start speed: each axis stops on its switch.
  for (uint16_t axis = 0; axis < 2; ++axis) {
    k4160_set_profile(axis, 2000, 20000, 0.1, 0.1);
    k4160_home_move(axis, 2, 0);
  }
  WaitDone(0);
  WaitDone(1);
  std::printf("homed at %d %d\n", k4160_get_position(0), k4160_get_position(1));
  for (uint16_t axis = 0; axis < 2; ++axis) k4160_set_position(axis, 0);
  k4160_t_pmove(0, 50000, 1);
  k4160_t_pmove(1, 30000, 1);
  WaitDone(0);
  WaitDone(1);
  std::printf("moved to %d %d\n", k4160_get_position(0), k4160_get_position(1));
  // Far beyond the end of X: the +EL switch (bit 9 of the I/O status) stops it.
  k4160_t_pmove(0, 200000, 0);
  WaitDone(0);
  std::printf("X stopped at %d, io 0x%04x, error cause 0x%x\n", k4160_get_position(0), k4160_axis_io_status(0),
              k4160_get_error_intfactor(0));
  k4160_board_close();
  return 0;
}
