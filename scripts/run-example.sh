#!/bin/sh
# The main job: installs what is missing, builds the launcher, mksetup and
# the example installer, packs the example together with a Java runtime made
# by jlink, installs it silently with the answers kept in
# examples/example.state, and runs the installed application.
set -eu
cd "$(dirname "$0")/.."
say() { printf '\n== %s\n' "$*"; }

say "Installing what is missing (Debian packages and locales)"
scripts/install-deps.sh

say "Building the launchers, mksetup and the example installer in build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target bramlet-setup bramlet-uninstall mksetup example_payload

setup=build/examples/bramlet-example-setup
say "Packing build/examples/payload into $setup, with a runtime of java.base made by jlink"
build/src/mksetup --jlink java.base build/examples/payload "$setup"
build/src/mksetup --verify "$setup"

dir=$(sed -n 's/^installDir=//p' examples/example.state)
# An empty environment and a PATH without java: the installer runs on the
# runtime it carries.
say "Installing silently into $dir: $setup -silent examples/example.state"
env -i PATH=/usr/sbin:/sbin "$setup" -silent examples/example.state

say "Running the installed application: $dir/bin/hello"
"$dir/bin/hello"
