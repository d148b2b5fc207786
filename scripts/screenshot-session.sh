# Sourced by the screenshot scripts: a fresh Wine prefix under a private Xvfb display,
# every program of it inside one Wine virtual desktop (which draws the captions), all
# removed again when the script ends.
#   shot_session WIDTHxHEIGHT     sets WINEPREFIX, DISPLAY and the desktop's size
shot_session() {
  shot_work="$(mktemp -d)"
  export WINEPREFIX="$shot_work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local display=""
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    display=":$n"; break
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  shot_xvfb=$!
  export DISPLAY="$display"
  trap 'wineserver -k >/dev/null 2>&1 || true; kill "$shot_xvfb" 2>/dev/null || true; rm -rf "$shot_work"' EXIT
  sleep 1
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot -i </dev/null >/dev/null 2>&1
  "$(dirname "${BASH_SOURCE[0]}")/install-wine-fonts.sh"
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$1" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
}

# shot_wait LOG TEXT: waits up to a minute for TEXT to appear in LOG; when it never does,
# shows LOG and fails.
shot_wait() {
  for _ in $(seq 120); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.5; done
  echo "never saw \"$2\":" >&2
  cat "$1" >&2
  return 1
}

# shot_window FILE: a picture of Wine's virtual desktop window (the whole screen when it
# cannot be found).
shot_window() {
  local desktop
  desktop="$(xwininfo -root -tree | awk '/Wine desktop|Default - Wine/ {print $1; exit}')"
  import -window "${desktop:-root}" "$1"
  echo "wrote $1"
}
