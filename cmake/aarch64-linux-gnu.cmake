# Cross-building portable programs for arm64 (aarch64) Linux on a Debian
# machine of another architecture, against a Debian 11 arm64 sysroot (see
# cmake/sysroot.cmake) with clang and the cross binutils
# (binutils-aarch64-linux-gnu):
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# Programs built for the target (such as the message catalogue's generator)
# run at build time and under CTest through qemu-user, on the target's
# libraries that multiarch installs beside the host's. Other builds (a
# library's sub-build, say) take the same file; the target's GNU triplet is
# CMAKE_LIBRARY_ARCHITECTURE.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(BRAMLET_SYSROOT_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/sysroot.cmake)
# Assembly (ISA-L's) is written for GNU as, whose syntax clang's own
# assembler does not take in full: the cross binutils' as assembles it.
set(CMAKE_ASM_FLAGS_INIT "-fno-integrated-as")

find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES qemu-aarch64-static qemu-aarch64)
