#!/usr/bin/env bash
# Pictures of the Options sheet, taken under Xvfb in a Wine session of its own:
# options-common.png ("Create ERD" page), options-log.png ("Log" page) and
# options-popup.png (the popup help of the output folder, asked with a right click).
#   console/ui/options/screenshots/options-screenshots.sh [build-dir] [output-dir]
# Needs the build's options_shots and Salvora_help targets.
set -eu
here="$(cd "$(dirname "$0")/../../../.." && pwd)"
build="$(cd "${1:-$here/build/mingw-x64}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

"$build/wine-run" --start >/dev/null
display="$(cat "$build/wineprefix.session/display" 2>/dev/null || echo "${DISPLAY:-}")"
status=0
# A virtual desktop gives the sheet its caption even without a window manager.
"$build/wine-run" explorer /desktop=shots,800x600 \
    "$(WINEPREFIX="$build/wineprefix" winepath -w "$build/bin/options_shots.exe")" \
    "$(WINEPREFIX="$build/wineprefix" winepath -w "$out")" </dev/null >/dev/null 2>&1 &
driver=$!
for name in options-common options-log options-popup; do
  for _ in $(seq 600); do [ -f "$out/$name.ready" ] && break; sleep 0.1; done
  if [ -f "$out/$name.ready" ]; then
    DISPLAY="$display" import -window root -crop 800x600+0+0 +repage "$out/$name.png" && echo "$out/$name.png"
  else
    echo "no picture for $name" >&2
    status=1
  fi
  touch "$out/$name.done"
done
wait "$driver" || status=$?
"$build/wine-run" --stop
rm -f "$out"/*.ready "$out"/*.done
exit $status
