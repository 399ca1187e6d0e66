/* A point move of axis 0 by 2000 pulses with a trapezoidal profile, waiting for it to end. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#include <stdio.h>
#include <time.h>

#include <kpx4160.h>

static void sleep_ms(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

int main(void) {
  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) {
    fprintf(stderr, "no card opened (%u)\n", cards);
    return 1;
  }
  const uint16_t axis = 0;
  k4160_set_position(axis, 0);
  /* 500 pulses/s at the start, 20000 pulses/s at most, 0.05 s ramps. */
  k4160_set_profile(axis, 500, 20000, 0.05, 0.05);
  k4160_t_pmove(axis, 2000, K4160_RELATIVE);
  while (k4160_check_done(axis) == 0) sleep_ms(1);
  const int32_t position = k4160_get_position(axis);
  k4160_board_close();
  printf("axis %u stopped at %d\n", axis, position);
  return position == 2000 ? 0 : 1;
}
