#!/bin/sh
# An installer of 3 GiB, carried after the bootstrapper's image: wrapping it against copying it (cp), and
# launching the bootstrapper against the floor (one process start plus one copy of the same bytes),
# interleaved, with peak memory. Not part of bench/run.sh (it needs about 12 GB of free disk at its peak):
#   bench/appended.sh
# Environment: KITEBOOT_BENCH_BUILD_DIR (default build-bench), KITEBOOT_APPENDED_ROUNDS (default 5),
# KITEBOOT_APPENDED_MIB (the payload's size, default 3072), KITEBOOT_APPENDED_PAUSE_MS (the pause before
# each launch, default 20000: 3 GiB written by one run are still being written back to the disk when the
# next starts, and a run that starts during another's writeback is throttled by it; after the pause each
# run finds the page cache clean, whatever ran before it).
#
# The payload is the empty program followed by pseudo-random bytes written out in full (bench/pad_payload.py),
# not a sparse hole, which would cost less to read than an installer's data. Every file a part reads is
# read once before its first round, so all runs find the page cache warm. Writes <build>/appended-results/*.tsv and
# prints the medians; the launch cases run inside Wine under bench/driver.cpp, which checks every run's
# exit code and that it left nothing behind but the launcher's log.
set -eu
export PYTHONDONTWRITEBYTECODE=1
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KITEBOOT_BENCH_BUILD_DIR:-$top/build-bench}"
rounds="${KITEBOOT_APPENDED_ROUNDS:-5}"
mib="${KITEBOOT_APPENDED_MIB:-3072}"
pause_ms="${KITEBOOT_APPENDED_PAUSE_MS:-20000}"
results="$build/appended-results"
work="$build/appended-work"

"$top/tools/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKITEBOOT_BUILD_BENCH=ON -DKITEBOOT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_driver bench_empty bench_copy kiteboot_stub kiteboot_wrap_host

rm -rf "$results" "$work"
mkdir -p "$results" "$work"
wrap="$build/host-tools/kiteboot-wrap"
stub="$build/bin/kiteboot-stub.exe"
payload="$build/bin/bench-payload-${mib}m.exe"
bootstrapper="$build/bin/bench-appended-${mib}m.exe"
[ -e "$payload" ] || python3 "$top/bench/pad_payload.py" "$build/bin/bench_empty.exe" "$payload" "$mib"
"$wrap" --payload "$payload" --output "$bootstrapper" --stub "$stub" >/dev/null
"$wrap" --inspect "$bootstrapper" | sed -n 2p | grep -q "after the image" ||
    { echo "bench/appended.sh: the bootstrapper does not carry its payload after the image" >&2; exit 1; }

facts() {
    printf 'Date\t%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'CPU\t%s, %s cores\n' "$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)" "$(nproc)"
    printf 'RAM\t%s MiB\n' "$(awk '/MemTotal/ { printf "%d", $2 / 1024 }' /proc/meminfo)"
    printf 'Disk\t%s, %s\n' "$(findmnt -n -o SOURCE -T "$build")" "$(findmnt -n -o FSTYPE -T "$build")"
    printf 'Kernel\t%s\n' "$(uname -sr)"
    printf 'Wine\t%s\n' "$(/usr/lib/wine/wine64 --version)"
    printf 'Source\t%s\n' "$(git -C "$top" describe --always --dirty 2>/dev/null || echo unknown)"
}
cpu_busy() {
    awk '/^cpu / { print $2 + $3 + $4 + $6 + $7 + $8, $5 }' /proc/stat
}
# A page cache full of earlier runs' files made every copy several times slower on the virtual machine this
# was measured on (cp of 3 GiB: 1.6 s after emptying it, 6 to 9 s before), so it is emptied before each
# part where the system allows it (root), and then filled with the files that part reads.
fresh_page_cache() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then echo 3 >/proc/sys/vm/drop_caches; fi
    cat "$@" >/dev/null
}
facts >"$results/facts.tsv"
if [ -w /proc/sys/vm/drop_caches ]; then page_cache="emptied before each part"; else page_cache="not emptied (not root)"; fi
fresh_page_cache "$payload" "$stub" "$wrap"  # the page cache warm for every run

# Wrapping against copying, interleaved; a fresh output each time, after sync. kiteboot-wrap flushes its
# output to the disk before it renames it into place; cp does not, so the copy is also timed with the
# same flush (coreutils' sync of the one file: fsync).
measure() {
    name=$1
    shift
    rm -f "$work/out.exe"
    sync
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null
    read -r seconds rss <"$work/time.txt"
    printf '%s\t%s\t%s\n' "$name" "$seconds" "$rss" >>"$results/wrap.tsv"
}
printf 'case\tseconds\tmax_rss_kib\n' >"$results/wrap.tsv"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cpu_before=$(cpu_busy)
for _ in $(seq "$rounds"); do
    measure copy cp "$payload" "$work/out.exe"
    # shellcheck disable=SC2016 # expanded by the inner shell
    measure copy-fsync sh -c 'cp "$1" "$2" && sync "$2"' sh "$payload" "$work/out.exe"
    measure wrap "$wrap" --payload "$payload" --output "$work/out.exe" --stub "$stub"
