#!/bin/sh
# Configures the build tree DIR (RelWithDebInfo) with the CMake options
# given; a new tree is made for Ninja, which builds it faster than make. A
# tree configured before keeps its generator.
#
# Compilers run through ccache where it is installed, with paths taken
# relative to the source tree and the build directory left out of the key, so
# that another clone or build tree of the same sources reuses what was
# compiled before (its debug information then names the first tree's
# directory). BRAMLET_CCACHE=no turns it off.
# A tree configured before with another toolchain file (or with one, or
# without) is configured afresh: CMake keeps a tree's compilers for good.
# usage: scripts/configure.sh DIR [CMAKE_OPTION...]
set -eu
dir=$1
shift
toolchain=""
for arg; do
  case $arg in -DCMAKE_TOOLCHAIN_FILE=*) toolchain=$(realpath -m "${arg#*=}") ;; esac
done
if [ -f "$dir/CMakeCache.txt" ]; then
  had=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$dir/CMakeCache.txt")
  [ -z "$had" ] || had=$(realpath -m "$had")
  [ "$had" = "$toolchain" ] || rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
launcher=""
if [ "${BRAMLET_CCACHE:-yes}" != no ] && command -v ccache >/dev/null; then
  launcher="env;CCACHE_BASEDIR=$(pwd -P);CCACHE_NOHASHDIR=1;ccache"
fi
set -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER_LAUNCHER="$launcher" \
  -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "$@"
if [ -f "$dir/CMakeCache.txt" ] || ! command -v ninja >/dev/null; then
  exec cmake -S . -B "$dir" "$@" >/dev/null
fi
exec cmake -G Ninja -S . -B "$dir" "$@" >/dev/null
