# Windows build of the two DLLs (kpx4160.dll for real cards, kpx4160_sim.dll
# for simulated ones), for 32- and 64-bit, cross-compiled with mingw-w64.
#
# Each DLL exports the C functions of the public headers and the eleven
# functions the header declares with C++ linkage. Those eleven carry a
# type-decorated name, and the two Windows compilers decorate differently:
# GCC writes _Z14Get_int_statusi, Microsoft's compiler
# ?Get_int_status@@YAJH@Z. An application refuses to start when one name it
# imports is missing, so the DLL exports both, bound to the same code, through
# a module-definition (.def) file with "MSNAME = gccname" alias lines.
#
# Both spellings are read from the compilers themselves at configure time: a
# probe file that takes the address of each C++-linkage function is compiled
# by the mingw compiler and by clang for the Microsoft target, and the
# undefined symbols are paired by function name. A changed declaration in the
# header changes both names; nothing is typed in by hand.
#
# Beside each DLL: kpx4160.def, kpx4160.lib for Microsoft's linker (written
# by llvm-dlltool from the .def) and libkpx4160.dll.a for mingw.

# Programs and DLLs carry their C++ and thread runtimes: nothing from MinGW
# needs to sit beside them.
add_link_options(-static)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KPX4160_MSVC_TARGET x86_64-pc-windows-msvc)
  set(KPX4160_DLLTOOL_MACHINE i386:x86-64)
  set(KPX4160_SYMBOL_PREFIX "")
else()
  set(KPX4160_MSVC_TARGET i686-pc-windows-msvc)
  set(KPX4160_DLLTOOL_MACHINE i386)
  # 32-bit Windows objects prefix C-level symbol names with an underscore;
  # export tables and .def files name them without it.
  set(KPX4160_SYMBOL_PREFIX "_")
endif()
find_program(KPX4160_CLANG NAMES clang++ clang++-14 REQUIRED)
find_program(KPX4160_LLVM_NM NAMES llvm-nm llvm-nm-14 REQUIRED)
find_program(KPX4160_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

# Undefined symbols of `object`, import-thunk prefix and the 32-bit
# underscore removed, into `out`.
function(kpx4160_undefined_symbols out nm object strip_prefix)
  execute_process(COMMAND ${nm} -u ${object} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^ \n]+\n" symbols "${text}")
  set(names "")
  foreach(s ${symbols})
    string(STRIP "${s}" s)
    string(REGEX REPLACE "^__imp_" "" s "${s}")
    if(strip_prefix AND s MATCHES "^_[_?]")
      string(SUBSTRING "${s}" 1 -1 s)
    endif()
    list(APPEND names "${s}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Writes `def` for the DLL `dll_name` exporting every function the headers
# declare, and `msvc_list`, the Microsoft compiler's names of the C++-linkage
# ones (one a line), which the export check compares against the DLL.
function(kpx4160_windows_def dll_name def msvc_list)
  kpx4160_header_exports(c_names cxx_names ${ARGN})

  set(dir ${CMAKE_BINARY_DIR}/windows-exports/${dll_name})
  set(probe "")
  foreach(header ${ARGN})
    string(APPEND probe "#include \"${header}\"\n")
  endforeach()
  string(APPEND probe "void *kpx4160_cxx_exports[] = {\n")
  foreach(f ${cxx_names})
    string(APPEND probe "  reinterpret_cast<void *>(&${f}),\n")
  endforeach()
  string(APPEND probe "};\n")
  file(WRITE ${dir}/probe.cpp "${probe}")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -c ${dir}/probe.cpp -o ${dir}/probe_gcc.o COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${KPX4160_CLANG} --target=${KPX4160_MSVC_TARGET} -c ${dir}/probe.cpp -o ${dir}/probe_msvc.obj
    COMMAND_ERROR_IS_FATAL ANY)
  kpx4160_undefined_symbols(gcc_symbols ${CMAKE_NM} ${dir}/probe_gcc.o "${KPX4160_SYMBOL_PREFIX}")
  kpx4160_undefined_symbols(msvc_symbols ${KPX4160_LLVM_NM} ${dir}/probe_msvc.obj "")

  set(text "LIBRARY ${dll_name}.dll\nEXPORTS\n")
  foreach(f ${c_names})
    string(APPEND text "  ${f}\n")
  endforeach()
  set(msvc_text "")
  foreach(f ${cxx_names})
    string(LENGTH ${f} length)
    set(gcc ${gcc_symbols})
    set(msvc ${msvc_symbols})
    list(FILTER gcc INCLUDE REGEX "^_Z${length}${f}")
    list(FILTER msvc INCLUDE REGEX "^\\?${f}@@")
    list(LENGTH gcc n_gcc)
    list(LENGTH msvc n_msvc)
    if(NOT n_gcc EQUAL 1 OR NOT n_msvc EQUAL 1)
      message(FATAL_ERROR "${dll_name}: no single decorated name of ${f} (GCC: '${gcc}', Microsoft: '${msvc}')")
    endif()
    string(APPEND text "  ${gcc}\n  ${msvc} = ${gcc}\n")
    string(APPEND msvc_text "${msvc}\n")
  endforeach()
  # Rewritten only when changed, so a new configure does not relink.
  file(WRITE ${dir}/def "${text}")
  file(WRITE ${dir}/msvc-names "${msvc_text}")
  file(COPY_FILE ${dir}/def ${def} ONLY_IF_DIFFERENT)
  file(COPY_FILE ${dir}/msvc-names ${msvc_list} ONLY_IF_DIFFERENT)
endfunction()

# Makes the shared library `name` a Windows DLL exporting what its headers
# declare under both decorations, with both import libraries beside it.
function(kpx4160_windows_dll name)
  set(headers ${PROJECT_SOURCE_DIR}/include/kpx4160.h)
  if(name MATCHES "_sim$")
    list(APPEND headers ${PROJECT_SOURCE_DIR}/include/kpx4160_sim.h)
  endif()
  set(def ${CMAKE_BINARY_DIR}/${name}.def)
  kpx4160_windows_def(${name} ${def} ${CMAKE_BINARY_DIR}/${name}.msvc-names ${headers})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib" LINK_DEPENDS ${def})
  target_link_options(${name} PRIVATE -Wl,--no-undefined ${def})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${KPX4160_LLVM_DLLTOOL} -m ${KPX4160_DLLTOOL_MACHINE} -d ${def} -l ${CMAKE_BINARY_DIR}/${name}.lib
    COMMENT "Import library ${name}.lib for Microsoft's linker" VERBATIM)
endfunction()
