/* An interrupt at the end of each move, handled by the application's callback. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */
#include <stdatomic.h>
#include <stdio.h>
#include <time.h>

#include <kpx4160.h>

static atomic_int interrupts_of_card0;

/* Runs on the library's interrupt thread of the card. */
static void on_interrupt(uint16_t card) {
  if (card == 0) atomic_fetch_add(&interrupts_of_card0, 1);
}

int main(void) {
  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) return 1;
  const uint16_t axis = 0;
  k4160_set_board_isr(on_interrupt);
  k4160_set_int_factor(axis, K4160_EVENT_OPERATION_END);
  if (k4160_set_int_enable(0) != 0) {
    k4160_board_close();
    return 1;
  }
  const struct timespec ms = {0, 1000000L};
  k4160_set_profile(axis, 1000, 20000, 0.02, 0.02);
  for (int i = 0; i < 3; ++i) {
    k4160_t_pmove(axis, 1000, K4160_RELATIVE);
    while (k4160_check_done(axis) == 0) nanosleep(&ms, NULL);
  }
  /* The last interrupt may still be on its way to the callback. */
  for (int wait = 0; wait < 1000 && atomic_load(&interrupts_of_card0) < 3; ++wait) nanosleep(&ms, NULL);
  k4160_set_int_disable();
  k4160_board_close();
  const int seen = atomic_load(&interrupts_of_card0);
  printf("3 moves, %d end-of-move interrupts\n", seen);
  return seen == 3 ? 0 : 1;
}
