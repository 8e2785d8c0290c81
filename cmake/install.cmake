# Install rules and the CMake package of the library. `cmake --install build
# --prefix P` lays out:
#   P/lib/liborvane.a                       the engine (double precision)
#   P/include/orvane/*.h                    the public headers, version.h included
#   P/include/orvane/engine/{coeffs,device} the engine headers that transform.h
#                                           needs to instantiate a caller's functor
#   P/lib/cmake/orvane/                     orvaneConfig.cmake, its version file and
#                                           the exported target orvane::orvane
#   P/bin/orvane, P/bin/orvane-diag         the programs
# Included from CMakeLists.txt once the targets exist; reads `backend` and,
# for the host backend, FFTW3_LIBRARY.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/orvane")

# The engine headers keep their relative layout ("coeffs/kernels.h",
# "device/gpu_runtime.h") under include/orvane/engine, so their own includes
# resolve with that folder on the include path.
set(ORVANE_ENGINE_HEADERS_COEFFS src/coeffs/kernels.h src/coeffs/sampling.h)
set(ORVANE_ENGINE_HEADERS_DEVICE src/device/gpu_launch.h src/device/gpu_runtime.h)

set_target_properties(orvane_lib PROPERTIES EXPORT_NAME orvane)
target_include_directories(orvane_lib INTERFACE
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/orvane/engine>")

install(TARGETS orvane_lib EXPORT orvaneTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(DIRECTORY include/orvane/ DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane"
        FILES_MATCHING PATTERN "*.h")
install(FILES "${CMAKE_BINARY_DIR}/include/orvane/version.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane")
install(FILES ${ORVANE_ENGINE_HEADERS_COEFFS}
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane/engine/coeffs")
install(FILES ${ORVANE_ENGINE_HEADERS_DEVICE}
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/orvane/engine/device")

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
# SameMajorVersion: a request for 0.2 is met by 0.2.x and later 0.x releases,
# not by 1.0, which may change the interface that callers compile against (the
# transform templates, the Parameters fields); AnyNewerVersion would accept it.
write_basic_package_version_file("${CMAKE_BINARY_DIR}/cmake/orvaneConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/cmake/orvaneConfig.cmake"
              "${CMAKE_BINARY_DIR}/cmake/orvaneConfigVersion.cmake"
        DESTINATION "${ORVANE_INSTALL_CMAKEDIR}")
