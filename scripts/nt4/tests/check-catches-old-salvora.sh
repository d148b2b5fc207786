#!/usr/bin/env bash
# The import check itself: the import table of an i686 Salvora.exe built with the posix
# thread runtime, SRW locks, CancelIoEx and the monitor functions (saved with objdump -p)
# must fail it, naming each function that kept that program from loading on NT 4.0.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
output="$("$here/../../check-nt4-imports.sh" --dump "$here/salvora-posix-threads.objdump.txt")"
status=$?
echo "$output"
[ $status -ne 0 ] || { echo "FAIL: the check passed a program that cannot load on Windows NT 4.0"; exit 1; }
missing=0
for name in GetTickCount64 CancelIoEx AddVectoredExceptionHandler RemoveVectoredExceptionHandler \
            AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive ReleaseSRWLockShared \
            GetMonitorInfoA MonitorFromPoint MonitorFromRect; do
  grep -q "!$name (introduced in " <<<"$output" || { echo "FAIL: $name not named"; missing=1; }
done
# Functions NT 4.0 has must not be named.
for name in CancelIo GetTickCount CreateThread InitializeCriticalSection SystemParametersInfoA; do
  grep -q "!$name " <<<"$output" && { echo "FAIL: $name named, but Windows NT 4.0 exports it"; missing=1; }
done
[ $missing -eq 0 ] && echo "OK: the check names every function above"
exit $missing
