#!/bin/sh
# Mounts a small file system (tmpfs, 8 MiB) and runs the disk-full tests with their TEMP on it.
#   disk_full.sh <wine-run.sh> <launcher_disk_full_tests.exe> <mount directory>
# Exits 77 (skipped) when the file system cannot be mounted here, for example without root.
set -u
run=$1
tests=$2
dir=$3

mkdir -p "$dir"
if ! error=$(mount -t tmpfs -o size=8m tmpfs "$dir" 2>&1); then
    echo "skipped: cannot mount a small tmpfs at $dir (needs root): $error"
    exit 77
fi
trap 'umount "$dir" 2>/dev/null || umount -l "$dir"' EXIT
# The tests run in the background and are waited for, so that a signal ends the wait at once: the tests
# are stopped and the script leaves through the EXIT trap, which unmounts (lazily while anything still
# holds a file there).
child=
stop() { [ -n "$child" ] && kill "$child" 2>/dev/null; exit "$1"; }
trap 'stop 129' HUP
trap 'stop 130' INT
trap 'stop 143' TERM
KITEBOOT_SMALL_DISK=$(printf 'Z:%s' "$dir" | tr / '\\') "$run" "$tests" &
child=$!
wait "$child"
