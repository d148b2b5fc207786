#!/usr/bin/env bash
# Screenshots of Restavo's main dialog and its confirmation under Xvfb, in Wine's virtual
# desktop (which draws the captions). Needs a configured x86_64 build:
#   cmake --build build/mingw-x64 --target Restavo restavo_shots
# Writes restore/screenshots/main-dialog.png, confirm-dialog.png and warning-report.png (a
# restore in which SECURITY fails because an earlier restore's backup is still in place).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$here/../../build/mingw-x64/bin"
out="${1:-$here}"
. "$here/../../scripts/screenshot-session.sh"
shot_session 640x480

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
wine "$bin/restavo_shots.exe" report
sleep 2
import -window root -crop 640x480+0+0 "$out/warning-report.png"
wine "$bin/restavo_shots.exe" close
echo "Screenshots in $out"
