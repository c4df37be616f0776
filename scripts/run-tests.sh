#!/bin/sh
# Installs what is missing, builds the project twice (the portable build
# that users get, against a Debian 11 root, and a native one with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in
# both builds (the portable build's also inside that Debian 11 root), then
# replays the archive reader's fuzzing corpus and fuzzes it briefly from a
# fixed seed, and last runs every test of an arm64 cross build under
# qemu-user (scripts/run-arm64-tests.sh). "--quick" runs the portable build
# only; "--no-arm64" leaves out the arm64 tests.
set -eu
cd "$(dirname "$0")/.."
quick="" arm64=yes
for arg; do
  case $arg in
    --quick) quick=yes arm64="" ;;
    --no-arm64) arm64="" ;;
    *) echo "usage: $0 [--quick] [--no-arm64]" >&2; exit 2 ;;
  esac
done
scripts/install-deps.sh

jobs=$(nproc)
check() {  # check BUILD_DIR [CMAKE_OPTION...]
  dir=$1
  shift
  echo "== $dir: configure and build"
  scripts/configure.sh "$dir" "$@"
  cmake --build "$dir" -j "$jobs"
  echo "== $dir: tests"
  # Most end-to-end tests wait on child processes, so run more than one per core.
  ctest --test-dir "$dir" -j $((jobs * 2)) --output-on-failure --no-tests=error
}

check build -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-linux-gnu.cmake
if [ -z "$quick" ]; then
  check build-sanitize -DBRAMLET_SANITIZE=ON
  scripts/run-fuzz.sh --check
fi
[ -z "$arm64" ] || scripts/run-arm64-tests.sh
echo "== all tests passed"
