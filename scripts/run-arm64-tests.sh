#!/bin/sh
# Cross-builds everything for arm64 (aarch64) in build-arm64, against a
# Debian 11 arm64 root, and runs every test there under qemu-user: the unit
# tests, the end-to-end tests (binfmt_misc starts the launchers and mksetup
# as an arm64 machine would) and the example installer on Debian's arm64 JDK
# 17. Then this machine's mksetup makes an arm64 installer of the example
# with one command, with a runtime of Debian 11's arm64 JDK, which installs
# and runs the example application in that Debian 11 root, under emulation.
# Installs what is missing first.
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

# This machine's mksetup and jlink, the arm64 launchers and the modules of
# Debian 11's arm64 JDK; the installer runs on Debian 11 for arm64.
say "An arm64 installer of the example, made here, on Debian 11 for arm64"
root=/var/cache/bramlet/debian11-arm64
scripts/configure.sh build -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-linux-gnu.cmake
cmake --build build -j "$jobs" --target mksetup kit >/dev/null
work=$(mktemp -d /tmp/bramlet-arm64.XXXXXX)
trap 'rm -rf "$work"' EXIT
JAVA_HOME=$host_jdk build/src/mksetup --launcher build-arm64/src/bramlet-setup \
  --uninstaller build-arm64/src/bramlet-uninstall --app build-arm64/examples/app --name bramlet-example \
  --version 1.0 --main-jar hello.jar --terminal --jlink java.base --jdk "$root/usr/lib/jvm/java-17-openjdk-arm64" \
  "$work/setup"
printf 'installDir=/opt/bramlet-example\nlicenseAccepted=true\n' >"$work/state"
# Installed and run in one visit to the root, which keeps nothing of it.
BIND=$work tests/support/in_root.sh "$root" /usr/bin/env -i PATH=/usr/bin:/bin /bin/sh -c '
  "$0/setup" -silent "$0/state" >"$0/log" 2>&1 || { cat "$0/log"; exit 1; }
  cat /etc/debian_version >"$0/system"
  /opt/bramlet-example/bin/bramlet-example >"$0/hello"
  cp /opt/bramlet-example/runtime/bin/java "$0/java"' "$work"
cat "$work/hello"
if ! grep -q '^11\.' "$work/system" || ! grep -q "^It runs on Java 17.* from /opt/bramlet-example/runtime\.$" "$work/hello" ||
  ! readelf -h "$work/java" | grep -q 'Machine: *AArch64'; then
  echo "run-arm64-tests: the application did not run on Debian 11 for arm64, on the arm64 runtime installed with it" >&2
  exit 1
fi
echo "== arm64: all tests passed"
