#!/usr/bin/env bash
# Builds the x86_64 programs and runs the benchmark programs under Wine (all of them, or
# the ones named: scripts/bench.sh TransportBench).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64
run=build/mingw-x64/wine-run
"$run" --start >/dev/null
trap '"$run" --stop' EXIT
if [ $# -eq 0 ]; then
  set -- $(cd build/mingw-x64/bin && ls *Bench.exe | sed 's/\.exe$//')
fi
for bench in "$@"; do
  echo "== $bench"
  "$run" "build/mingw-x64/bin/$bench.exe"
done