done
rm -f "$work/out.exe"

fresh_page_cache "$payload" "$bootstrapper" "$stub"

# Launching, inside Wine: the bootstrapper, the payload started directly, the system's copy of the payload
# into a new directory in TEMP (deleted again), and an empty program.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
trap '"$top/tools/wine-prefix.sh" stop' EXIT
"$top/tools/wine-prefix.sh" start
windows_path() {
    printf 'Z:%s' "$1" | sed 's|/|\\|g'
}
{
    printf 'empty\t%s\n' "$(windows_path "$build/bin/bench_empty.exe")"
    printf 'payload\t%s\n' "$(windows_path "$payload")"
    printf 'copy\t%s\t"%s"\n' "$(windows_path "$build/bin/bench_copy.exe")" "$(windows_path "$payload")"
    printf 'kiteboot-appended\t%s\t/s\n' "$(windows_path "$bootstrapper")"
} >"$results/plan.tsv"
"$build/wine-run.sh" "$build/bin/bench_driver.exe" --plan "$(windows_path "$results/plan.tsv")" \
    --work "$(windows_path "$work")" --out "$(windows_path "$results/runs.tsv")" \
    --rounds "$rounds" --warmup 1 --pause-ms "$pause_ms"
grep -E '^kiteboot' "$results/plan.tsv" >"$results/memory-plan.tsv"
"$build/wine-run.sh" "$build/bin/bench_driver.exe" --plan "$(windows_path "$results/memory-plan.tsv")" \
    --work "$(windows_path "$work")" --out "$(windows_path "$results/memory.tsv")" --rounds 2 --warmup 0 --memory \
    --pause-ms "$pause_ms"
cpu_after=$(cpu_busy)
{
    printf 'Load average (1, 5, 15 min)\tbefore %s, after %s\n' "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)"
    printf 'CPU busy during the run\t%s %% of both cores (the benchmark itself included)\n' \
        "$(echo "$cpu_before $cpu_after" | awk '{ b = $3 - $1; i = $4 - $2; printf "%.0f", 100 * b / (b + i) }')"
    printf 'Pause before each launch\t%s ms\n' "$pause_ms"
    printf 'Page cache\t%s\n' "$page_cache"
    printf 'Payload\t%s MiB of pseudo-random bytes after the empty program\n' "$mib"
    printf 'Bootstrapper\t%s bytes\n' "$(stat -c %s "$bootstrapper")"
} >>"$results/facts.tsv"
rm -rf "$work"

python3 - "$results" <<'PY'
import statistics, sys
results = sys.argv[1]
def rows(name):
    lines = open(f"{results}/{name}").read().split("\n")
    return [line.split("\t") for line in lines[1:] if line]
wrap = rows("wrap.tsv")
med = lambda xs: statistics.median(xs)
copy_s = med([float(r[1]) for r in wrap if r[0] == "copy"])
fsync_s = med([float(r[1]) for r in wrap if r[0] == "copy-fsync"])
wrap_s = med([float(r[1]) for r in wrap if r[0] == "wrap"])
wrap_rss = max(int(r[2]) for r in wrap if r[0] == "wrap")
runs = rows("runs.tsv")
launch = {label: med([float(r[2]) for r in runs if r[1] == label]) for label in {r[1] for r in runs}}
floor = launch["copy"] + launch["payload"]
memory = rows("memory.tsv")
private = max(int(r[6]) for r in memory) >> 10
working = max(int(r[7]) for r in memory) >> 10
print("".join(f"{line}" for line in open(f"{results}/facts.tsv")))
print(f"wrap: median {wrap_s:.2f} s against cp {copy_s:.2f} s: {wrap_s / copy_s:.2f}x, against cp and fsync "
      f"{fsync_s:.2f} s: {wrap_s / fsync_s:.2f}x (target 1.5x); peak RSS {wrap_rss} KiB")
for label in sorted(launch):
    print(f"launch {label}: median {launch[label]:.0f} ms over {sum(r[1] == label for r in runs)} runs")
print(f"launch: kiteboot {launch['kiteboot-appended']:.0f} ms against the floor (copy + payload start) "
      f"{floor:.0f} ms: {launch['kiteboot-appended'] / floor:.3f}x (target 1.15x)")
print(f"launcher memory: private peak {private} KiB, working set peak {working} KiB")
PY
