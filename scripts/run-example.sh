#!/bin/sh
# The main job: installs what is missing, builds the launcher and runs it.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target bramlet-setup
echo "== built build/src/bramlet-setup; running it"
status=0
build/src/bramlet-setup -help || status=$?
echo "== the launcher ended with status $status"
