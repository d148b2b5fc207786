#!/usr/bin/env bash
# Builds both Windows builds (x86_64 and i686), runs every test under Wine (the check that
# the i686 programs load on Windows NT 4.0 among them), then the main job once in a prefix
# that reports Windows NT 4.0 (about 25 s).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
ctest --preset mingw-x64
scripts/run-main-job.sh --nt40
