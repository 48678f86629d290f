# Third-party packages (Debian -dev packages, see scripts/deps).
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(LibLZMA REQUIRED)
find_package(CURL REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(zstd REQUIRED)
if(QUOR_TESTS)
  find_package(GTest REQUIRED)
endif()
if(QUOR_BENCH)
  find_package(benchmark QUIET)
endif()

# Loki ships neither CMake nor pkg-config files.
find_path(LOKI_INCLUDE_DIR loki/Singleton.h REQUIRED)
find_library(LOKI_LIBRARY NAMES loki REQUIRED)
add_library(Loki::loki UNKNOWN IMPORTED)
set_target_properties(Loki::loki PROPERTIES
  IMPORTED_LOCATION ${LOKI_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${LOKI_INCLUDE_DIR}
  INTERFACE_COMPILE_DEFINITIONS ATEXIT_FIXED)
