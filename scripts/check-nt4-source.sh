#!/usr/bin/env bash
# Checks what the programs pass to the system at run time: fails, naming file, line and the
# version that introduced it, on each use in the programs' sources of a flag, constant,
# message or style that Windows NT 4.0 SP6a with Internet Explorer 4.0 does not know
# (scripts/nt4/newer-than-nt4-source.txt). A use is allowed only in a guarded place: the
# line, or the line before it, carries a comment "NT 4.0 guard: <the check>", naming the
# version or capability check that keeps the value from NT 4.0. Comments are not uses.
#
#   scripts/check-nt4-source.sh [SOURCE_ROOT]
#       the programs' sources under SOURCE_ROOT (default: this repository): every C++ and
#       resource file outside build/, bench/, cmake/, scripts/, the tests and test helpers,
#       the picture programs and the stand-ins of tools/ (tools/szdd is the programs' own)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "${1:-$here/..}" && pwd)"
data="$here/nt4/newer-than-nt4-source.txt"

mapfile -d '' files < <(find "$root" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) \
  -not -path "$root/build/*" -not -path "$root/bench/*" -not -path "$root/cmake/*" -not -path "$root/scripts/*" \
  -not -path "$root/.git/*" \( -not -path "$root/tools/*" -o -path "$root/tools/szdd/*" \) \
  -not -path '*/tests/*' -not -path '*/testing/*' -not -path '*/screenshots/*' -not -path '*/bench/*' -print0 | sort -z)
if [ ${#files[@]} -eq 0 ]; then
  echo "FAIL: no sources found under $root"
  exit 1
fi

awk -v data="$data" -v root="$root/" '
  BEGIN {
    while ((getline line < data) > 0) {
      if (line ~ /^#/ || line ~ /^[ \t]*$/) continue
      name = line; sub(/[ \t].*/, "", name)
      rest = line; sub(/^[^ \t]+[ \t]+/, "", rest)
      since = rest; sub(/[ \t][ \t]+.*/, "", since)
      newer[name] = since
    }
  }
  FNR == 1 { inBlock = 0; previous = "" }
  {
    raw = $0
    code = raw
    # Comments are not uses: block comments (across lines) and line comments go.
    out = ""
    while (code != "") {
      if (inBlock) {
        end = index(code, "*/")
        if (!end) { code = ""; break }
        code = substr(code, end + 2); inBlock = 0; continue
      }
      startBlock = index(code, "/*"); startLine = index(code, "//")
      if (startLine && (!startBlock || startLine < startBlock)) { out = out substr(code, 1, startLine - 1); code = ""; break }
      if (startBlock) { out = out substr(code, 1, startBlock - 1); code = substr(code, startBlock + 2); inBlock = 1; continue }
      out = out code; code = ""
    }
    gsub(/[^A-Za-z0-9_]+/, " ", out)
    n = split(out, words, " ")
    guarded = index(raw, "NT 4.0 guard:") || index(previous, "NT 4.0 guard:")
    for (i = 1; i <= n; i++) {
      if (!(words[i] in newer) || guarded) continue
      file = FILENAME; sub("^" root, "", file)
      print file ":" FNR ": " words[i] " (introduced in " newer[words[i]] ") used outside a guarded place"
      bad++
    }
    previous = raw
  }
  END { exit bad ? 1 : 0 }
' "${files[@]}" && status=0 || status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: the uses above are not known to Windows NT 4.0; guard them by a version or capability check, or use what NT 4.0 has"
  exit 1
fi
echo "OK: ${#files[@]} source files pass nothing Windows NT 4.0 lacks outside a guarded place"
