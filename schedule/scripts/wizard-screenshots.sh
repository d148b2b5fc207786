#!/usr/bin/env bash
# Pictures of the three Scheduler wizard pages, taken under Xvfb in a Wine session of its
# own: page1.png (Schedule Service), page2.png (Program and Parameters), page3.png (Schedule).
#   schedule/scripts/wizard-screenshots.sh [build-dir] [output-dir]
# Needs the build's scheduler_shots target (cmake --build <build-dir> --target scheduler_shots).
set -eu
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$here/build/mingw-x64}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

"$build/wine-run" --start
status=0
# A virtual desktop gives the frame its caption even without a window manager.
timeout 120 "$build/wine-run" explorer /desktop=shots,800x600 \
    "$(winepath -w "$build/bin/scheduler_shots.exe" 2>/dev/null || echo "$build/bin/scheduler_shots.exe")" \
    "$(WINEPREFIX="$build/wineprefix" winepath -w "$out" 2>/dev/null)" </dev/null >/dev/null 2>&1 || status=$?
"$build/wine-run" --stop
for n in 1 2 3; do
  if [ -f "$out/page$n.bmp" ]; then
    convert "$out/page$n.bmp" "$out/page$n.png" && rm -f "$out/page$n.bmp"
    echo "$out/page$n.png"
  fi
done
exit $status
