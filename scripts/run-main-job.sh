#!/usr/bin/env bash
# The main job end to end on this machine: install what is missing, build, prepare a Wine
# prefix as a simulated Windows NT computer, install the product there with its installer,
# write a list file naming this computer, run the unattended creation run `Salvora.exe -S`
# on it, and show the exit code, the result log and the repair files received.
#   scripts/run-main-job.sh          the prefix reports Wine's default Windows version
#   scripts/run-main-job.sh --nt40   the prefix reports Windows NT 4.0 (4.0.1381, SP6a), in
#                                    build/main-job-nt40/, as the suite's home platform
#   scripts/run-main-job.sh --i686   the product itself: the i686 build and its installer
#                                    Salvora-setup-x86.exe, in the i686 lane (32-bit Wine under
#                                    qemu-user, scripts/setup-i686-lane.sh), in a 32-bit prefix
#                                    that reports Windows NT 4.0, in build/main-job-i686/
# Every Wine call is bounded (OSTREL_WINE_STEP_LIMIT seconds, 600 unless set).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
windows_version=""
preset=mingw-x64
setup=Salvora-setup.exe
job_name=main-job
case "${1:-}" in
  --nt40) windows_version=nt40; job_name=main-job-nt40 ;;
  --i686) windows_version=nt40; preset=mingw-x86; setup=Salvora-setup-x86.exe; job_name=main-job-i686 ;;
  "") ;;
  *) echo "usage: $0 [--nt40 | --i686]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target Salvora-setup ntsim rdisk

if [ "$preset" = mingw-x86 ]; then
  lane="$(scripts/setup-i686-lane.sh)"
  export PATH="$lane/bin:$PATH"
  export WINEARCH=win32
  echo "== The i686 lane: $(wine --version 2>/dev/null) (32-bit) under $("$lane/bin/qemu-i386" --version | head -n 1)"
fi
step_limit="${OSTREL_WINE_STEP_LIMIT:-600}"
bounded() { timeout --kill-after=10 "$step_limit" "$@"; }

bin="$root/build/$preset/bin"
job="$root/build/$job_name"
export WINEPREFIX="$job/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  bounded wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

echo "== A fresh Wine prefix: $WINEPREFIX"
bounded wineserver -k >/dev/null 2>&1 || true
rm -rf "$job"
mkdir -p "$job"
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 150 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi
bounded wineserver -p </dev/null >/dev/null 2>&1 || true
bounded wine wineboot -i </dev/null >/dev/null 2>&1 || true
if [ -n "$windows_version" ]; then
  # In a 64-bit prefix `winecfg -v nt40` refuses; this value, read when the session
  # restarts below, makes GetVersionExA answer 4.0, build 1381, "Service Pack 6a".
  bounded wine reg add 'HKCU\Software\Wine' /v Version /d "$windows_version" /f </dev/null >/dev/null 2>&1
fi
# The first boot leaves two service managers running, and a start request that reaches the
# wrong one ends in "Service request timeout" (1053); a restart of the session leaves one.
# One of Wine's own services is started as a probe, and the session restarted again
# should that still time out.
for attempt in 1 2 3; do
  bounded wineserver -k >/dev/null 2>&1 || true
  bounded wineserver -p </dev/null >/dev/null 2>&1 || true
  bounded wine wineboot </dev/null >/dev/null 2>&1 || true
  WINEDEBUG=err+sc bounded wine sc start StiSvc </dev/null >"$job/probe.txt" 2>&1 || true
  grep -q "failed to start service 1053" "$job/probe.txt" || break
  echo "Wine's service manager timed out a start (attempt $attempt): restarting the session"
done
# One program alive for the whole job keeps Wine's service manager up between programs:
# a command prompt waiting on a pipe that this script holds open.
mkfifo "$job/keep"
wine cmd /c pause <"$job/keep" >/dev/null 2>&1 &
exec 3>"$job/keep"

echo "== The prefix reports: $(bounded wine cmd /c ver </dev/null 2>/dev/null | tr -d '\r' | grep -v '^$')"

echo "== The prefix as a Windows NT computer (hives, Repair folder, rdisk.exe)"
bounded wine "$bin/ntsim.exe" "$(bounded winepath -w "$bin/rdisk.exe")" </dev/null 2>&1 | tr -d '\r'

echo "== Installing with $setup /S"
install_dir='C:\Program Files\Ostrel\Salvora'
bounded wine "$bin/$setup" /S "/D=$install_dir" </dev/null >/dev/null 2>&1
install_unix="$(bounded winepath -u "$install_dir")"
echo "installed: $(ls "$install_unix" | tr '\n' ' ')"

computer="$(bounded wine cmd /c echo %COMPUTERNAME% </dev/null 2>/dev/null | tr -d '\r\n')"
erd='C:\ERD'
erd_unix="$(bounded winepath -u "$erd")"
mkdir -p "$erd_unix"
printf '%s\r\n' "$computer" > "$erd_unix/computers.txt"
echo "== List file $erd\\computers.txt names this computer: $computer"

echo "== Salvora.exe -S -n=2 -r=0 on the list"
set +e
bounded wine "$install_unix/Salvora.exe" -S -n=2 -r=0 "-o=$erd\\%COMPUTERNAME%" "-l=$erd\\Salvora.log" \
  "$erd\\computers.txt" </dev/null >/dev/null 2>&1
code=$?
set -e
echo "exit code: $code"
echo "== Result log $erd\\Salvora.log"
tr -d '\r' < "$erd_unix/Salvora.log" || true
echo "== Repair files received in $erd\\$computer"
ls -l "$erd_unix/$computer" 2>/dev/null || echo "(none)"
# Each file received must be byte for byte the target's own, in its Repair folder.
repair="$(bounded winepath -u 'C:\windows\repair')"
received=0; differing=0
for file in "$erd_unix/$computer"/*; do
  [ -f "$file" ] || continue
  received=$((received + 1))
  name="$(basename "$file")"
  original="$(find "$repair" -maxdepth 1 -iname "$name" | head -n 1)"
  if [ -z "$original" ] || ! cmp -s "$file" "$original"; then
    echo "$name differs from the target's Repair folder"; differing=$((differing + 1))
  fi
done
echo "$received files received, $((received - differing)) byte-identical to the target's"
if [ "$code" -eq 0 ] && { [ "$received" -eq 0 ] || [ "$differing" -ne 0 ]; }; then
  echo "The run reported success but the repair files are not the target's"; code=1
fi
system32="$(bounded winepath -u 'C:\windows\system32')"
if [ -e "$system32/Vantoro.exe" ]; then echo "The agent file is still on the target"; else echo "The agent file is gone from the target"; fi
[ "$code" -eq 0 ] && echo "MAIN JOB SUCCEEDED" || echo "MAIN JOB FAILED"
exit "$code"
