#!/bin/sh
# Fails when a C++ file of the project differs from what .clang-format makes of it.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
files=$(git ls-files '*.cpp' '*.h')
[ -n "$files" ] || exit 0
# shellcheck disable=SC2086
if ! clang-format --dry-run --Werror $files; then
    echo "Formatting differs; run: clang-format -i \$(git ls-files '*.cpp' '*.h')" >&2
    exit 1
fi
