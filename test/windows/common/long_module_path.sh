#!/bin/sh
# Starts module_probe from a directory whose path is longer than 400 characters and checks that the
# module queries give the executable's path whole. Wine runs such a program when it is started from the
# Linux side; a Windows CreateProcessW refuses an application path longer than MAX_PATH.
#   long_module_path.sh <wine-run.sh> <module_probe.exe> <scratch directory>
set -eu
run=$1
probe=$2
work=$3

. "$(dirname "$0")/../../support/long_path.sh"

rm -rf "$work"
dir=$(longDirectory "$work" 400 100)
cp "$probe" "$dir/module_probe.exe"
"$run" "$dir/module_probe.exe" "$(windowsPath "$work/answers.txt")"

expected=$(windowsPath "$dir/module_probe.exe")
status=0
for line in 1 2 5; do
    answer=$(sed -n "${line}p" "$work/answers.txt" | tr -d '\r')
    if [ "$answer" != "$expected" ]; then
        printf "answer %s: [%s]\n" "$line" "$answer"
        printf "expected: [%s]\n" "$expected"
        status=1
    fi
done
[ $status -eq 0 ] && echo "module path of ${#expected} characters read whole" && rm -rf "$work"
exit $status
