#!/usr/bin/env bash
# Builds both Windows builds (x86_64 and i686) and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
ctest --preset mingw-x64
