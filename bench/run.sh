#!/bin/sh
# The launch benchmark, in one command from a clean clone:
#   bench/run.sh
# Builds (Release) bootstrappers around payloads of 1, 16, 64, 151 and 512 MiB, the minimal launcher, the
# copy and empty programs and the driver; times wrapping the 151 MiB bootstrapper against copying its
# payload (bench/wrap.sh); then, under Wine with
# one persistent Wine server, times every case in interleaved rounds from inside Wine, samples the
# launcher's private memory, and writes the report (summary.md) and the plot (overhead.png) to
# <build>/bench-results.
#
# Environment: KITEBOOT_BENCH_BUILD_DIR (default build-bench), KITEBOOT_BENCH_ROUNDS (measured rounds,
# default 25), KITEBOOT_BENCH_WARMUP (default 3), KITEBOOT_BENCH_MEMORY_ROUNDS (default 5),
# KITEBOOT_BENCH_IDLE_ROUNDS (rounds at 151 MiB with 3 s of idleness before each run, default 5; 0: none),
# KITEBOOT_BENCH_SETTLE_MS (pause before each timed run, default 200: without it a start overlaps the end
# of the previous run and process starts vary between 13 and 30 ms).
set -eu
export PYTHONDONTWRITEBYTECODE=1  # no __pycache__ in the source tree
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_BENCH_BUILD_DIR:-$top/build-bench}"
rounds="${KITEBOOT_BENCH_ROUNDS:-25}"
warmup="${KITEBOOT_BENCH_WARMUP:-3}"
memory_rounds="${KITEBOOT_BENCH_MEMORY_ROUNDS:-5}"
idle_rounds="${KITEBOOT_BENCH_IDLE_ROUNDS:-5}"
settle_ms="${KITEBOOT_BENCH_SETTLE_MS:-200}"
sizes="1 16 64 151 512"
floor_size=151
results="$build/bench-results"

