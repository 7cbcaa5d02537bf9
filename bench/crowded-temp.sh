#!/bin/sh
# The launch in a crowded TEMP: a TEMP of 100,000 entries must not make every launch slow. Builds (Release)
# a bootstrapper around the 1 MiB payload and bench_crowded_temp.exe, fills a TEMP with entries as a
# long-used TEMP holds them, and times, interleaved, the removal of leftovers on it (as a run calls it), the
# launcher in it and the launcher in an empty TEMP (bench/crowded_temp.cpp). Prints the machine's facts and
# the figures.
#   bench/crowded-temp.sh
# Environment: KITEBOOT_CROWDED_BUILD_DIR (default build-crowded), KITEBOOT_CROWDED_ENTRIES (default 100000),
# KITEBOOT_CROWDED_ROUNDS (default 15).
# The crowded TEMP: of the entries, 100 directories and 1,000 files named zor<number>.tmp as a launcher names
# its directory (made by the user here, so none carries the secure directory's owner: every one is examined up
# to the bound and left), the rest files named as other programs name their temporary files.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_CROWDED_BUILD_DIR:-$top/build-crowded}"
entries="${KITEBOOT_CROWDED_ENTRIES:-100000}"
rounds="${KITEBOOT_CROWDED_ROUNDS:-15}"

"$top/tools/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKITEBOOT_BUILD_BENCH=ON -DKITEBOOT_BUILD_TESTS=OFF \
      -DKITEBOOT_BENCH_SIZES=1 -DKITEBOOT_BENCH_FLOOR_SIZE=1 >/dev/null
cmake --build "$build" --target bench_crowded_temp bench_kiteboot_1

work="$build/crowded-work"
rm -rf "$work"
mkdir -p "$work/crowded" "$work/empty"
python3 - "$work/crowded" "$entries" <<'PY'
import os, sys
directory, entries = sys.argv[1], int(sys.argv[2])
for i in range(100):
    os.mkdir(os.path.join(directory, "zor%d.tmp" % (100000 + i)))
for i in range(1000):
    open(os.path.join(directory, "zor%d.tmp" % (200000 + i)), "w").close()
for i in range(entries - 1100):
    name = ("tmp%05X.tmp", "~DF%04X.TMP", "{%08x-3f1c-4b6e-9a51-26d1c0e7a9b2}.tmp")[i % 3] % i
    open(os.path.join(directory, name), "w").close()
PY

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
trap '"$top/tools/wine-prefix.sh" stop' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$top/tools/wine-prefix.sh" start
windows_path() {
    printf 'Z:%s' "$1" | sed 's|/|\\|g'
}
echo "== $(date -u '+%Y-%m-%d %H:%M UTC'); $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores;" \
     "$(uname -sr); $(/usr/lib/wine/wine64 --version); $(findmnt -n -o FSTYPE -T "$work"); load $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/wine-run.sh" "$build/bin/bench_crowded_temp.exe" \
    --launcher "$(windows_path "$build/bin/bench-kiteboot-1m.exe")" --crowded "$(windows_path "$work/crowded")" \
    --empty "$(windows_path "$work/empty")" --rounds "$rounds" | tr -d '\r'
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$work"
