#!/usr/bin/env bash
# The main job end to end on this machine: install what is missing, build, prepare a Wine
# prefix as a simulated Windows NT computer, install the product there with its installer,
# write a list file naming this computer, run the unattended creation run `Salvora.exe -S`
# on it, and show the exit code, the result log and the repair files received.
#   scripts/run-main-job.sh          the prefix reports Wine's default Windows version
#   scripts/run-main-job.sh --nt40   the prefix reports Windows NT 4.0 (4.0.1381, SP6a), in
#                                    build/main-job-nt40/, as the suite's home platform
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
windows_version=""
case "${1:-}" in
  --nt40) windows_version=nt40 ;;
  "") ;;
  *) echo "usage: $0 [--nt40]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target Salvora-setup ntsim rdisk

bin="$root/build/mingw-x64/bin"
job="$root/build/main-job${windows_version:+-$windows_version}"
export WINEPREFIX="$job/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

echo "== A fresh Wine prefix: $WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
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
wineserver -p </dev/null >/dev/null 2>&1 || true
wine wineboot -i </dev/null >/dev/null 2>&1 || true
if [ -n "$windows_version" ]; then
  # In a 64-bit prefix `winecfg -v nt40` refuses; this value, read when the session
  # restarts below, makes GetVersionExA answer 4.0, build 1381, "Service Pack 6a".
  wine reg add 'HKCU\Software\Wine' /v Version /d "$windows_version" /f </dev/null >/dev/null 2>&1
fi
# The first boot leaves two service managers running, and a start request that reaches the
# wrong one ends in "Service request timeout" (1053); a restart of the session leaves one.
# One of Wine's own services is started as a probe, and the session restarted again
# should that still time out.
for attempt in 1 2 3; do
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
  WINEDEBUG=err+sc wine sc start StiSvc </dev/null >"$job/probe.txt" 2>&1 || true
  grep -q "failed to start service 1053" "$job/probe.txt" || break
  echo "Wine's service manager timed out a start (attempt $attempt): restarting the session"
done
# One program alive for the whole job keeps Wine's service manager up between programs:
# a command prompt waiting on a pipe that this script holds open.
mkfifo "$job/keep"
wine cmd /c pause <"$job/keep" >/dev/null 2>&1 &
exec 3>"$job/keep"

echo "== The prefix reports: $(wine cmd /c ver </dev/null 2>/dev/null | tr -d '\r' | grep -v '^$')"

echo "== The prefix as a Windows NT computer (hives, Repair folder, rdisk.exe)"
wine "$bin/ntsim.exe" "$(winepath -w "$bin/rdisk.exe")" </dev/null 2>&1 | tr -d '\r'

echo "== Installing with Salvora-setup.exe /S"
install_dir='C:\Program Files\Ostrel\Salvora'
wine "$bin/Salvora-setup.exe" /S "/D=$install_dir" </dev/null >/dev/null 2>&1
echo "installed: $(ls "$(winepath -u "$install_dir")" | tr '\n' ' ')"

computer="$(wine cmd /c echo %COMPUTERNAME% </dev/null 2>/dev/null | tr -d '\r\n')"
erd='C:\ERD'
erd_unix="$(winepath -u "$erd")"
mkdir -p "$erd_unix"
printf '%s\r\n' "$computer" > "$erd_unix/computers.txt"
echo "== List file $erd\\computers.txt names this computer: $computer"

echo "== Salvora.exe -S -n=2 -r=0 on the list"
set +e
wine "$(winepath -u "$install_dir")/Salvora.exe" -S -n=2 -r=0 "-o=$erd\\%COMPUTERNAME%" "-l=$erd\\Salvora.log" \
  "$erd\\computers.txt" </dev/null >/dev/null 2>&1
code=$?
set -e
echo "exit code: $code"
echo "== Result log $erd\\Salvora.log"
tr -d '\r' < "$erd_unix/Salvora.log" || true
echo "== Repair files received in $erd\\$computer"
ls -l "$erd_unix/$computer" 2>/dev/null || echo "(none)"
system32="$(winepath -u 'C:\windows\system32')"
if [ -e "$system32/Vantoro.exe" ]; then echo "The agent file is still on the target"; else echo "The agent file is gone from the target"; fi
[ "$code" -eq 0 ] && echo "MAIN JOB SUCCEEDED" || echo "MAIN JOB FAILED"
exit "$code"
