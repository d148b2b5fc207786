#!/usr/bin/env bash
# Takes a picture of Rostery with a few jobs, under Xvfb and Wine, in a prefix of its own:
# rostery_demo adds the jobs to Wine's Schedule service and opens Rostery on the last one
# (as Scheduler does after its Finish), inside a Wine virtual desktop so the window has
# its caption.
#   joblist/screenshot.sh [BUILD-DIR] [OUTPUT.png]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build/mingw-x64}" && pwd)"
out="${2:-$here/rostery.png}"
bin="$build/bin"
for f in Rostery.exe rostery_demo.exe; do
  [ -f "$bin/$f" ] || { echo "missing $bin/$f: build Rostery and rostery_demo first" >&2; exit 1; }
done

work="$(mktemp -d /tmp/rostery-shot.XXXXXX)"
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
# The first starts of the service in a fresh prefix fail; get past them.
sh "$here/tests/start-schedule.sh" wine || exit 1

wine explorer /desktop=Rostery,860x440 "$bin/rostery_demo.exe" </dev/null >"$work/demo.log" 2>&1 &
for _ in $(seq 120); do grep -q "Rostery started" "$work/demo.log" 2>/dev/null && break; sleep 0.5; done
grep -q "Rostery started" "$work/demo.log" || { echo "Rostery did not start:" >&2; cat "$work/demo.log" >&2; exit 1; }
sleep 4

desktop="$(xwininfo -root -tree | awk '/Wine desktop/ {print $1; exit}')"
if [ -n "$desktop" ]; then
  import -window "$desktop" "$out"
else
  import -window root "$out"
fi
echo "wrote $out"
