#include "tools/kpx4160/library.h"

#include <dlfcn.h>

#include <vector>

namespace kpx::tool {
namespace {

template <typename F>
bool Resolve(void *handle, const char *name, F &out, std::string &why) {
  out = reinterpret_cast<F>(dlsym(handle, name));
  if (out == nullptr && why.empty()) why = std::string("the library has no function ") + name;
  return out != nullptr;
}

// dlopen searches the run path of the object that calls it. When a wrapper
// stands between (a sanitizer's interceptor does), that is not the tool; so
// after a failed plain search the tool tries its own search folders, as
// the dynamic linker lists them for the program (LD_LIBRARY_PATH, run path
// with $ORIGIN expanded, system folders).
void *OpenFromProgramPath(const std::string &file) {
  void *program = dlopen(nullptr, RTLD_NOW);
  Dl_serinfo size{};
  if (program == nullptr || dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) return nullptr;
  std::vector<char> buffer(size.dls_size);
  auto *info = reinterpret_cast<Dl_serinfo *>(buffer.data());
  *info = size;
  if (dlinfo(program, RTLD_DI_SERINFO, info) != 0) return nullptr;
  for (unsigned i = 0; i < info->dls_cnt; ++i) {
    const std::string path = std::string(info->dls_serpath[i].dls_name) + "/" + file;
    if (void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
  }
  return nullptr;
}

}  // namespace

bool LoadLibrary(const std::string &file, Library &lib, std::string &why) {
  // Kept loaded until the process ends: the library's interrupt threads and
  // its static state live as long as the tool does.
  void *h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    const char *e = dlerror();
    why = "cannot load " + file + ": " + (e != nullptr ? e : "unknown reason");
    if (file.find('/') != std::string::npos || (h = OpenFromProgramPath(file)) == nullptr) return false;
  }
  why.clear();
  bool ok = true;
  ok &= Resolve(h, "k4160_board_init", lib.board_init, why);
  ok &= Resolve(h, "k4160_board_close", lib.board_close, why);
  ok &= Resolve(h, "k4160_get_error_text", lib.get_error_text, why);
  ok &= Resolve(h, "k4160_get_lib_version", lib.get_lib_version, why);
  ok &= Resolve(h, "k4160_get_hard_version", lib.get_hard_version, why);
  ok &= Resolve(h, "k4160_get_position", lib.get_position, why);
  ok &= Resolve(h, "k4160_get_encoder", lib.get_encoder, why);
  ok &= Resolve(h, "k4160_read_current_speed", lib.read_current_speed, why);
  ok &= Resolve(h, "k4160_axis_status", lib.axis_status, why);
  ok &= Resolve(h, "k4160_axis_io_status", lib.axis_io_status, why);
  ok &= Resolve(h, "k4160_get_rsts", lib.get_rsts, why);
  ok &= Resolve(h, "k4160_check_done", lib.check_done, why);
  ok &= Resolve(h, "k4160_set_profile", lib.set_profile, why);
  ok &= Resolve(h, "k4160_set_st_profile", lib.set_st_profile, why);
  ok &= Resolve(h, "k4160_t_pmove", lib.t_pmove, why);
  ok &= Resolve(h, "k4160_s_pmove", lib.s_pmove, why);
  ok &= Resolve(h, "k4160_ex_t_pmove", lib.ex_t_pmove, why);
  ok &= Resolve(h, "k4160_ex_s_pmove", lib.ex_s_pmove, why);
  ok &= Resolve(h, "k4160_t_vmove", lib.t_vmove, why);
  ok &= Resolve(h, "k4160_home_move", lib.home_move, why);
  ok &= Resolve(h, "k4160_config_home_mode", lib.config_home_mode, why);
  ok &= Resolve(h, "k4160_decel_stop", lib.decel_stop, why);
  ok &= Resolve(h, "k4160_imd_stop", lib.imd_stop, why);
  ok &= Resolve(h, "k4160_emg_stop", lib.emg_stop, why);
  ok &= Resolve(h, "k4160_read_inport", lib.read_inport, why);
  ok &= Resolve(h, "k4160_read_outport", lib.read_outport, why);
  ok &= Resolve(h, "k4160_write_outbit", lib.write_outbit, why);
  ok &= Resolve(h, "k4160_write_SEVON_PIN", lib.write_sevon, why);
  ok &= Resolve(h, "k4160_read_SEVON_PIN", lib.read_sevon, why);
  ok &= Resolve(h, "k4160_read_RDY_PIN", lib.read_rdy, why);
  ok &= Resolve(h, "k4160_read_pcl_register", lib.read_pcl_register, why);
  ok &= Resolve(h, "k4160_write_pcl_register", lib.write_pcl_register, why);
  ok &= Resolve(h, "read_dword_pld_register", lib.read_pld_register, why);
  ok &= Resolve(h, "write_dword_pld_register", lib.write_pld_register, why);
  lib.sim_set_card_count = reinterpret_cast<int (*)(unsigned)>(dlsym(h, "kpx4160_sim_set_card_count"));
  lib.sim_trace_enable = reinterpret_cast<int (*)(int)>(dlsym(h, "kpx4160_sim_trace_enable"));
  if (!ok) why = file + ": " + why;
  return ok;
}

}  // namespace kpx::tool
