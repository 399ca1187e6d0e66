# Writes a linker version script that exports every function the given
# headers declare with KPX4160_API (C linkage) or KPX4160_CXX_API (C++
# linkage, matched on the demangled name; quoted patterns would be taken
# literally, so the pattern is a bare glob on the name and its arguments) and hides everything else,
# including template code pulled in from the C++ runtime headers.
function(kpx4160_export_map out)
  set(c_names "")
  set(cxx_names "")
  foreach(header ${ARGN})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
    file(STRINGS ${header} lines REGEX "^KPX4160_(CXX_)?API ")
    foreach(line ${lines})
      string(REGEX MATCH "([A-Za-z_][A-Za-z_0-9]*)[ ]*\\(" m "${line}")
      set(name ${CMAKE_MATCH_1})
      if(line MATCHES "^KPX4160_CXX_API ")
        string(APPEND cxx_names "      ${name}*;\n")
      else()
        string(APPEND c_names "    ${name};\n")
      endif()
    endforeach()
  endforeach()
  set(text "{\n  global:\n${c_names}")
  if(cxx_names)
    string(APPEND text "    extern \"C++\" {\n${cxx_names}    };\n")
  endif()
  string(APPEND text "  local: *;\n};\n")
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}")
endfunction()
