#!/bin/sh
# Installs what building and testing kiteboot needs on Debian, and nothing when it is all there.
set -eu
packages="cmake ninja-build g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          wine64 wine64-preloader googletest clang-format xvfb xdotool imagemagick x11-utils python3 osslsigncode
          openssl gnuplot-nox util-linux nsis g++ icoutils python3-pefile
          clang-14 libclang-rt-14-dev lintian"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
