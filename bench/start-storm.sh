#!/bin/sh
# The start storm: under Wine, starts an empty program many times with many starts in flight while both
# cores are kept busy, and counts how the starts end, with Wine's preloader and without it, chunk by chunk
# in turn. It measures Wine's occasional ERROR_INTERNAL_ERROR (1359) at process start.
#   bench/start-storm.sh
# Environment: KITEBOOT_STORM_STARTS (starts per mode, default 20000), KITEBOOT_STORM_CHUNK (default
# 2000), KITEBOOT_STORM_IN_FLIGHT (default 64), KITEBOOT_STORM_BUSY (busy loops beside it, default 2),
# KITEBOOT_STORM_MODES (default "preloader no-preloader"), KITEBOOT_STORM_BUILD_DIR (default build-storm).
# Prints one line per chunk and a total per mode.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_STORM_BUILD_DIR:-$top/build-storm}"
starts="${KITEBOOT_STORM_STARTS:-20000}"
chunk="${KITEBOOT_STORM_CHUNK:-2000}"
in_flight="${KITEBOOT_STORM_IN_FLIGHT:-64}"
busy="${KITEBOOT_STORM_BUSY:-2}"
modes="${KITEBOOT_STORM_MODES:-preloader no-preloader}"

"$top/tools/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKITEBOOT_BUILD_BENCH=ON -DKITEBOOT_BUILD_TESTS=OFF \
      -DKITEBOOT_BENCH_SIZES=1 -DKITEBOOT_BENCH_FLOOR_SIZE=1 >/dev/null
cmake --build "$build" --target bench_start_storm bench_empty

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
loops=""
stop() {
    [ -z "$loops" ] || kill $loops 2>/dev/null || true
    "$top/tools/wine-prefix.sh" stop
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$top/tools/wine-prefix.sh" start
i=0
while [ "$i" -lt "$busy" ]; do
    (while :; do :; done) &
    loops="$loops $!"
    i=$((i + 1))
done

# Wine's loader runs the preloader that lies beside it, and so does every process Wine starts, wherever
# it finds the loader. A copy of the loader in a tree of its own, whose other folders lead to the system's,
# has none beside it: the starts of the no-preloader mode go through that copy.
bare="$build/no-preloader/lib/wine"
mkdir -p "$bare"
cp /usr/lib/wine/wine64 "$bare/wine64"
ln -sfn /usr/lib/x86_64-linux-gnu "$build/no-preloader/lib/x86_64-linux-gnu"
ln -sfn /usr/share "$build/no-preloader/share"

program=$(echo "$build/bin/bench_empty.exe" | sed 's|/|\\|g; s|^|Z:|')
echo "== $starts starts per mode ($modes), $in_flight in flight, $busy busy loops; $(uname -r), $(nproc) cores"
results="$build/storm.tsv"
: >"$results"
done_starts=0
while [ "$done_starts" -lt "$starts" ]; do
    for mode in $modes; do
        if [ "$mode" = no-preloader ]; then loader="$bare/wine64"; else loader="$build/wine-run.sh"; fi
        line=$("$loader" "$build/bin/bench_start_storm.exe" "$program" "$chunk" "$in_flight" |
               head -n 1 | tr -d '\r')
        echo "$(date -u +%T) $mode: $line"
        printf '%s\t%s\n' "$mode" "$line" >>"$results"
    done
    done_starts=$((done_starts + chunk))
done
echo "== totals"
awk -F'\t' '{ split($2, f, " "); starts[$1] += f[2]; failed[$1] += f[6]; internal[$1] += f[8] }
    END { for (m in starts) printf "%s: %d starts, %d failed, %d of them with 1359\n", m, starts[m], failed[m], internal[m] }' \
    "$results"
