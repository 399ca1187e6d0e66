// Three- and four-axis lines: the card's chip has two axes, so these names
// exist only for applications written for larger cards. One do-nothing body
// under both names.
#include "kpx4160.h"

extern "C" {

void k4160_t_line3(void) {}
void k4160_t_line4(void) __attribute__((alias("k4160_t_line3")));

}  // extern "C"
