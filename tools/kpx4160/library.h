// The motion library, loaded at run time: the same tool drives real cards
// (libkpx4160.so.1) or simulated ones (libkpx4160_sim.so.1), which also
// proves, every time it runs, that the two export the same functions.
#pragma once

#include <cstdint>
#include <string>

namespace kpx::tool {

inline constexpr const char *kHardwareLibrary = "libkpx4160.so.1";
inline constexpr const char *kSimulatedLibrary = "libkpx4160_sim.so.1";

// The functions the tool calls, resolved by name from the loaded library.
struct Library {
  uint32_t (*board_init)();
  void (*board_close)();
  int32_t (*get_error_text)(char *, uint32_t);
  int32_t (*get_lib_version)(uint32_t *, uint32_t *);
  int32_t (*get_hard_version)(uint16_t, uint32_t *, uint32_t *, uint32_t *, char *);
  int32_t (*get_position)(uint16_t);
  int32_t (*get_encoder)(uint16_t);
  double (*read_current_speed)(uint16_t);
  uint16_t (*axis_status)(uint16_t);
  uint16_t (*axis_io_status)(uint16_t);
  uint32_t (*get_rsts)(uint16_t);
  uint16_t (*check_done)(uint16_t);
  void (*set_profile)(uint16_t, double, double, double, double);
  void (*set_st_profile)(uint16_t, double, double, double, double, double, double);
  void (*t_pmove)(uint16_t, int32_t, uint16_t);
  void (*s_pmove)(uint16_t, int32_t, uint16_t);
  void (*ex_t_pmove)(uint16_t, int32_t, uint16_t);
  void (*ex_s_pmove)(uint16_t, int32_t, uint16_t);
  void (*t_vmove)(uint16_t, uint16_t);
  void (*home_move)(uint16_t, uint16_t, uint16_t);
  void (*config_home_mode)(uint16_t, uint16_t, uint16_t);
  void (*decel_stop)(uint16_t, double);
  void (*imd_stop)(uint16_t);
  void (*emg_stop)();
  uint32_t (*read_inport)(uint16_t);
  uint32_t (*read_outport)(uint16_t);
  void (*write_outbit)(uint16_t, uint16_t, uint16_t);
  void (*write_sevon)(uint16_t, uint16_t);
  int32_t (*read_sevon)(uint16_t);
  int32_t (*read_rdy)(uint16_t);
  uint32_t (*read_pcl_register)(uint16_t, uint16_t, uint16_t);
  void (*write_pcl_register)(uint16_t, uint16_t, uint16_t, uint32_t);
  uint32_t (*read_pld_register)(uint16_t, uint16_t);
  void (*write_pld_register)(uint16_t, uint16_t, uint32_t);
  // Only in the simulated library (null otherwise).
  int (*sim_set_card_count)(unsigned);
  int (*sim_trace_enable)(int);
};

// Loads the library file (a bare name is searched the dynamic linker's way,
// which includes the tool's own run path) and resolves every function.
// False with the reason in `why`.
bool LoadLibrary(const std::string &file, Library &lib, std::string &why);

}  // namespace kpx::tool
