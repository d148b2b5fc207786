#!/usr/bin/env bash
# The main job end to end: build everything, then run an unattended creation run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64
echo
echo "Built: $(ls build/mingw-x64/bin/*.exe build/mingw-x64/bin/*.dll 2>/dev/null | grep -v _tests | xargs -n1 basename | tr '\n' ' ')"
echo "The unattended creation run is not built yet; this command only builds the programs."
