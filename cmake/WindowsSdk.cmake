# Packs the Windows SDK archive from the two cross builds:
#   cmake -DX86=build-win32 -DX64=build-win64 [-DOUT=kpx4160-windows-sdk.zip] -P cmake/WindowsSdk.cmake
# The archive holds, for each architecture, both DLLs (real and simulated
# cards), their .def files, the import libraries for Microsoft's linker
# (.lib) and for mingw (lib*.dll.a); the public headers once; and the
# README's Windows section as README-Windows.md.
cmake_minimum_required(VERSION 3.25)
get_filename_component(source ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
if(NOT X86 OR NOT X64)
  message(FATAL_ERROR "usage: cmake -DX86=<32-bit build> -DX64=<64-bit build> [-DOUT=<zip>] -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
if(NOT OUT)
  set(OUT kpx4160-windows-sdk.zip)
endif()
get_filename_component(OUT ${OUT} ABSOLUTE)

file(STRINGS ${source}/CMakeLists.txt project_line REGEX "^project\\(kpx4160 VERSION")
string(REGEX MATCH "VERSION ([0-9.]+)" _ "${project_line}")
set(top kpx4160-${CMAKE_MATCH_1}-windows)
set(stage ${CMAKE_CURRENT_BINARY_DIR}/windows-sdk-stage)
file(REMOVE_RECURSE ${stage})

foreach(arch x86 x64)
  string(TOUPPER ${arch} var)
  get_filename_component(build ${${var}} ABSOLUTE)
  foreach(dll kpx4160 kpx4160_sim)
    foreach(file ${dll}.dll ${dll}.def ${dll}.lib lib${dll}.dll.a)
      if(NOT EXISTS ${build}/${file})
        message(FATAL_ERROR "${build}/${file} is missing: build the ${arch} DLLs first")
      endif()
      file(COPY ${build}/${file} DESTINATION ${stage}/${top}/${arch})
    endforeach()
  endforeach()
endforeach()
file(COPY ${source}/include/kpx4160.h ${source}/include/kpx4160_sim.h DESTINATION ${stage}/${top}/include)

# The README's section "## Windows", up to the next section of that level.
file(READ ${source}/README.md readme)
string(FIND "${readme}" "\n## Windows" start)
if(start LESS 0)
  message(FATAL_ERROR "README.md has no Windows section")
endif()
string(SUBSTRING "${readme}" ${start} -1 section)
string(SUBSTRING "${section}" 1 -1 section)
string(FIND "${section}" "\n## " end)
if(end GREATER 0)
  string(SUBSTRING "${section}" 0 ${end} section)
endif()
file(WRITE ${stage}/${top}/README-Windows.md "${section}\n")

file(REMOVE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip ${top} WORKING_DIRECTORY ${stage}
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${stage})
message(STATUS "Windows SDK: ${OUT}")
