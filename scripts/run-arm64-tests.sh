#!/bin/sh
# Cross-builds everything for arm64 (aarch64) in build-arm64 and runs every
# test there under qemu-user: the unit tests, the end-to-end tests (binfmt_misc
# starts the launchers and mksetup as an arm64 machine would) and the example
# installer on Debian's arm64 JDK 17. Then this machine's mksetup makes an
# arm64 installer of the example with one command, which installs and runs
# the example application under emulation. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
say() { printf '\n== %s\n' "$*"; }
jobs=$(nproc)

say "arm64: installing what is missing (the native tools the tests use, cross toolchain, arm64 libraries, qemu-user, the arm64 JDK)"
jdk_root=/var/cache/bramlet/arm64-jdk
scripts/install-deps.sh
scripts/install-arm64-deps.sh "$jdk_root"
jdk=$jdk_root/usr/lib/jvm/java-17-openjdk-arm64
# This machine's JDK, whose jlink links the arm64 JDK's modules.
host_jdk=/usr/lib/jvm/java-17-openjdk-$(dpkg --print-architecture)

say "build-arm64: configure and build"
scripts/configure.sh build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DBRAMLET_TEST_JAVA_HOME="$jdk" -DBRAMLET_TEST_JLINK_HOME="$host_jdk"
cmake --build build-arm64 -j "$jobs"

say "build-arm64: tests under qemu-user"
# Most end-to-end tests wait on child processes, so run more than one per core.
ctest --test-dir build-arm64 -j $((jobs * 2)) --output-on-failure --no-tests=error

# This machine's mksetup and jlink, the arm64 launchers and the arm64 JDK's modules.
say "An arm64 installer of the example, made here"
scripts/configure.sh build
cmake --build build -j "$jobs" --target mksetup kit >/dev/null
work=$(mktemp -d /tmp/bramlet-arm64.XXXXXX)
trap 'rm -rf "$work"' EXIT
JAVA_HOME=$host_jdk build/src/mksetup --launcher build-arm64/src/bramlet-setup \
  --uninstaller build-arm64/src/bramlet-uninstall --app build-arm64/examples/app --name bramlet-example \
  --version 1.0 --main-jar hello.jar --terminal --jlink java.base --jdk "$jdk" "$work/setup"
printf 'installDir=%s\nlicenseAccepted=true\n' "$work/app" >"$work/state"
env -i PATH=/usr/sbin:/sbin HOME="$work" "$work/setup" -silent "$work/state" >"$work/log" || { cat "$work/log"; exit 1; }
env -i PATH=/usr/sbin:/sbin "$work/app/bin/bramlet-example" | tee "$work/hello"
if ! grep -q "^It runs on Java 17.* from $work/app/runtime\.$" "$work/hello" ||
  ! readelf -h "$work/app/runtime/bin/java" | grep -q 'Machine: *AArch64'; then
  echo "run-arm64-tests: the application did not run on the arm64 runtime installed with it" >&2
  exit 1
fi
echo "== arm64: all tests passed"
