#!/bin/sh
# Fuzzes kiteboot-wrap's readers with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer: the
# stub's reader (headers, section table, resource tree, layout) starting from the real stub, and the icon's
# reader (check, icon resources) starting from kiteboot's icon and icons of every size and depth. One
# reader after the other, one process each, so one core is used. Any build tree of the cross build:
#   bench/fuzz.sh [build dir] [seconds per reader]        (defaults: build-tests, 600)
# Writes <build>/fuzz/<reader>.log and, for a finding, <build>/fuzz/findings/<reader>-*; prints per reader
# the executions, the coverage (libFuzzer's cov: edges, ft: features), the corpus and the findings.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-tests}
seconds=${2:-600}
stub="$build/bin/kiteboot-stub.exe"
work="$build/fuzz"
[ -e "$stub" ] || { echo "bench/fuzz.sh: $stub is missing; build $build first" >&2; exit 1; }
command -v clang++ >/dev/null || { echo "bench/fuzz.sh: clang++ is missing (tools/setup.sh installs it)" >&2; exit 1; }

cmake -S "$top/test/tools/kiteboot-wrap/sanitized" -B "$work/build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$work/build" --target fuzz_stub fuzz_icon >/dev/null

# Seeds: the stub as built; the kite icon, icons made in every depth, and one holding a PNG image.
rm -rf "$work/seeds" "$work/corpus" "$work/findings"
mkdir -p "$work/seeds/stub" "$work/seeds/icon" "$work/corpus/stub" "$work/corpus/icon" "$work/findings"
cp "$stub" "$work/seeds/stub/"
cp "$top/assets/kiteboot.ico" "$work/seeds/icon/"
for depth in 4 8 32; do
    python3 "$top/tools/make-icon.py" --sizes 32,16 --depths $depth "$work/seeds/icon/kite-$depth.ico"
done
python3 - "$work/seeds/icon/png.ico" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + b"\x20\x80\xe0\xff" * 16 for _ in range(16))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
open(sys.argv[1], "wb").write(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(png), 22) + png)
PY

echo "reader	seconds	executions	exec/s	cov	ft	corpus	findings"
# libFuzzer cuts inputs to 1 MiB unless told: the stub's resource section lies beyond.
stub_size=$(wc -c <"$stub")
for reader in stub icon; do
    log="$work/$reader.log"
    status=0
    longest=""
    [ "$reader" = icon ] || longest="-max_len=$stub_size"
    "$work/build/fuzz_$reader" $longest -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/findings/$reader-" "$work/corpus/$reader" "$work/seeds/$reader" >"$log" 2>&1 ||
        status=$?
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corpus=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p')
    findings=$(find "$work/findings" -name "$reader-*" | wc -l)
    echo "$reader	$seconds	${executions:-?}	${rate:-?}	${cov:-?}	${ft:-?}	${corpus:-?}	$findings (exit $status)"
done
