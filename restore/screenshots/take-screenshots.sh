#!/usr/bin/env bash
# Screenshots of Restavo's main dialog and its confirmation under Xvfb, in Wine's virtual
# desktop (which draws the captions). Needs a configured x86_64 build:
#   cmake --build build/mingw-x64 --target Restavo restavo_shots
# Writes restore/screenshots/main-dialog.png and confirm-dialog.png.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$here/../../build/mingw-x64/bin"
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

# Every program of this prefix runs in one virtual desktop of 640x480.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1

erd='C:\ERD\PC01'
wine "$bin/restavo_shots.exe" prepare "$erd"
name="$(wine cmd /c echo %COMPUTERNAME% | tr -d '\r')"
wine "$bin/Restavo.exe" "-c=$name" "-d=$erd" </dev/null >/dev/null 2>&1 &
wine "$bin/restavo_shots.exe" tick
sleep 2
import -window root -crop 640x480+0+0 "$out/main-dialog.png"
wine "$bin/restavo_shots.exe" confirm
sleep 2
import -window root -crop 640x480+0+0 "$out/confirm-dialog.png"
wine "$bin/restavo_shots.exe" close
echo "Screenshots in $out"
