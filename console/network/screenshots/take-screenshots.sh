#!/usr/bin/env bash
# Screenshots of the console's Select Domain dialog and Add Computer's chooser under Xvfb,
# in Wine's virtual desktop. Needs a configured x86_64 build:
#   cmake --build build/mingw-x64 --target selection_shots
# Writes console/network/screenshots/select-domain.png and computer-chooser.png.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$here/../../../build/mingw-x64/bin"
out="${1:-$here}"
. "$here/../../../scripts/screenshot-session.sh"
shot_session 480x360

for shot in domain:select-domain chooser:computer-chooser; do
  wine "$bin/selection_shots.exe" "${shot%%:*}" </dev/null >/dev/null 2>&1 &
  driver=$!
  sleep 6
  import -window root -crop 480x360+0+0 "$out/${shot#*:}.png"
  wait "$driver" || true
done
echo "Screenshots in $out"
