#!/usr/bin/env bash
# Checks that every i686 program of the suite can load on Windows NT 4.0 SP6a: reads the
# import table of each (i686-w64-mingw32-objdump -p) and fails, naming program, DLL and
# function, on an import from a DLL that NT 4.0 lacks (scripts/nt4/nt4-dlls.txt) or of a
# function it does not export (scripts/nt4/newer-than-nt4.txt, with the Windows version
# that introduced it).
#
#   scripts/check-nt4-imports.sh BIN_FOLDER [PROGRAM...]
#       the named programs of BIN_FOLDER (default: the suite's programs and the x86 installer);
#       a program that is not there fails the check
#   scripts/check-nt4-imports.sh --dump FILE
#       reads one saved `objdump -p` listing instead of a program
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
data="$here/nt4"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
programs_default=(Salvora.exe Vantoro.exe Restavo.exe Scheduler.exe Rostery.exe Scheduler.old Salvora-setup-x86.exe)

if [ $# -lt 1 ]; then
  echo "usage: $0 BIN_FOLDER [PROGRAM...] | --dump FILE" >&2
  exit 2
fi

# "DLL FUNCTION" lines of one listing on stdin, checked; prints the faults, returns 1 on any.
check_listing() {
  local label="$1"
  awk -v label="$label" -v dlls="$data/nt4-dlls.txt" -v newer="$data/newer-than-nt4.txt" '
    BEGIN {
      while ((getline line < dlls) > 0) { if (line ~ /^#/ || line ~ /^[ \t]*$/) continue; split(line, w, " "); known[toupper(w[1])] = 1 }
      while ((getline line < newer) > 0) {
        if (line ~ /^#/ || line ~ /^[ \t]*$/) continue
        n = split(line, w, " +")
        version = w[3]; for (i = 4; i <= n; i++) version = version " " w[i]
        since[toupper(w[1]) "!" w[2]] = version
      }
    }
    { key = $1 "!" $2; count++ }
    !($1 in known) { print label ": " key " (a DLL that Windows NT 4.0 does not have)"; bad++; next }
    key in since { print label ": " key " (introduced in " since[key] ")"; bad++ }
    END {
      if (count == 0) { print label ": no import table found"; bad++ }
      exit bad ? 1 : 0
    }'
}

imports_of() { awk -f "$data/imports.awk"; }

if [ "$1" = "--dump" ]; then
  imports_of < "$2" | check_listing "$(basename "$2")"
  exit $?
fi

bin="$1"
shift
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=("${programs_default[@]}")
command -v "$objdump" >/dev/null || { echo "FAIL: $objdump not found (scripts/install-deps.sh installs it)"; exit 1; }
status=0
for program in "${programs[@]}"; do
  file="$bin/$program"
  if [ ! -f "$file" ]; then
    echo "$program: missing from $bin (build the mingw-x86 preset first)"
    status=1
    continue
  fi
  if ! "$objdump" -p "$file" | imports_of | check_listing "$program"; then status=1; fi
done
if [ $status -ne 0 ]; then
  echo "FAIL: the programs above do not load on Windows NT 4.0"
else
  echo "OK: ${#programs[@]} programs import only what Windows NT 4.0 SP6a exports"
fi
exit $status
