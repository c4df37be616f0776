#!/bin/sh
# Fuzzes the archive reader (the libFuzzer target fuzz/zip_fuzz.cpp, built
# with clang, ASan and UBSan in build-fuzz).
#
#   scripts/run-fuzz.sh --check    a short run from fuzz/corpus with a fixed
#                                  seed: what the README's test command runs
#                                  (the tests replay the corpus itself)
#   scripts/run-fuzz.sh [SECONDS]  fuzzes for SECONDS (default 300) from
#                                  fuzz/corpus; new inputs land in build-fuzz/found
#
# Inputs that fail are kept in build-fuzz/artifacts. To keep what a run found
# for later runs:
#   build-fuzz/fuzz/zip_fuzz -merge=1 fuzz/corpus build-fuzz/found
set -eu
cd "$(dirname "$0")/.."

scripts/configure.sh build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBRAMLET_FUZZ=ON \
  -DBRAMLET_TESTS=OFF
cmake --build build-fuzz -j "$(nproc)" --target zip_fuzz >/dev/null
mkdir -p build-fuzz/artifacts build-fuzz/found
work=$(mktemp -d /tmp/bramlet-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
fuzz() { BRAMLET_FUZZ_WORK="$work" build-fuzz/fuzz/zip_fuzz -max_len=70000 -timeout=10 \
  -artifact_prefix=build-fuzz/artifacts/ "$@"; }

if [ "${1:-}" = "--check" ]; then
  echo "== fuzz: 20000 runs from seed 2026"
  mkdir "$work/new"
  fuzz -seed=2026 -runs=20000 "$work/new" fuzz/corpus >"$work/log" 2>&1 || { tail -n 30 "$work/log"; exit 1; }
else
  fuzz -max_total_time="${1:-300}" -print_final_stats=1 build-fuzz/found fuzz/corpus
fi
