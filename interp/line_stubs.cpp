// Three- and four-axis lines: the card's chip has two axes, so these names
// exist only for applications written for larger cards. One do-nothing body
// serves both, and also the setters of the older interrupt interface
// (Set_int_control, Set_int_disable, Set_int_enable, Set_int_factor), whose
// arguments it ignores like every other.
#include "kpx4160.h"

// The aliases give one body several signatures on purpose: every argument is
// ignored and nothing is returned.
// Only GCC warns about such aliases; clang knows neither warning group.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif

extern "C" {

void k4160_t_line3(void) {}
void k4160_t_line4(void) __attribute__((alias("k4160_t_line3")));

}  // extern "C"

void Set_int_control(int, int) __attribute__((alias("k4160_t_line3")));
void Set_int_disable(int) __attribute__((alias("k4160_t_line3")));
void Set_int_enable(int, void **) __attribute__((alias("k4160_t_line3")));
void Set_int_factor(int, long) __attribute__((alias("k4160_t_line3")));

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
