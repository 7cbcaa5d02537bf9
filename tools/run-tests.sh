#!/bin/sh
# Builds everything with warnings as errors, checks the formatting and runs every test under Wine.
#   tools/run-tests.sh [ctest arguments...]      e.g. tools/run-tests.sh -R foundation
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_BUILD_DIR:-$top/build-tests}"
"$top/tools/setup.sh"
"$top/tools/check-format.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DKITEBOOT_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build"
# The tests' Wine server is stopped by their last test; an interrupted run never gets there.
if ! WINEPREFIX="$build/wineprefix" "$top/tools/wine-prefix.sh" running; then
    trap 'WINEPREFIX="$build/wineprefix" "$top/tools/wine-prefix.sh" stop' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
fi
cd "$build"
ctest --output-on-failure "$@"
