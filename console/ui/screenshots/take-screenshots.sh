#!/usr/bin/env bash
# Pictures of Salvora's main window under Xvfb and Wine, in a prefix of its own, over a
# simulated network of a dozen computers of every role: the main window (active, inactive,
# without toolbar labels; the toolbar docked at the left, right and bottom and floating,
# each with and without labels), the Tools menu and the system menu with their pictures, the
# list's context menu and the Create ERD confirmation, inside a Wine virtual desktop so
# the window has its caption.
#   console/ui/screenshots/take-screenshots.sh [BUILD-DIR] [OUTPUT-FOLDER]
set -u
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../../build/mingw-x64}" && pwd)"
out="$(mkdir -p "${2:-$here}" && cd "${2:-$here}" && pwd)"
demo="$build/bin/console_demo.exe"
[ -f "$demo" ] || { echo "missing $demo: build console_demo first" >&2; exit 1; }

. "$here/../../../scripts/screenshot-session.sh"
shot_session 900x600

modes="main inactive nolabels menu sysmenu context create"
# The toolbar docked at each side and floating, with labels and without.
for place in dock-left dock-right dock-bottom floating; do modes="$modes $place $place-nolabels"; done
for mode in $modes; do
  log="$shot_work/$mode.log"
  wine "$demo" "$mode" </dev/null >"$log" 2>&1 &
  shot_wait "$log" ready || exit 1
  sleep 3
  shot_window "$out/salvora-$mode.png"
  wineserver -k >/dev/null 2>&1
  sleep 1
  wineserver -p </dev/null >/dev/null 2>&1
done
