#!/bin/sh
# What the launcher asks of the system where Wine does not act on it, read from Wine's relay trace (every
# call into a Wine library, with its arguments) of one short run: the launcher started unelevated and
# silent, so it ends after its one record. On the launcher's thread, in this order:
# - the library search hardened (SetDefaultDllDirectories);
# - SetProcessMitigationPolicy looked up at run time and called with policy 16 (redirection trust) and a
#   4-byte policy (its flags, EnforceRedirectionTrust, are pinned by kiteboot_tests: the trace shows only
#   the pointer);
# - GetTempPath2W looked up at run time, and where the system has none (Wine 8) GetTempPathW called, where
#   it has one GetTempPath2W.
#   system_requests.sh <wine-run.sh> <limited_run.exe> <launcher.exe> <work dir>
set -u
wine_run=$1
limited_run=$2
launcher=$3
work=$4
rm -rf "$work"
mkdir -p "$work/temp"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

WINEDEBUG=+relay "$wine_run" "$limited_run" "$(windows_path "$work/temp")" "$(windows_path "$launcher")" /s \
    >"$work/exit.txt" 2>"$work/relay.txt" || fail "limited_run failed: $(cat "$work/exit.txt")"
[ "$(tr -d '\r\n' <"$work/exit.txt")" = 4294967295 ] || fail "exit code $(cat "$work/exit.txt"), expected -1"
echo "relay trace: $(wc -l <"$work/relay.txt") lines"

# The launcher's thread: the one that asks for the policy.
call='Call KERNEL32.SetProcessMitigationPolicy('
thread=$(grep -F "$call" "$work/relay.txt" | head -n 1 | cut -d: -f1)
[ -n "$thread" ] || fail "no call of SetProcessMitigationPolicy in the trace"
grep "^$thread:" "$work/relay.txt" >"$work/launcher.txt"

# The line number of the first line of the launcher's thread that holds text; 0 when none does.
first() {
    grep -n -F "$1" "$work/launcher.txt" | head -n 1 | cut -d: -f1 | grep . || echo 0
}
hardened=$(first 'Call KERNEL32.SetDefaultDllDirectories(00000800)')
asked=$(first "${call}00000010,")
lookup=$(first '"GetTempPath2W")')
[ "$hardened" -gt 0 ] || fail "the library search is not hardened"
[ "$asked" -gt 0 ] || fail "SetProcessMitigationPolicy is not called with policy 16: $(grep -F "$call" "$work/launcher.txt")"
grep -F "$call" "$work/launcher.txt" | grep -q '^[^(]*(00000010,[0-9a-f]*,00000004)' ||
    fail "the policy is not 4 bytes: $(grep -F "$call" "$work/launcher.txt")"
grep -q 'GetProcAddress([0-9a-f]*,[0-9a-f]* "SetProcessMitigationPolicy")' "$work/launcher.txt" ||
    fail "SetProcessMitigationPolicy is not bound at run time"
[ "$hardened" -lt "$asked" ] || fail "the policy is asked for before the library search is hardened"
[ "$lookup" -gt "$asked" ] || fail "GetTempPath2W is not looked up after the policy is asked for (lines $asked, $lookup)"
found=$(sed -n "$((lookup + 1)),\$p" "$work/launcher.txt" | grep -m 1 'Ret  KERNEL32.GetProcAddress()' |
    sed 's/.*retval=\([0-9a-f]*\).*/\1/')
if [ "$found" = 00000000 ]; then
    query='Call KERNEL32.GetTempPathW('
else
    query='Call KERNEL32.GetTempPath2W('
fi
[ "$(first "$query")" -gt "$lookup" ] || fail "no ${query#Call } after the lookup of GetTempPath2W (it returned $found)"
echo "SetDefaultDllDirectories at $hardened, SetProcessMitigationPolicy(16, ..., 4) at $asked," \
    "GetTempPath2W looked up at $lookup (found: $found), then ${query#Call KERNEL32.}...)"
