#!/usr/bin/env bash
# Screenshots of the console's Select Domain dialog and Add Computer's chooser under Xvfb,
# in Wine's virtual desktop (which draws the captions). Needs a configured x86_64 build:
#   cmake --build build/mingw-x64 --target selection_shots
# Writes console/network/screenshots/select-domain.png and computer-chooser.png.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$here/../../../build/mingw-x64/bin"
out="${1:-$here}"
work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  display=":$n"; break
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
cleanup() { wineserver -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
sleep 1
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1

# Every program of this prefix runs in one virtual desktop of 480x360.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 480x360 /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1

for shot in domain:select-domain chooser:computer-chooser; do
  wine "$bin/selection_shots.exe" "${shot%%:*}" </dev/null >/dev/null 2>&1 &
  driver=$!
  sleep 6
  import -window root -crop 480x360+0+0 "$out/${shot#*:}.png"
  wait "$driver" || true
done
echo "Screenshots in $out"
