# Sets c_out and cxx_out to the names of the functions the given headers
# declare with KPX4160_API (C linkage) and KPX4160_CXX_API (C++ linkage):
# every exported function is declared on one line starting with one of them.
function(kpx4160_header_exports c_out cxx_out)
  set(c_names "")
  set(cxx_names "")
  foreach(header ${ARGN})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
    file(STRINGS ${header} lines REGEX "^KPX4160_(CXX_)?API ")
    foreach(line ${lines})
      string(REGEX MATCH "([A-Za-z_][A-Za-z_0-9]*)[ ]*\\(" m "${line}")
      set(name ${CMAKE_MATCH_1})  # before the MATCHES below resets it
      if(line MATCHES "^KPX4160_CXX_API ")
        list(APPEND cxx_names ${name})
      else()
        list(APPEND c_names ${name})
      endif()
    endforeach()
  endforeach()
  set(${c_out} ${c_names} PARENT_SCOPE)
  set(${cxx_out} ${cxx_names} PARENT_SCOPE)
endfunction()

# Writes a linker version script that exports every function the given
# headers declare (C++-linkage ones matched on the demangled name; quoted
# patterns would be taken literally, so the pattern is a bare glob on the
# name and its arguments) and hides everything else, including template code
# pulled in from the C++ runtime headers.
function(kpx4160_export_map out)
  kpx4160_header_exports(c_names cxx_names ${ARGN})
  set(text "{\n  global:\n")
  foreach(name ${c_names})
    string(APPEND text "    ${name};\n")
  endforeach()
  if(cxx_names)
    string(APPEND text "    extern \"C++\" {\n")
    foreach(name ${cxx_names})
      string(APPEND text "      ${name}*;\n")
    endforeach()
    string(APPEND text "    };\n")
  endif()
  string(APPEND text "  local: *;\n};\n")
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}")
endfunction()
