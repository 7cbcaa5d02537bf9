#!/bin/sh
# Wrapping against copying: kiteboot-wrap on a payload of 151 MiB against a plain copy (cp) of the same
# file, interleaved, each run into a fresh output (no file replaced), the page cache warm; and the peak
# memory of kiteboot-wrap at 1, 151 and 512 MiB. Part of bench/run.sh; also runs on its own in any build
# tree of the cross build:
#   bench/wrap.sh <build dir> <results dir> [rounds]
# Payloads are taken from <build>/bin/bench-payload-<n>m.exe, or made there from the demo installer.
# Writes <results>/wrap.tsv (one line per run) and prints the medians.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$1
results=$2
rounds=${3:-11}
wrap="$build/host-tools/kiteboot-wrap"
stub="$build/bin/kiteboot-stub.exe"
work="$build/bench-wrap"
mkdir -p "$results" "$work"
for tool in "$wrap" "$stub"; do
    [ -e "$tool" ] || { echo "bench/wrap.sh: $tool is missing; build $build first" >&2; exit 1; }
done

payload() {
    file="$build/bin/bench-payload-$1m.exe"
    [ -e "$file" ] || python3 "$top/bench/pad_payload.py" "$build/bin/demo-installer.exe" "$file" "$1"
    echo "$file"
}

# measure <case> <size> <command...>: one run under /usr/bin/time into a fresh output.
measure() {
    name=$1
    size=$2
    shift 2
    rm -f "$work/out.exe"
    sync
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null
    printf '%s\t%s\t%s\t%s\n' "$name" "$size" $(cat "$work/time.txt") >>"$results/wrap.tsv"
}

printf 'case\tpayload_mib\tseconds\tmax_rss_kib\n' >"$results/wrap.tsv"
big=$(payload 151)
cat "$big" "$stub" "$wrap" >/dev/null  # warm the page cache
for round in $(seq "$rounds"); do
    measure copy 151 cp "$big" "$work/out.exe"
    measure wrap 151 "$wrap" --payload "$big" --output "$work/out.exe" --stub "$stub"
done
for size in 1 512; do
    file=$(payload $size)
    cat "$file" >/dev/null
    measure wrap $size "$wrap" --payload "$file" --output "$work/out.exe" --stub "$stub"
done
rm -rf "$work"

awk -F'\t' 'NR > 1 { key = $1 "-" $2; n[key]++; t[key, n[key]] = $3; if ($4 > m[key]) m[key] = $4 }
    END {
        for (key in n) {
            count = n[key]
            for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++)
                if (t[key, j] < t[key, i]) { x = t[key, i]; t[key, i] = t[key, j]; t[key, j] = x }
            median = count % 2 ? t[key, (count + 1) / 2] : (t[key, count / 2] + t[key, count / 2 + 1]) / 2
            printf "%s: %d runs, median %.3f s, peak RSS %d KiB\n", key, count, median, m[key]
        }
    }' "$results/wrap.tsv" | sort
