# The test suite cross-built for Windows and run under Wine
# (CMAKE_CROSSCOMPILING_EMULATOR, set by the mingw toolchain files when Wine
# is installed).
#
# GoogleTest is built from Debian's sources (package googletest) with the
# same cross compiler, as mingw-w64 ships no GoogleTest of its own.
set(KPX4160_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources built for the Windows tests")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KPX4160_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
  # GoogleTest's own sources are not held to the project's -Werror.
  set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "")
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
# The test names are listed by running the program when ctest starts, not
# at build time: the build does not need Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# The DLLs as a Windows program sees them: the export tables against the
# header (with the Microsoft compiler's names), every name resolved with
# GetProcAddress, the hardware DLL without a driver, and a program built with
# clang for the Microsoft target and linked by lld-link against the .lib.
function(kpx4160_windows_tests)
  set(src ${PROJECT_SOURCE_DIR}/tests/windows)
  set(bin ${CMAKE_BINARY_DIR})
  set(objdump ${KPX4160_MINGW_PREFIX}-objdump)
  add_test(NAME exports.windows_hardware_dll COMMAND ${PROJECT_SOURCE_DIR}/tests/exports/check_dll_exports.sh
    --msvc ${bin}/kpx4160.msvc-names $<TARGET_FILE:kpx4160> ${PROJECT_SOURCE_DIR}/include/kpx4160.h ${objdump})
  add_test(NAME exports.windows_sim_dll COMMAND ${PROJECT_SOURCE_DIR}/tests/exports/check_dll_exports.sh
    --msvc ${bin}/kpx4160_sim.msvc-names $<TARGET_FILE:kpx4160_sim>
    "${PROJECT_SOURCE_DIR}/include/kpx4160.h ${PROJECT_SOURCE_DIR}/include/kpx4160_sim.h" ${objdump})

  add_executable(kpx4160_dll_load_check ${src}/dll_load_check.cpp)
  target_include_directories(kpx4160_dll_load_check PRIVATE ${PROJECT_SOURCE_DIR}/include)
  add_dependencies(kpx4160_dll_load_check kpx4160 kpx4160_sim)
  add_test(NAME windows.hardware_dll_without_driver
    COMMAND kpx4160_dll_load_check $<TARGET_FILE:kpx4160> ${bin}/kpx4160.def no-driver)
  add_test(NAME windows.sim_dll_loaded COMMAND kpx4160_dll_load_check $<TARGET_FILE:kpx4160_sim> ${bin}/kpx4160_sim.def)

  # A client as Microsoft's toolchain would build it, no MinGW involved,
  # linked once with each DLL's import library.
  find_program(KPX4160_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
  set(client ${bin}/msvc_client)
  # Without a driver the hardware DLL finds no card; the simulated bus starts
  # with one.
  set(cards_kpx4160 0)
  set(cards_kpx4160_sim 1)
  foreach(dll kpx4160 kpx4160_sim)
    add_custom_command(OUTPUT ${client}/${dll}_client.exe
      COMMAND ${CMAKE_COMMAND} -E make_directory ${client}
      COMMAND ${KPX4160_CLANG} --target=${KPX4160_MSVC_TARGET} -O1 -I${PROJECT_SOURCE_DIR}/include
        -DKPX4160_EXPECTED_CARDS=${cards_${dll}} -c ${src}/msvc_client.cpp -o ${client}/${dll}_client.obj
      COMMAND ${KPX4160_LLD_LINK} /nologo /nodefaultlib /subsystem:console /entry:kpx4160_client_main
        ${client}/${dll}_client.obj ${bin}/${dll}.lib /out:${client}/${dll}_client.exe
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${dll}> ${client}/
      DEPENDS ${src}/msvc_client.cpp ${PROJECT_SOURCE_DIR}/include/kpx4160.h ${dll}
      COMMENT "Program built with clang for the Microsoft target, linked by lld-link with ${dll}.lib" VERBATIM)
    add_custom_target(${dll}_msvc_client ALL DEPENDS ${client}/${dll}_client.exe)
    add_test(NAME windows.msvc_client_${dll} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${client}/${dll}_client.exe)
  endforeach()
endfunction()
