# Install rules and the CMake package of the library. `cmake --install build
# --prefix P` lays out:
#   P/lib/liborvane.a                       the engine (double precision)
#   P/include/orvane/*.h                    the public headers, version.h included
#   P/include/orvane/detail/*.h             what a caller's functor instantiates
#   P/lib/cmake/orvane/                     orvaneConfig.cmake, its version file and
#                                           the exported target orvane::orvane
#   P/bin/orvane, P/bin/orvane-diag         the programs
# Included from CMakeLists.txt once the targets exist; reads `backend` and,
# for the host backend, FFTW3_LIBRARY.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/orvane")

set_target_properties(orvane_lib PROPERTIES EXPORT_NAME orvane)
target_include_directories(orvane_lib INTERFACE "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

install(TARGETS orvane_lib EXPORT orvaneTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(DIRECTORY include/orvane/ DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane"
        FILES_MATCHING PATTERN "*.h")
install(FILES "${CMAKE_BINARY_DIR}/include/orvane/version.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane")

foreach(program orvane orvane-diag)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  endif()
endforeach()

install(EXPORT orvaneTargets NAMESPACE orvane:: FILE orvaneTargets.cmake
        DESTINATION "${ORVANE_INSTALL_CMAKEDIR}")

# What the package file needs to know about this build.
set(ORVANE_PACKAGE_BACKEND "${backend}")
set(ORVANE_PACKAGE_FFTW3_LIBRARY "")
if(backend STREQUAL "host")
  set(ORVANE_PACKAGE_FFTW3_LIBRARY "${FFTW3_LIBRARY}")
endif()
configure_package_config_file(cmake/orvaneConfig.cmake.in
  "${CMAKE_BINARY_DIR}/cmake/orvaneConfig.cmake"
  INSTALL_DESTINATION "${ORVANE_INSTALL_CMAKEDIR}")
# SameMinorVersion: a request for 0.3 is met by 0.3.x releases only. Before
# 1.0 a minor release may change the interface that callers compile against
# (0.3 replaced the console's records with Options and Result), so 0.2 code
# must not find it; SameMajorVersion would accept it.
write_basic_package_version_file("${CMAKE_BINARY_DIR}/cmake/orvaneConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_BINARY_DIR}/cmake/orvaneConfig.cmake"
              "${CMAKE_BINARY_DIR}/cmake/orvaneConfigVersion.cmake"
        DESTINATION "${ORVANE_INSTALL_CMAKEDIR}")
