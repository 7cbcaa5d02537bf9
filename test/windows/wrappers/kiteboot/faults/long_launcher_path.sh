#!/bin/sh
# Starts a launcher whose own path is longer than MAX_PATH (260 characters): it must still find its own
# file, extract its payload under its own name, run it with its arguments and remove the directory.
# A Windows CreateProcessW refuses such a path, so the launcher is started from the Linux side.
#   long_launcher_path.sh <wine-run.sh> <probe_launcher.exe> <scratch directory>
set -u
run=$1
launcher=$2
work=$3

. "$(dirname "$0")/../../../../support/long_path.sh"
# The value of the first report field named $1 (values here hold no line breaks).
field() { awk -v key="$1" 'found { print; exit } $1 == key { found = 1 }' "$work/report.txt"; }
fail() { echo "$*"; exit 1; }

rm -rf "$work"
dir=$(longDirectory "$work" 320 60) || fail "cannot make the long directory"
cp "$launcher" "$dir/setup.exe"
echo "launcher path: $(windowsPath "$dir/setup.exe" | wc -c) characters"

KITEBOOT_PROBE_REPORT=$(windowsPath "$work/report.txt") KITEBOOT_PROBE_EXIT=42 \
    "$run" "$dir/setup.exe" /s "second arg"
code=$?
[ $code -eq 42 ] || fail "exit code $code, expected the payload's 42"
[ -f "$work/report.txt" ] || fail "the payload did not run"

payload=$(field module_path)
printf "payload ran as: %s\n" "$payload"
printf "%s\n" "$payload" | grep -Eq '\\zor-?[0-9]+\.tmp\\setup\.exe$' || fail "payload not extracted as setup.exe in a zor directory"
arguments=$(awk '$1 == "arg" { getline; print }' "$work/report.txt")
expected=$(printf '%s\n/s\nsecond arg' "$payload")
[ "$arguments" = "$expected" ] || fail "payload arguments: [$arguments]"

secure=$("$run" winepath -u "${payload%\\setup.exe}" 2>/dev/null)
[ -n "$secure" ] || fail "cannot translate the secure directory's path"
[ ! -e "$secure" ] || fail "secure directory left behind: $secure"
echo "secure directory removed"
rm -rf "$work"
