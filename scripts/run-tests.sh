#!/bin/sh
# Installs what is missing, builds the project twice (plain, and with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in
# both builds, then replays the archive reader's fuzzing corpus and fuzzes it
# briefly from a fixed seed. "--quick" runs the plain build only.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
check() {  # check BUILD_DIR [CMAKE_OPTION...]
  dir=$1
  shift
  echo "== $dir: configure and build"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $dir: tests"
  # Most end-to-end tests wait on child processes, so run more than one per core.
  ctest --test-dir "$dir" -j $((jobs * 2)) --output-on-failure --no-tests=error
}

check build
if [ "${1:-}" != "--quick" ]; then
  check build-sanitize -DBRAMLET_SANITIZE=ON
  scripts/run-fuzz.sh --check
fi
echo "== all tests passed"
