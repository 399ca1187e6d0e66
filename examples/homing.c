/* Homing against the home switch, then a continuous move that the +EL end limit stops. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#include <stdio.h>
#include <time.h>

#include <kpx4160.h>
#include <kpx4160_sim.h>

static void wait_done(uint16_t axis) {
  const struct timespec ms = {0, 1000000L};
  while (k4160_check_done(axis) == 0) nanosleep(&ms, NULL);
}

int main(void) {
  /* The simulated machine: home switch at -3000, end limits at -10000 and +10000. */
  kpx4160_sim_set_home_switch(0, 0, -3000, 1);
  kpx4160_sim_set_limit_switches(0, 0, -10000, 10000, 1);

  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) return 1;
  const uint16_t axis = 0;
  k4160_set_position(axis, 0);
  /* The search runs at the start speed of the loaded profile when started without ramp. */
  k4160_set_profile(axis, 20000, 40000, 0.05, 0.05);
  k4160_home_move(axis, K4160_HOME_NEGATIVE, K4160_HOME_CONSTANT_SPEED);
  wait_done(axis);
  const int32_t home = k4160_get_position(axis);
  const int at_home = (k4160_axis_io_status(axis) & K4160_SSTS_HOME) != 0;

  k4160_t_vmove(axis, K4160_DIR_POSITIVE);
  wait_done(axis);
  const int32_t stop = k4160_get_position(axis);
  const int on_limit = (k4160_axis_io_status(axis) & K4160_SSTS_PLUS_EL) != 0;
  k4160_board_close();
  printf("home found at %d%s; the +EL limit stopped the axis at %d%s\n", home,
         at_home ? " (HOME active)" : "", stop, on_limit ? " (+EL active)" : "");
  return home == -3000 && at_home && stop == 10000 && on_limit ? 0 : 1;
}
