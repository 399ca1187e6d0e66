# Install rules, pkg-config files, the CMake package and the Debian packages.
#
# Components (one Debian package each):
#   runtime  libkpx4160-1     libkpx4160.so.1 (real cards), README and licence
#   sim      libkpx4160-sim1  libkpx4160_sim.so.1 (simulated cards) and any
#                             other build of the simulated library (its own
#                             install rule names COMPONENT sim)
#   dev      libkpx4160-dev   headers, the .so links, .pc files, CMake package
#   tools    kpx4160-tools    the executables of tools/ and their man pages
include(CMakePackageConfigHelpers)

set(KPX4160_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kpx4160)

install(TARGETS kpx4160 EXPORT kpx4160Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS kpx4160_sim EXPORT kpx4160Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sim NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES include/kpx4160.h include/kpx4160_sim.h ${CMAKE_CURRENT_BINARY_DIR}/include/kpx4160_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# The executables tools/ defines, whatever they are, and their man pages.
# Outside /usr they find the libraries beside them through $ORIGIN, so a
# copied prefix keeps working; in /usr the system's search path does it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(KPX4160_TOOL_RPATH "")
else()
  set(KPX4160_TOOL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/tools AND NOT KPX4160_LIBRARY_ONLY)
  get_property(kpx4160_tool_targets DIRECTORY tools PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${kpx4160_tool_targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE" AND NOT t MATCHES "_tests?$")
      set_target_properties(${t} PROPERTIES INSTALL_RPATH "${KPX4160_TOOL_RPATH}")
      install(TARGETS ${t} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    endif()
  endforeach()
endif()
file(GLOB KPX4160_MAN_PAGES ${CMAKE_CURRENT_SOURCE_DIR}/tools/man/*.[1-8])
foreach(page ${KPX4160_MAN_PAGES})
  string(REGEX MATCH "[1-8]$" section ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT tools)
endforeach()

file(GLOB KPX4160_DOCS ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE*
  ${CMAKE_CURRENT_SOURCE_DIR}/COPYING*)
install(FILES ${KPX4160_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# pkg-config: paths relative to the .pc file, so the installed tree can be
# moved (or unpacked from a package) anywhere.
file(RELATIVE_PATH KPX4160_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" KPX4160_PC_PREFIX "${KPX4160_PC_PREFIX}")
foreach(pc kpx4160 kpx4160-sim)
  if(pc STREQUAL "kpx4160")
    set(KPX4160_PC_LIB kpx4160)
    set(KPX4160_PC_DESCRIPTION "KPX4160 PCI motion-control card library (real cards)")
  else()
    set(KPX4160_PC_LIB kpx4160_sim)
    set(KPX4160_PC_DESCRIPTION "KPX4160 PCI motion-control card library (simulated cards)")
  endif()
  configure_file(cmake/kpx4160.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# CMake package: find_package(kpx4160) gives kpx4160::kpx4160 and kpx4160::sim.
install(EXPORT kpx4160Targets NAMESPACE kpx4160:: DESTINATION ${KPX4160_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/kpx4160Config.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/kpx4160Config.cmake
  INSTALL_DESTINATION ${KPX4160_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kpx4160ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kpx4160Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/kpx4160ConfigVersion.cmake
  DESTINATION ${KPX4160_CMAKE_DIR} COMPONENT dev)

# A plain `cmake --install` as root into the system's prefix refreshes the
# loader's cache, so a program linked against the new library runs at once.
install(CODE "
  if(NOT \"\$ENV{DESTDIR}\" AND CMAKE_INSTALL_PREFIX MATCHES \"^/usr(/local)?$\" AND EXISTS /sbin/ldconfig)
    execute_process(COMMAND /sbin/ldconfig RESULT_VARIABLE kpx4160_ldconfig_result ERROR_QUIET)
  endif()" COMPONENT runtime)

# Debian packages: `cpack -G DEB` in the build folder (not when this tree is
# part of another project, whose packages are its own).
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(KPX4160_PACKAGE_MAINTAINER "kpx4160 developers <kpx4160@localhost>" CACHE STRING
  "Maintainer field of the Debian packages")
set(CPACK_PACKAGE_NAME kpx4160)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Library of the KPX4160 PCI motion-control card")
set(CPACK_PACKAGE_CONTACT "${KPX4160_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime sim dev tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KPX4160_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
find_program(KPX4160_DPKG dpkg)
if(KPX4160_DPKG)
  execute_process(COMMAND ${KPX4160_DPKG} --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
# The libraries are C++ with the GNU runtime; the versions are those of the
# Debian release the packages are built on (bookworm).
set(KPX4160_DEB_RUNTIME_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
set(KPX4160_DEB_SAME "(= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkpx4160-1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${KPX4160_DEB_RUNTIME_DEPENDS}")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "KPX4160 motion-control card library for real cards\n libkpx4160.so.1 drives the KPX4160 PCI motion-control cards of this machine.")
set(CPACK_DEBIAN_SIM_PACKAGE_NAME libkpx4160-sim1)
set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "${KPX4160_DEB_RUNTIME_DEPENDS}")
set(CPACK_DEBIAN_SIM_DESCRIPTION "KPX4160 library for simulated cards\n libkpx4160_sim.so.1 has the same functions and runs them against simulated\n cards in the process, for developing and testing without the hardware.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkpx4160-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libkpx4160-1 ${KPX4160_DEB_SAME}, libkpx4160-sim1 ${KPX4160_DEB_SAME}")
set(CPACK_DEBIAN_DEV_DESCRIPTION "KPX4160 library: development files\n Headers, pkg-config files (kpx4160, kpx4160-sim) and the CMake package\n (find_package(kpx4160): kpx4160::kpx4160, kpx4160::sim).")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kpx4160-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
  "libkpx4160-1 ${KPX4160_DEB_SAME}, libkpx4160-sim1 ${KPX4160_DEB_SAME}, ${KPX4160_DEB_RUNTIME_DEPENDS}")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "KPX4160 command-line tools\n Tools to list and exercise KPX4160 cards, real or simulated, with their\n manual pages.")
include(CPack)
