// An application function named like one of the library's exports must not
// replace the library's own: R_move starts its move with the library's
// Start_r_move, so this program's Start_r_move is never called and the axis
// moves.
#include <stdio.h>

#include "kpx4160.h"
#include "kpx4160_sim.h"

static int own_start_calls;

void Start_r_move(int32_t axis, double distance, double s, double v, double t) {
  (void)axis, (void)distance, (void)s, (void)v, (void)t;
  ++own_start_calls;
}

int main(void) {
  kpx4160_sim_set_clock(KPX4160_SIM_CLOCK_VIRTUAL, -1.0);
  if (k4160_board_init() != 1) return 1;
  R_move(0, 500, 1000, 5000, 0.05);
  const int32_t position = k4160_get_position(0);
  k4160_board_close();
  printf("axis 0 at %d, application Start_r_move called %d times\n", (int)position, own_start_calls);
  return position == 500 && own_start_calls == 0 ? 0 : 1;
}
