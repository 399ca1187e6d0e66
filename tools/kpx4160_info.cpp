// kpx4160-info: lists the cards the library finds, with serial number,
// firmware and library version. Built against the simulated cards; link it
// with libkpx4160.so instead to list real ones.
#include <cstdint>
#include <cstdio>

#include "kpx4160.h"

int main() {
  const uint32_t result = k4160_board_init();
  if (result > 1000) {
    std::printf("opening card %u failed\n", result - 1001);
    k4160_board_close();
    return 1;
  }
  uint32_t lib_first = 0, lib_second = 0;
  k4160_get_lib_version(&lib_first, &lib_second);
  std::printf("library version %u.%u, %u card(s)\n", lib_first, lib_second, result);
  for (uint16_t card = 0; card < result; ++card) {
    uint32_t product = 0, firmware = 0;
    char sn[9] = {};
    k4160_get_hard_version(card, &product, &firmware, nullptr, sn);
    std::printf("card %u: KPX%u serial %s firmware %u.%02u axes %u-%u\n", card, product, sn, firmware / 100,
                firmware % 100, 2 * card, 2 * card + 1);
  }
  if (result != 0) k4160_board_close();
  return 0;
}
