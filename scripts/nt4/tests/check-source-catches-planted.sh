#!/usr/bin/env bash
# The source check itself, on a planted tree: a CompareStringA with LOCALE_INVARIANT in the
# programs' code must fail it, by file, line and version; the same name in comments, in a
# guarded place, in a test or in a stand-in of tools/ must not.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/transport/tests" "$tree/tools/standin" "$tree/tools/szdd"
cat > "$tree/transport/Planted.cpp" <<'CODE'
// LOCALE_INVARIANT in a comment is no use
bool IsPort(const char* base) { return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, base, 3, "COM", 3) == 2; }
/* LOCALE_INVARIANT
   LOCALE_INVARIANT in a block comment */ int after = 0;
// NT 4.0 guard: only where GetVersionExA says Windows 2000 or later
LCID later = LOCALE_INVARIANT;
CODE
printf 'LCID a = LOCALE_INVARIANT;\n' > "$tree/transport/tests/PlantedTest.cpp"
printf 'LCID b = LOCALE_INVARIANT;\n' > "$tree/tools/standin/Standin.cpp"
printf 'int c = 0;\n/* x */ UINT style = CS_DROPSHADOW;\n' > "$tree/tools/szdd/Szdd.cpp"
output="$("$here/../../check-nt4-source.sh" "$tree")"
status=$?
echo "$output"
[ $status -ne 0 ] || { echo "FAIL: the check passed a planted LOCALE_INVARIANT"; exit 1; }
expected=$'tools/szdd/Szdd.cpp:2: CS_DROPSHADOW (introduced in Windows XP) used outside a guarded place\ntransport/Planted.cpp:2: LOCALE_INVARIANT (introduced in Windows 2000) used outside a guarded place'
found="$(grep ' used outside a guarded place' <<<"$output")"
[ "$found" = "$expected" ] || { echo "FAIL: expected exactly:"; echo "$expected"; exit 1; }
echo "OK: the planted uses are named, and nothing else"
