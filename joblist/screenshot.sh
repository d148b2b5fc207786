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

. "$here/../scripts/screenshot-session.sh"
shot_session 860x440
# The first starts of the service in a fresh prefix fail; get past them.
sh "$here/tests/start-schedule.sh" wine || exit 1

wine "$bin/rostery_demo.exe" </dev/null >"$shot_work/demo.log" 2>&1 &
shot_wait "$shot_work/demo.log" "Rostery started" || exit 1
sleep 4
shot_window "$out"
