#!/bin/sh
# Builds the archive reader's libFuzzer target with clang (AddressSanitizer
# and UndefinedBehaviorSanitizer, in build-fuzz), seeds it with the archives
# that the unit tests write, and runs it for 60 seconds (or $1) in a scratch
# directory that is removed afterwards. Inputs that fail are kept in
# build-fuzz/artifacts.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DBRAMLET_FUZZ=ON -DBRAMLET_TESTS=OFF >/dev/null
cmake --build build-fuzz -j 2 --target zip_fuzz
if [ ! -x build/tests/unit_tests ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j 2 --target unit_tests
fi

scratch=$(mktemp -d /tmp/bramlet-fuzz.XXXXXX)
keep() {
  for f in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* "$scratch"/oom-*; do
    [ -e "$f" ] || continue
    mkdir -p build-fuzz/artifacts
    cp "$f" build-fuzz/artifacts/
  done
  rm -rf "$scratch"
}
trap keep EXIT
mkdir "$scratch/seeds" "$scratch/corpus" "$scratch/work"

echo "== fuzz: seeds from the archive tests and the archive tools"
BRAMLET_CORPUS_DIR="$scratch/seeds" build/tests/unit_tests \
  --gtest_filter='Zip*:Unzip*:ReadCEN*:ReadLOC*:FindEND*:InflateFully*:ToolArchives*' >/dev/null
# The tools' archives of the tests are too large for seeds; small ones here.
tree="$scratch/tree"
mkdir -p "$tree/META-INF" "$tree/a/b" "$tree/empty-dir"
echo "Manifest-Version: 1.0" >"$tree/META-INF/MANIFEST.MF"
seq 1 300 >"$tree/a/b/numbers.txt"
printf 'x' >"$tree/a/one"
: >"$tree/empty"
(
  cd "$tree"
  zip -qr "$scratch/seeds/zip.zip" .
  zip -qr0 "$scratch/seeds/zip-stored.zip" .
  echo comment | zip -qrz "$scratch/seeds/zip-comment.zip" .
  zip -qr - . | cat >"$scratch/seeds/zip-streamed.zip"
  jar cf "$scratch/seeds/jar.jar" .
  bsdtar --format zip -cf "$scratch/seeds/bsdtar.zip" .
  python3 -c 'import shutil, sys; shutil.make_archive(sys.argv[1], "zip", ".")' "$scratch/seeds/python"
)
echo "   $(ls "$scratch/seeds" | wc -l) seeds"

echo "== fuzz: $seconds seconds"
status=0
BRAMLET_FUZZ_WORK="$scratch/work" build-fuzz/fuzz/zip_fuzz -max_total_time="$seconds" -max_len=66000 \
  -timeout=10 -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch/corpus" "$scratch/seeds" \
  >"$scratch/log" 2>&1 || status=$?
# The progress lines ("#1234 NEW ...") and the dictionary are left out.
grep -v -e '^#[0-9]' -e '^"' "$scratch/log" | tail -n 60
[ "$status" -eq 0 ] || echo "== fuzz: failed (status $status), inputs kept in build-fuzz/artifacts"
exit "$status"
