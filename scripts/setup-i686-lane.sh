#!/usr/bin/env bash
# Sets up the i686 lane: a private root in which the i686 build's programs run here, although
# this machine's kernel refuses 32-bit programs. Debian 12's 32-bit Wine (wine32, libwine and
# the X libraries its display driver loads, architecture i386) runs under qemu-user, and the
# native 64-bit wineserver of the very same Wine version serves its processes.
#
# Nothing of the machine's own apt state, architectures, binfmt handlers or Wine is changed:
# the packages are fetched with a private apt configuration from the Debian archive that the
# machine's apt sources name, and unpacked with dpkg-deb -x into the lane's folder, which
# later runs reuse (a second run ends at once).
#
#   scripts/setup-i686-lane.sh          set up (or check) the lane; prints its folder
#   OSTREL_I686_LANE=DIR                the lane's folder (default ~/.cache/ostrel/i686-lane)
#
# The lane's folder then holds:
#   bin/wine, bin/wineserver, bin/winepath
#                              Wine's commands for the lane (as /usr/bin/wine is for the host)
#   bin/qemu-i386              qemu-user's i386 emulator (from bookworm-backports, 8.1 or later)
#   root/                      the unpacked i386 packages, with their own ld.so.cache
#   native/                    the wineserver64 of the same Wine version
set -euo pipefail
lane="${OSTREL_I686_LANE:-${XDG_CACHE_HOME:-$HOME/.cache}/ostrel/i686-lane}"
say() { echo "i686 lane: $*" >&2; }
fail() { echo "i686 lane: $*" >&2; exit 1; }

# Wine's i386 packages, and the X libraries winex11.drv loads at run time (libwine only
# recommends them), with fontconfig and freetype for text.
i386_packages=(libx11-6 libxext6 libxcursor1 libxi6 libxrandr2 libxrender1 libxxf86vm1 libxcomposite1
               libxinerama1 libxfixes3 libfreetype6 libfontconfig1)
stamp_version=4  # raise when what the lane holds changes

. /etc/os-release
codename="${VERSION_CODENAME:?/etc/os-release names no codename}"
[ "$codename" = bookworm ] || say "made for Debian 12 (bookworm); this is $codename"

if [ -f "$lane/ready" ] && [ "$(cat "$lane/ready")" = "$stamp_version" ] \
   && [ -x "$lane/bin/wine" ] && [ -x "$lane/bin/winepath" ] && [ -x "$lane/bin/qemu-i386" ] && [ -x "$lane/native/wineserver64" ]; then
  echo "$lane"
  exit 0
fi

