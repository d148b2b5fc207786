# Reads `objdump -p` of a PE file and prints one line "DLL FUNCTION" for each import by
# name ("DLL #ORDINAL" for one by ordinal), DLL names in upper case.
/^\tDLL Name: / { dll = toupper($3); next }
/^[ \t]*$/ { next }
dll != "" && /^\t[0-9a-fA-F]+\t/ {
  n = split($0, parts, "\t")
  entry = parts[3]
  sub(/^ +/, "", entry)
  if (split(entry, words, " +") >= 2) print dll, words[2]
  else if (entry != "") print dll, "#" words[1]
  next
}
/^[^\t]/ { dll = "" }
