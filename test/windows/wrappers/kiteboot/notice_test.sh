#!/bin/sh
# The administrator notice on a virtual X display: a launcher started without elevation and without a
# silent switch shows "Execution Error", logs the refusal only after the box was closed, and exits with -1.
#   notice_test.sh <build dir> <screenshot.png>
# Exit 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
set -u
build=$(cd "$1" && pwd)
shot=$2
caption="Execution Error"
refusal="Administrator privileges are required to run this application, exiting."

for tool in Xvfb xdotool import xdpyinfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (apt-get install xvfb xdotool imagemagick x11-utils)"
        exit 77
    fi
done

work=$(mktemp -d /tmp/kiteboot-notice.XXXXXX)
xvfb_pid=
run_pid=
export WINEPREFIX="$build/wineprefix-notice"
cleanup() {
    [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
    /usr/lib/wine/wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

# A free display: the first number without a lock file whose server comes up.
display=
for number in $(seq 90 140); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
    Xvfb ":$number" -screen 0 640x360x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        xdpyinfo -display ":$number" >/dev/null 2>&1 && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    # The display is ours only when our server holds its lock: another run may have taken the number.
    if [ "$(tr -d ' \n' <"/tmp/.X$number-lock" 2>/dev/null)" = "$xvfb_pid" ] &&
        xdpyinfo -display ":$number" >/dev/null 2>&1; then
        display=":$number"
        break
    fi
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=
done
[ -n "$display" ] || { echo "SKIP: no X display could be started"; exit 77; }
export DISPLAY="$display"

# A prefix of its own, so this display never meets the Wine server of the other tests. Wine draws the
# window frame itself (no window manager runs here), so the caption shows in the screenshot.
"$build/wine-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    fail "cannot prepare the Wine prefix $WINEPREFIX"

temp="$work/temp"
mkdir "$temp"
"$build/wine-run.sh" "$build/bin/limited_run.exe" "$(windows_path "$temp")" \
    "$(windows_path "$build/bin/probe_launcher.exe")" INSTALLDIR=C:\\App >"$work/exit.txt" 2>"$work/run.log" &
run_pid=$!

window=
for _ in $(seq 300); do
    window=$(xdotool search --name "^$caption\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$run_pid" 2>/dev/null || fail "the launcher ended without showing the notice: $(cat "$work/exit.txt" "$work/run.log")"
    sleep 0.1
done
[ -n "$window" ] || fail "no window named '$caption' appeared"
xdotool windowfocus --sync "$window" 2>/dev/null
sleep 1  # let the box finish drawing
import -display "$display" -window root "$shot" || fail "cannot take the screenshot"
echo "screenshot: $shot"

# While the box is open nothing has been logged yet.
if [ -f "$temp/morvane.log" ] && grep -qF "$refusal" "$temp/morvane.log"; then
    fail "the refusal was logged before the notice was closed"
fi
kill -0 "$run_pid" 2>/dev/null || fail "the launcher did not wait for the notice"

xdotool windowfocus --sync "$window" key Return || fail "cannot press Enter in the notice"
wait "$run_pid"
run_status=$?
run_pid=
[ "$run_status" -eq 0 ] || fail "limited_run failed: $(cat "$work/run.log")"
exit_code=$(tr -d '\r\n' <"$work/exit.txt")
[ "$exit_code" = 4294967295 ] || fail "exit code $exit_code, expected 4294967295 (-1)"

# One record, the refusal, and nothing else in TEMP.
[ "$(ls "$temp")" = morvane.log ] || fail "TEMP holds: $(ls "$temp")"
records=$(grep -c '^\[' "$temp/morvane.log")
[ "$records" -eq 1 ] || fail "$records records logged: $(cat "$temp/morvane.log")"
printf '\tERROR: %s\r\n' "$refusal" >"$work/expected.txt"
tail -n 1 "$temp/morvane.log" | cmp -s - "$work/expected.txt" || fail "unexpected log: $(cat "$temp/morvane.log")"
grep -q "^\[.*, probe_launcher.exe (PID: [0-9]*, TID: [0-9]*), kiteboot.cpp:[0-9]* (\`anonymous-namespace'::run)\]" \
    "$temp/morvane.log" || fail "unexpected record header: $(head -n 1 "$temp/morvane.log")"
echo "notice shown, closed with Enter, refusal logged afterwards, exit code -1"