# The Debian archive the machine's apt sources name for its release's main component, in
# either form: one-line (sources.list, *.list) or deb822 (*.sources; lines starting with '#'
# are comments, also inside a stanza).
find_archive() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      /^[ \t]*#/ || NF < 4 || $1 != "deb" { next }
      {
        keyring = ""; i = 2
        if ($2 ~ /^\[/) {
          while (i <= NF) {
            w = $i; gsub(/[\[\]]/, "", w)
            if (w ~ /^signed-by=/) { sub(/^signed-by=/, "", w); keyring = w }
            if ($i ~ /\]$/) { i++; break }
            i++
          }
        }
        uri = $i; suite = $(i + 1)
        if (suite != want) next
        for (j = i + 2; j <= NF; j++) if ($j == "main") { print uri " " keyring; exit }
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " want " ") && (" " comps " ") ~ / main / && enabled != "no" && uris != "") {
          split(uris, u, " "); print u[1] " " keyring; found = 1; exit
        }
        types = uris = suites = comps = keyring = ""; enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { next }
      {
        key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^[ \t]+/, ""); value = $0
        if (key == "types") types = value
        else if (key == "uris") uris = value
        else if (key == "suites") suites = value
        else if (key == "components") comps = value
        else if (key == "signed-by") keyring = value
        else if (key == "enabled") enabled = tolower(value)
      }
      END { if (!found) flush() }' "$f"
  done
}
read -r archive keyring < <(find_archive | head -n 1) || true
[ -n "${archive:-}" ] || fail "the machine's apt sources name no Debian archive for $codename main"
case "${keyring:-}" in /*) [ -f "$keyring" ] || keyring="" ;; *) keyring="" ;; esac
keyring="${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}"
[ -f "$keyring" ] || fail "no archive keyring at $keyring"

# The host's wineserver64 must be of the same Wine version as the i386 packages: take the
# version the archive has, and fetch wine64's package of that version too.
command -v dpkg-deb >/dev/null && command -v apt-get >/dev/null || fail "needs apt-get and dpkg-deb (Debian)"

say "setting up in $lane from $archive"
rm -rf "$lane/ready" "$lane/root" "$lane/native" "$lane/bin" "$lane/unpack"
mkdir -p "$lane"

# A private apt configuration: its own state, cache, sources and status, download only.
private_apt() {  # private_apt NAME ARCH SOURCE-LINES...
  local dir="$lane/apt/$1" arch="$2"; shift 2
  mkdir -p "$dir/state/lists/partial" "$dir/cache/archives/partial" "$dir/parts"
  : > "$dir/status"
  printf '%s\n' "$@" > "$dir/sources.list"
  cat > "$dir/apt.conf" <<EOF
Dir::State "$dir/state";
Dir::State::status "$dir/status";
Dir::Cache "$dir/cache";
Dir::Etc::SourceList "$dir/sources.list";
Dir::Etc::SourceParts "$dir/parts";
Dir::Etc::Preferences "$dir/parts/none";
Dir::Etc::PreferencesParts "$dir/parts";
APT::Architecture "$arch";
#clear APT::Architectures;
APT::Architectures { "$arch"; };
APT::Install-Recommends "false";
APT::Install-Suggests "false";
APT::Sandbox::User "root";
Debug::NoLocking "true";
EOF
}
apt_in() {  # apt_in NAME apt-get/apt-cache ARGS...
  local dir="$lane/apt/$1"; shift
  local tool="$1"; shift
  APT_CONFIG="$dir/apt.conf" "$tool" -o Dir::Etc::Parts="$dir/parts" "$@"
}

private_apt i386 i386 "deb [arch=i386 signed-by=$keyring] $archive $codename main"
private_apt amd64 amd64 "deb [arch=amd64 signed-by=$keyring] $archive $codename main" \
                        "deb [arch=amd64 signed-by=$keyring] $archive $codename-backports main"
for a in i386 amd64; do
  apt_in "$a" apt-get -qq update || fail "apt-get update of the private $a configuration failed"
done

wine_version="$(apt_in i386 apt-cache policy wine32 | awk '/Candidate:/ { print $2 }')"
[ -n "$wine_version" ] && [ "$wine_version" != "(none)" ] || fail "the archive has no wine32:i386"
say "Wine $wine_version"

# qemu-user from backports (since 9.x its qemu-user package holds the static emulators, and
# qemu-user-static is only a transitional one): Debian 12's own 7.2 ignores MAP_FIXED_NOREPLACE, so Wine's
# address-space reservation takes tens of thousands of mmap calls per process, minutes each.
qemu_package=""
for candidate in qemu-user qemu-user-static; do
  v="$(apt_in amd64 apt-cache policy "$candidate" | awk '/bpo/ && /^ +[0-9]/ { print $1; exit }')"
  [ -n "$v" ] && { qemu_package="$candidate"; qemu_version="$v"; break; }
done
[ -n "$qemu_package" ] || fail "no qemu-user in $codename-backports: the lane needs qemu-user 8.1 or later"
# The upstream version: strip the epoch and Debian's revision ("1:10.0.2+ds-1~bpo12+1" is 10.0.2).
qemu_upstream="${qemu_version#*:}"; qemu_upstream="${qemu_upstream%%[+~-]*}"
if ! dpkg --compare-versions "$qemu_upstream" ge 8.1; then
  fail "qemu-user $qemu_version is too old: the lane needs 8.1 or later (7.2 makes every Wine process take minutes and crash)"
fi
say "$qemu_package $qemu_version"

(cd "$lane/apt/amd64/cache/archives" &&
  apt_in amd64 apt-get -qq download "$qemu_package=$qemu_version" "wine64=$wine_version")
apt_in i386 apt-get -qq -y install --download-only "wine32=$wine_version" "libwine=$wine_version" \
  "${i386_packages[@]}" >/dev/null || fail "fetching the i386 packages failed"

mkdir -p "$lane/unpack/qemu" "$lane/unpack/wine64" "$lane/root" "$lane/native" "$lane/bin"
for deb in "$lane"/apt/i386/cache/archives/*.deb; do dpkg-deb -x "$deb" "$lane/root"; done
dpkg-deb -x "$lane"/apt/amd64/cache/archives/"${qemu_package}"_*.deb "$lane/unpack/qemu"
dpkg-deb -x "$lane"/apt/amd64/cache/archives/wine64_*.deb "$lane/unpack/wine64"

qemu=""
for f in "$lane/unpack/qemu/usr/bin/qemu-i386-static" "$lane/unpack/qemu/usr/bin/qemu-i386"; do
  [ -x "$f" ] && { qemu="$f"; break; }
done
[ -n "$qemu" ] || fail "$qemu_package holds no qemu-i386"
cp "$qemu" "$lane/bin/qemu-i386"
"$lane/bin/qemu-i386" --version >/dev/null 2>&1 \
  || fail "$lane/bin/qemu-i386 does not run here (a dynamically linked build needs its libraries)"
cp "$lane/unpack/wine64/usr/lib/wine/wineserver64" "$lane/native/wineserver64"
[ -f "$lane/root/usr/lib/wine/wine" ] || fail "wine32 holds no /usr/lib/wine/wine"

# What libwine's maintainer script would have done: zlib1.dll from the MinGW zlib, marked as
# a Wine builtin DLL.
zlib_src="$(ls /usr/i686-w64-mingw32/lib/zlib1.dll 2>/dev/null || true)"
if [ -z "$zlib_src" ]; then
  (cd "$lane/apt/amd64/cache/archives" && apt_in amd64 apt-get -qq download libz-mingw-w64)
  mkdir -p "$lane/unpack/zlib"
  dpkg-deb -x "$lane"/apt/amd64/cache/archives/libz-mingw-w64_*.deb "$lane/unpack/zlib"
  zlib_src="$lane/unpack/zlib/usr/i686-w64-mingw32/lib/zlib1.dll"
fi
zlib_out="$lane/root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
{ head -c 64 "$zlib_src"; printf 'Wine builtin DLL'; printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'; tail -c +97 "$zlib_src"; } > "$zlib_out"

# The i386 loader's own library cache: without it ld.so would take the host's libraries.
mkdir -p "$lane/root/etc"
echo "include /etc/ld.so.conf.d/*.conf" > "$lane/root/etc/ld.so.conf"
ldconfig -r "$lane/root"

# Debian ships no wine-preloader. Wine starts each new process as
# "<bindir>/wine-preloader <bindir>/wine ...", so this script in the preloader's place hands
# every Wine process of the lane to qemu.
cat > "$lane/root/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec "$lane/bin/qemu-i386" -L "$lane/root" "\$@"
EOF
chmod 755 "$lane/root/usr/lib/wine/wine-preloader"

cat > "$lane/bin/wineserver" <<EOF
#!/bin/sh
# The lane's wineserver: the native one of the same Wine version as the lane's i386 Wine.
exec "$lane/native/wineserver64" "\$@"
EOF
cat > "$lane/bin/wine" <<EOF
#!/bin/sh
# Wine of the lane: Debian's 32-bit Wine $wine_version under qemu-user, served by the native
# wineserver of the same version. Use it as the host's wine: WINEPREFIX=... wine PROGRAM ...
export WINESERVER="$lane/native/wineserver64"
export WINELOADER="$lane/root/usr/lib/wine/wine"
export WINEARCH=win32
exec "$lane/bin/qemu-i386" -L "$lane/root" "$lane/root/usr/lib/wine/wine" "\$@"
EOF
cat > "$lane/bin/winepath" <<EOF
#!/bin/sh
exec "$lane/bin/wine" winepath.exe "\$@"
EOF
chmod 755 "$lane/bin/wine" "$lane/bin/wineserver" "$lane/bin/winepath"
rm -rf "$lane/unpack"
say "ready: $(du -sh "$lane" | cut -f1) in $lane"
echo "$stamp_version" > "$lane/ready"
echo "$lane"
