#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and sets up the i686 lane
# (scripts/setup-i686-lane.sh); quick when all are there.
# Never installs wine32 on the machine: its kernel cannot run 32-bit programs; the i686 lane
# runs Debian's 32-bit Wine under qemu-user from a private folder instead.
set -euo pipefail
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix mingw-w64-tools
          wine wine64 googletest xvfb x11-utils imagemagick nsis fp-utils libchm-bin python3
          fonts-wine)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
"$(dirname "$0")/setup-i686-lane.sh" >/dev/null
