#!/usr/bin/env bash
# Pictures of Salvora's main window under Xvfb and Wine, in a prefix of its own, over a
# simulated network of a dozen computers of every role: the main window (active, inactive,
# without toolbar labels), the Tools menu and the system menu with their pictures, the
# list's context menu and the Create ERD confirmation, inside a Wine virtual desktop so
# the window has its caption.
#   console/ui/screenshots/take-screenshots.sh [BUILD-DIR] [OUTPUT-FOLDER]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../../build/mingw-x64}" && pwd)"
out="$(mkdir -p "${2:-$here}" && cd "${2:-$here}" && pwd)"
demo="$build/bin/console_demo.exe"
[ -f "$demo" ] || { echo "missing $demo: build console_demo first" >&2; exit 1; }

work="$(mktemp -d /tmp/salvora-shot.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=""
for n in $(seq 150 199); do
  { [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; } && continue
  display=":$n"
  break
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
cleanup() {
  wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1

for mode in main inactive nolabels menu sysmenu context create; do
  log="$work/$mode.log"
  wine explorer /desktop=Salvora,900x600 "$demo" "$mode" </dev/null >"$log" 2>&1 &
  for _ in $(seq 120); do grep -q ready "$log" 2>/dev/null && break; sleep 0.5; done
  grep -q ready "$log" || { echo "the console did not start ($mode):" >&2; cat "$log" >&2; exit 1; }
  sleep 3
  desktop="$(xwininfo -root -tree | awk '/Wine desktop/ {print $1; exit}')"
  if [ -n "$desktop" ]; then
    import -window "$desktop" "$out/salvora-$mode.png"
  else
    import -window root "$out/salvora-$mode.png"
  fi
  echo "wrote $out/salvora-$mode.png"
  wineserver -k >/dev/null 2>&1
  sleep 1
  wineserver -p </dev/null >/dev/null 2>&1
done
