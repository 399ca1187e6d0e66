// General-purpose outputs and inputs of card 0, one bit at a time and as whole ports.
#include <cstdio>

#include <kpx4160.h>
#include <kpx4160_sim.h>

int main() {
  // The simulated machine: input 3 (a bit of the card's input register, 0x4C) and
  // input 18 (the chip's sub-status of chip axis 1) are active.
  kpx4160_sim_set_pld_register(0, 0x4C, 1u << 2);
  kpx4160_sim_set_sub_status(0, 1, K4160_SSTS_IN_17_18);

  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) return 1;
  const uint16_t card = 0;
  k4160_write_outport(card, 0);              // all outputs off
  k4160_write_outbit(card, 5, K4160_ON);     // an output of the card's PLD
  k4160_write_outbit(card, 16, K4160_ON);    // an output of the chip's terminals
  const uint32_t outputs = k4160_read_outport(card);
  const uint32_t inputs = k4160_read_inport(card);
  const bool bits_ok = k4160_read_outbit(card, 5) == K4160_ON && k4160_read_outbit(card, 6) == K4160_OFF &&
                       k4160_read_inbit(card, 3) == 1 && k4160_read_inbit(card, 18) == 1 &&
                       k4160_read_inbit(card, 21) == K4160_INBIT_INVALID;
  k4160_board_close();
  std::printf("outputs 0x%05x, inputs 0x%05x\n", outputs, inputs);
  // Port bit k is input or output k + 1.
  return bits_ok && outputs == ((1u << 4) | (1u << 15)) && inputs == ((1u << 2) | (1u << 17)) ? 0 : 1;
}