"$top/tools/setup.sh"
if [ ! -x /usr/bin/time ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends time >/dev/null
fi

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKITEBOOT_BUILD_BENCH=ON -DKITEBOOT_BUILD_TESTS=OFF \
      -DKITEBOOT_BENCH_SIZES="$(echo $sizes | tr ' ' ';')" -DKITEBOOT_BENCH_FLOOR_SIZE=$floor_size >/dev/null
cmake --build "$build" --target bench_all

rm -rf "$results"
mkdir -p "$results/logs"

# Making the bootstrapper: kiteboot-wrap against a plain copy of the payload (bench/wrap.sh); its runs
# at the floor size are the build step of the report.
"$top/bench/wrap.sh" "$build" "$results"
printf 'step\trepetition\tseconds\tmax_rss_kib\n' >"$results/build.tsv"
awk -F'\t' -v size=$floor_size '$1 == "wrap" && $2 == size { printf "kiteboot-wrap\t%d\t%s\t%s\n", ++n, $3, $4 }' \
    "$results/wrap.tsv" >>"$results/build.tsv"

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
holder=""
cleanup() {
    [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
    "$top/tools/wine-prefix.sh" stop
}
trap cleanup EXIT
"$top/tools/wine-prefix.sh" start

# Every program and payload stays in the page cache for the whole measurement (see hold_in_memory.py).
rm -f "$results/held"
python3 "$top/bench/hold_in_memory.py" "$results/held" "$build"/bin/bench* &
holder=$!
while [ ! -s "$results/held" ]; do
    kill -0 "$holder" 2>/dev/null || { echo "bench/run.sh: cannot hold the files in memory" >&2; exit 1; }
    sleep 0.2
done

windows_path() {
    printf 'Z:%s' "$1" | sed 's|/|\\|g'
}
bin=$(windows_path "$build/bin")
plan="$results/plan.tsv"
{
    printf 'empty\t%s\\bench_empty.exe\n' "$bin"
    printf 'floor-%s\t%s\\bench_floor.exe\n' $floor_size "$bin"
    printf 'floor-pieces-%s\t%s\\bench_floor_pieces.exe\n' $floor_size "$bin"
    printf 'floor-file-%s\t%s\\bench_floor_file.exe\n' $floor_size "$bin"
    printf 'kiteboot-aligned-%s\t%s\\bench-kiteboot-aligned-%sm.exe\n' $floor_size "$bin" $floor_size
    for size in $sizes; do
        printf 'payload-%s\t%s\\bench-payload-%sm.exe\n' $size "$bin" $size
        printf 'kiteboot-%s\t%s\\bench-kiteboot-%sm.exe\n' $size "$bin" $size
        printf 'copy-%s\t%s\\bench_copy.exe\t"%s\\bench-payload-%sm.exe"\n' $size "$bin" "$bin" $size
    done
} >"$plan"
grep -E '^(empty|payload-|floor-|kiteboot-)' "$plan" >"$results/memory-plan.tsv"
grep -E "^(empty|[a-z-]+-$floor_size)\b" "$plan" >"$results/idle-plan.tsv"

refaults() {
    awk '/^(workingset_refault_file|pgmajfault) / { sum += $2 } END { print sum }' /proc/vmstat
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
refaults_before=$(refaults)
cpu_before=$(awk '/^cpu / { print $2 + $3 + $4 + $6 + $7 + $8, $5 }' /proc/stat)
started=$(date +%s)
echo "== timing: $rounds rounds after $warmup warm-up rounds"
"$build/wine-run.sh" "$build/bin/bench_driver.exe" --plan "$(windows_path "$plan")" \
    --work "$(windows_path "$build/bench-work")" --out "$(windows_path "$results/runs.tsv")" \
    --logs "$(windows_path "$results/logs")" --rounds "$rounds" --warmup "$warmup" --pause-ms "$settle_ms"
elapsed=$(($(date +%s) - started))
cpu_after=$(awk '/^cpu / { print $2 + $3 + $4 + $6 + $7 + $8, $5 }' /proc/stat)
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
refaults_during=$(($(refaults) - refaults_before))
echo "== private memory: $memory_rounds rounds"
"$build/wine-run.sh" "$build/bin/bench_driver.exe" --plan "$(windows_path "$results/memory-plan.tsv")" \
    --work "$(windows_path "$build/bench-work")" --out "$(windows_path "$results/memory.tsv")" \
    --rounds "$memory_rounds" --warmup 1 --memory

if [ "$idle_rounds" -gt 0 ]; then
    echo "== idle machine: $idle_rounds rounds at $floor_size MiB, 3 s of idleness before each run"
    "$build/wine-run.sh" "$build/bin/bench_driver.exe" --plan "$(windows_path "$results/idle-plan.tsv")" \
        --work "$(windows_path "$build/bench-work")" --out "$(windows_path "$results/idle.tsv")" \
        --rounds "$idle_rounds" --warmup 1 --pause-ms 3000
fi

busy=$(echo "$cpu_before $cpu_after" | awk '{ busy = $3 - $1; idle = $4 - $2; printf "%.0f", 100 * busy / (busy + idle) }')
disk_device=$(findmnt -n -o SOURCE -T "$build")
{
    printf 'CPU\t%s, %s cores\n' "$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)" "$(nproc)"
    printf 'RAM\t%s MiB\n' "$(awk '/MemTotal/ { printf "%d", $2 / 1024 }' /proc/meminfo)"
    printf 'Disk\t%s, %s (%s), %s\n' "$disk_device" "$(findmnt -n -o FSTYPE -T "$build")" \
        "$(findmnt -n -o OPTIONS -T "$build")" "$(lsblk -d -n -o SIZE,ROTA,MODEL "$disk_device" 2>/dev/null |
        awk '{ printf "%s, %s", $1, ($2 == 1 ? "rotational" : "not rotational") }')"
    printf 'Kernel\t%s\n' "$(uname -sr)"
    printf 'Wine\t%s\n' "$(/usr/lib/wine/wine64 --version)"
    printf 'Compiler\t%s\n' "$(x86_64-w64-mingw32-g++-win32 --version | head -n 1)"
    printf 'Date\t%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'Source\t%s\n' "$(git -C "$top" describe --always --dirty 2>/dev/null || echo unknown)"
    printf 'Timing run\t%s rounds of %s cases after %s warm-up rounds, %s ms pause before each run, %s s\n' \
        "$rounds" "$(grep -c . "$plan")" "$warmup" "$settle_ms" "$elapsed"
    printf 'Load average (1, 5, 15 min)\tbefore %s, after %s\n' "$load_before" "$load_after"
    printf 'CPU busy during the timing run\t%s %% of both cores (the benchmark itself included)\n' "$busy"
    printf 'Page-cache refaults during the timing run\t%s pages\n' "$refaults_during"
} >"$results/facts.tsv"

python3 "$top/bench/analyze.py" --results "$results" --floor-size $floor_size
gnuplot -e "data='$results/overhead.dat'; output='$results/overhead.png'" "$top/bench/overhead.gp"
echo "== report: $results/summary.md, plot: $results/overhead.png"
