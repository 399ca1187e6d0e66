// Status getters of the older interrupt interface, kept so that applications
// written for it still link and run; the card's interrupts are served by the
// k4160_set_int_* functions instead. One body exported under four names.
#include <cstdint>

#include "kpx4160.h"

// The aliases give one body several signatures on purpose: every argument is
// ignored, and a zero result reads as zero in any integer return type.
// Only GCC warns about such aliases; clang knows neither warning group.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#pragma GCC diagnostic ignored "-Wmissing-attributes"
#endif

// The status getters: one body answering 0.
KPX4160_CXX_API long Get_int_status(int) { return 0; }
KPX4160_CXX_API int Get_irq_channel(int) __attribute__((alias("_Z14Get_int_statusi")));
KPX4160_CXX_API int Get_irq_status(int) __attribute__((alias("_Z14Get_int_statusi")));
KPX4160_CXX_API int Get_out_status(int) __attribute__((alias("_Z14Get_int_statusi")));

// The interrupt setters are further names of the do-nothing body of
// k4160_t_line3 (interp/line_stubs.cpp).

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
