#!/bin/sh
# The main job: builds the bootstrapper around the demo installer and runs it under Wine with the given
# arguments, then shows its exit code and the log records of that run.
#   tools/run-demo.sh [arguments for the installer...]     e.g. tools/run-demo.sh /s /exitcode=7
# KITEBOOT_PAYLOAD=<installer.exe> wraps another installer instead of the demo.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_BUILD_DIR:-$top/build}"
"$top/tools/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DKITEBOOT_PAYLOAD="${KITEBOOT_PAYLOAD:-}" >/dev/null
# With the release files, so that `cd build && cpack` makes the release packages right after this.
cmake --build "$build" --target kiteboot runner kiteboot_release_files

export WINEPREFIX="$build/wineprefix"
# The Wine server started here, and Wine's services with it, run until the server is stopped: stopped on
# every way out, unless a server of this prefix was running before (someone else's).
if ! "$top/tools/wine-prefix.sh" running; then
    trap '"$top/tools/wine-prefix.sh" stop' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
fi
"$top/tools/wine-prefix.sh" start
# A temporary directory of this run's own, so that the log shows this run only.
temp="$build/demo-temp"
rm -rf "$temp" && mkdir -p "$temp"
echo "== kiteboot.exe $*"
status=0
"$build/wine-run.sh" "$build/bin/runner.exe" --temp "Z:$(echo "$temp" | sed 's|/|\\|g')" "$build/bin/kiteboot.exe" "$@" || status=$?
echo "== log records of this run ($temp/morvane.log):"
cat "$temp/morvane.log" 2>/dev/null | tr -d '\r' || echo "(none)"
left=$(find "$temp" -mindepth 1 -name 'zor*' | wc -l)
echo "== entries named zor* left in the temporary directory: $left"
exit $status
