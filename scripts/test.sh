#!/usr/bin/env bash
# Builds both Windows builds (x86_64 and i686), runs every test under Wine (the check that
# the i686 programs load on Windows NT 4.0 among them), then the main job once in a prefix
# that reports Windows NT 4.0 (about 25 s). Then the i686 lane (32-bit Wine under qemu-user,
# a prefix that reports Windows NT 4.0; README "The i686 lane"): the i686 test programs with
# the shipped i686 programs, and the main job on the i686 build and its installer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# ccache, where the machine has it, also for a clone in another folder.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" "${launcher[@]}" >/dev/null
  cmake --build --preset "$preset"
done
ctest --preset mingw-x64
scripts/run-main-job.sh --nt40

lane_start=$(date +%s)
echo "== The i686 lane"
cmake --preset mingw-x86-tests "${launcher[@]}" >/dev/null
cmake --build --preset mingw-x86-tests
ctest --preset mingw-x86-tests
scripts/run-main-job.sh --i686
echo "The i686 lane took $(( $(date +%s) - lane_start )) s"
