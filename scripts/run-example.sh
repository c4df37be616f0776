#!/bin/sh
# The main job: installs what is missing, builds the launchers (against a
# Debian 11 root, so that they start on any Linux with glibc 2.17 or later),
# mksetup, the installer kit, the manual pages and the example application
# (all that cmake --install and cpack take, so both work next), makes an installer
# of the example with mksetup --app (a licence, an icon and a Java runtime
# made by jlink), installs it silently with the answers kept in
# examples/example.state, and runs the installed application.
set -eu
cd "$(dirname "$0")/.."
say() { printf '\n== %s\n' "$*"; }

say "Installing what is missing (Debian packages and locales)"
scripts/install-deps.sh

say "Building the launchers, mksetup, the installer kit, the manual pages and the example application in build/"
scripts/configure.sh build -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-linux-gnu.cmake
cmake --build build -j "$(nproc)" --target bramlet-setup bramlet-uninstall mksetup kit manual_pages example_app

setup=build/examples/bramlet-example-setup
say "Making $setup of build/examples/app, with a runtime made by jlink"
build/src/mksetup --app build/examples/app --name bramlet-example --version 1.0 --main-jar hello.jar \
  --license examples/license.txt --icon examples/icon.png --terminal --jlink java.base "$setup"
build/src/mksetup --verify "$setup"

dir=$(sed -n 's/^installDir=//p' examples/example.state)
# An empty environment and a PATH without java: the installer runs on the
# runtime it carries, and installs it with the application.
say "Installing silently into $dir: $setup -silent examples/example.state"
env -i PATH=/usr/sbin:/sbin "$setup" -silent examples/example.state

# A terminal application: its command is linked into /usr/local/bin.
say "Running the installed application by its name: bramlet-example -> $(readlink /usr/local/bin/bramlet-example)"
env -i PATH=/usr/local/bin:/usr/sbin:/sbin bramlet-example
