# Portable x86_64 (amd64) Linux programs, built on a Debian x86_64 machine
# against a Debian 11 sysroot (see cmake/sysroot.cmake):
#
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-linux-gnu.cmake
#
# The build machine runs what it builds, so this is no cross build: the
# tests run the programs directly.
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
set(BRAMLET_SYSROOT_ARCH amd64)
include(${CMAKE_CURRENT_LIST_DIR}/sysroot.cmake)
