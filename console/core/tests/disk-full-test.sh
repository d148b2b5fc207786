#!/usr/bin/env bash
# Runs the disk-full cases of console_core_tests with drive E: of the test prefix on a
# 200 KB tmpfs (root only, as CI runs); unmounted on every path.
#   disk-full-test.sh WINE-RUN TEST-PROGRAM
set -u
wine_run="$1"
program="$2"
prefix="$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")"
mountpoint="$prefix.diskfull"
mkdir -p "$mountpoint"
cleanup() {
  rm -f "$prefix/dosdevices/e:"
  umount "$mountpoint" 2>/dev/null
  rmdir "$mountpoint" 2>/dev/null
}
trap cleanup EXIT
mount -t tmpfs -o size=200k tmpfs "$mountpoint" || { echo "cannot mount a tmpfs (not root?)"; exit 1; }
touch "$mountpoint/disk-full-test"
rm -f "$prefix/dosdevices/e:"
ln -s "$mountpoint" "$prefix/dosdevices/e:"
"$wine_run" "$program" --gtest_color=no --gtest_filter='DiskFullTest.*'
