# Cross-building for arm64 (aarch64) Linux on a Debian machine of another
# architecture, with Debian's cross toolchain (crossbuild-essential-arm64)
# and the target's libraries installed beside the host's (multiarch,
# "dpkg --add-architecture arm64"):
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# Programs built for the target (such as the message catalogue's generator)
# run at build time and under CTest through qemu-user. Other builds (a
# library's sub-build, say) take the same file; the target's GNU triplet is
# CMAKE_LIBRARY_ARCHITECTURE.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CMAKE_LIBRARY_ARCHITECTURE}-gcc)
set(CMAKE_CXX_COMPILER ${CMAKE_LIBRARY_ARCHITECTURE}-g++)

# Multiarch keeps the target's headers and libraries under the host's own
# prefix, so there is no sysroot; pkg-config must read the target's files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})

find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES qemu-aarch64-static qemu-aarch64)
