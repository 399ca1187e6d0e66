// Entry points that exist for applications written for multi-axis cards or
// for the older interface: this two-axis card has no three- or four-axis
// line, and needs no base address from the application. One body, three
// exported names, each answering 1.
#include "kpx4160.h"

// The aliases give one body several signatures on purpose: every argument is
// ignored and the result is the same 32-bit 1.
// Only GCC warns about such aliases; clang knows neither warning group.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif

extern "C" {

int32_t k4160_t_line3_unitmm(void) { return 1; }
int32_t k4160_t_line4_unitmm(void) __attribute__((alias("k4160_t_line3_unitmm")));

}  // extern "C"

int32_t Get_board_base(int) __attribute__((alias("k4160_t_line3_unitmm")));

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
