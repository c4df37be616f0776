# The part that the toolchain files of portable builds share: clang, the
# target's triplet (CMAKE_LIBRARY_ARCHITECTURE, set by the including file)
# and a sysroot of an older Debian, whose headers and libraries decide which
# glibc symbol versions the programs need. What the programs need beyond
# glibc is linked statically: libstdc++ and libgcc (the sysroot's, GCC 10),
# zlib and ISA-L; Motif is opened at run time. So the launchers start on any
# Linux with glibc 2.17 or later.
#
# BRAMLET_SYSROOT names the sysroot; scripts/install-deps.sh (and
# scripts/install-arm64-deps.sh for arm64) make it with debootstrap.
set(BRAMLET_SYSROOT "/var/cache/bramlet/debian11-${BRAMLET_SYSROOT_ARCH}" CACHE PATH
  "A Debian 11 root to build against (scripts/install-deps.sh makes it)")
if(NOT EXISTS "${BRAMLET_SYSROOT}/usr/include/stdio.h")
  message(FATAL_ERROR "No sysroot in ${BRAMLET_SYSROOT}: scripts/install-deps.sh makes one "
    "(scripts/install-arm64-deps.sh for arm64), or set BRAMLET_SYSROOT")
endif()
# try_compile projects read this file again and need the same sysroot.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRAMLET_SYSROOT)

set(CMAKE_SYSROOT "${BRAMLET_SYSROOT}")
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${CMAKE_LIBRARY_ARCHITECTURE})
set(CMAKE_CXX_COMPILER_TARGET ${CMAKE_LIBRARY_ARCHITECTURE})
set(CMAKE_ASM_COMPILER_TARGET ${CMAKE_LIBRARY_ARCHITECTURE})
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
# The libraries are the tests' preloaded C modules.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc")

# Libraries, headers and CMake packages come from the sysroot only; the
# programs that run at build time (the JDK, Python, nasm) from this machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${CMAKE_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
  "${CMAKE_SYSROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
set(ZLIB_USE_STATIC_LIBS ON)

# What the shipped launchers may need of glibc at most; a test holds it.
set(BRAMLET_GLIBC_FLOOR 2.17)
