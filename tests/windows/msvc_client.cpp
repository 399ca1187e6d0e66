// An application as Microsoft's toolchain builds it: compiled by clang for
// the Microsoft target (its decorated names for the C++-linkage functions)
// and linked by lld-link against kpx4160.lib, with no C runtime. The Windows
// loader refuses to start it if the DLL lacks one name it imports, so calling
// all eleven C++-linkage functions checks the DLL's Microsoft names and the
// import library together. Exit code: 0, or the number of the failed check.
#include "kpx4160.h"

extern "C" int _fltused = 0;  // the compiler's marker for floating-point use, normally from the C runtime

extern "C" int kpx4160_client_main() {
  void *handler = nullptr;
  k4160_variety_speed_range_org(0, 0, 1000.0);
  MOTION_default_const_vmove(0, 1);
  Set_int_control(0, 1);
  Set_int_disable(0);
  Set_int_enable(0, &handler);
  Set_int_factor(0, 1);
  if (Get_board_base(0) != 1) return 1;
  if (Get_int_status(0) != 0 || Get_irq_channel(0) != 0 || Get_irq_status(0) != 0 || Get_out_status(0) != 0) return 2;
  if (k4160_board_init() != KPX4160_EXPECTED_CARDS) return 3;
  k4160_board_close();
  return 0;
}
