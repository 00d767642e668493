# Cross-compiling for 64-bit ARM Linux with Debian's cross compiler, against Debian's arm64 libraries
# installed beside the native ones (`tools/install-deps arm64`). The programs run here under QEMU's
# user-mode emulation, which CTest and gtest_discover_tests go through.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# The build machine's programs, the arm64 libraries, headers and pkg-config files.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the arm64 libraries")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/arm64/qemu-run)
