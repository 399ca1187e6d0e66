// Moves in millimetres: 400 pulses per millimetre on axis 0, profile, move and readback in mm.
#include <chrono>
#include <cstdio>
#include <thread>

#include <kpx4160.h>

int main() {
  const uint32_t cards = k4160_board_init();
  if (cards == 0 || cards >= K4160_INIT_FAILED_BASE) return 1;
  const uint16_t axis = 0;
  k4160_set_equiv(axis, 400.0);  // pulses per mm: a 4 mm lead screw and 1600 pulses per turn
  k4160_set_position_unitmm(axis, 10.0);
  k4160_set_profile_unitmm(axis, 2.0, 50.0, 0.05, 0.05);  // 2 -> 50 mm/s
  k4160_t_pmove_unitmm(axis, 15, K4160_ABSOLUTE);           // to 15 mm
  while (k4160_check_done(axis) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  double mm = 0.0;
  k4160_get_position_unitmm(axis, &mm);
  const int32_t pulses = k4160_get_position(axis);
  k4160_board_close();
  std::printf("axis %u at %.3f mm (%d pulses)\n", axis, mm, pulses);
  return mm == 15.0 && pulses == 6000 ? 0 : 1;
}
