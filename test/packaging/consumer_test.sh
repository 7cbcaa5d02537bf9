#!/bin/sh
# A vendor's project (test/packaging/consumer) that wraps the demo installer with kiteboot.
#
#   consumer_test.sh installed <source> <build> <work> <python>
#     kiteboot through find_package from the prefix that packaging_install filled (<build>/packaging-prefix);
#     signed with a PKCS#12 file and a password file, and time-stamped by a time-stamp authority that
#     this test runs on 127.0.0.1. A wrong password fails the build and leaves no executable; with the
#     right one the build succeeds.
#   consumer_test.sh subdirectory <source> <build> <work> <python>
#     kiteboot through add_subdirectory of a copy of its sources at another path; signed with PEM files.
#     The same consumer built through find_package in yet another directory gives a byte-identical
#     bootstrapper, and the demo installer built in both trees is byte-identical too.
#
# Both check the signature with osslsigncode verify against the throwaway certificate, and run the signed
# and the unsigned bootstrapper under Wine with "/s /exitcode=7", which must end with 7.
set -u
mode=$1
source=$(cd "$2" && pwd)
build=$(cd "$3" && pwd)
work=$4
python=$5
prefix="$build/packaging-prefix"

failed=0
passed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
pass() {
    echo "ok: $*"
    passed=$((passed + 1))
}

rm -rf "$work" && mkdir -p "$work" || exit 1
work=$(cd "$work" && pwd)

# The vendor's project with its own icon, in a directory of the test's own.
consumer="$work/vendor-src"
cp -r "$source/test/packaging/consumer" "$consumer" || exit 1
"$python" "$source/tools/make-icon.py" --sizes 32,16 --depths 32,4 "$consumer/vendor.ico" || exit 1

# A throwaway code-signing certificate, its key, and the two in a PKCS#12 file protected by a password.
keys="$work/keys"
mkdir -p "$keys"
if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kiteboot packaging test" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$keys/key.pem" -out "$keys/cert.pem" >"$keys/log" 2>&1 ||
    ! printf 'correct horse\n' >"$keys/password.txt" ||
    ! openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/cert.p12" \
        -passout "file:$keys/password.txt" >>"$keys/log" 2>&1; then
    cat "$keys/log"
    echo "FAIL: openssl could not make the test certificate"
    exit 1
fi

# run_bootstrapper <exe>: under Wine, with the build tree's prefix and server.
run_bootstrapper() {
    "$build/wine-run.sh" "$1" /s /exitcode=7 >/dev/null 2>&1
}

check_runs() {
    run_bootstrapper "$1"
    status=$?
    if [ "$status" -eq 7 ]; then
        pass "$(basename "$1") /s /exitcode=7 exited with 7"
    else
        fail "$(basename "$1") /s /exitcode=7 exited with $status, not 7"
    fi
}

# check_signature <exe> [osslsigncode verify arguments...]
check_signature() {
    exe=$1
    shift
    if osslsigncode verify -CAfile "$keys/cert.pem" "$@" -in "$exe" >"$work/verify.txt" 2>&1 &&
        grep -q "^Signature verification: ok" "$work/verify.txt" &&
        grep -q "Message digest algorithm *: SHA256" "$work/verify.txt" &&
        grep -q "Subject: /CN=kiteboot packaging test" "$work/verify.txt"; then
        pass "$(basename "$exe") carries a valid SHA-256 signature by the test certificate"
    else
        cat "$work/verify.txt"
        fail "$(basename "$exe") is not signed as expected"
    fi
}

# A time-stamp authority with a throwaway certificate of its own, on a free port of 127.0.0.1.
tsa="$work/tsa"
tsa_pid=
start_time_stamp_authority() {
    mkdir -p "$tsa"
    cat >"$tsa/openssl.cnf" <<EOF
[ req ]
distinguished_name = dn
[ dn ]
[ tsa_certificate ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $tsa/serial
signer_cert = $tsa/cert.pem
signer_key = $tsa/key.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
    echo 01 >"$tsa/serial"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kiteboot packaging test TSA" \
        -config "$tsa/openssl.cnf" -extensions tsa_certificate -keyout "$tsa/key.pem" -out "$tsa/cert.pem" \
        >"$tsa/log" 2>&1 || return 1
    "$python" "$source/test/packaging/tsa_server.py" "$tsa/openssl.cnf" "$tsa/port" 2>>"$tsa/log" &
    tsa_pid=$!
    for _ in $(seq 50); do
        [ -s "$tsa/port" ] && return 0
        sleep 0.1
    done
    return 1
}
stop_time_stamp_authority() {
    [ -n "$tsa_pid" ] && kill "$tsa_pid" 2>/dev/null
    tsa_pid=
}
trap stop_time_stamp_authority EXIT

# configure_consumer <build dir> <cmake arguments...>
configure_consumer() {
    dir=$1
    shift
    if ! cmake -S "$consumer" -B "$dir" -G Ninja "$@" >"$dir.configure.txt" 2>&1; then
        cat "$dir.configure.txt"
        fail "configuring the consumer in $dir failed"
        return 1
    fi
}

build_consumer() {
    if ! cmake --build "$1" >"$1.build.txt" 2>&1; then
        cat "$1.build.txt"
        fail "building the consumer in $1 failed"
        return 1
    fi
}

installed_arguments() {
    echo "-DCMAKE_TOOLCHAIN_FILE=$prefix/share/kiteboot/toolchain-mingw-w64.cmake"
}

case "$mode" in
installed)
    out="$work/installed-build"
    printf 'wrong password\n' >"$work/wrong-password.txt"
    cp "$work/wrong-password.txt" "$work/password.txt"
    if ! start_time_stamp_authority; then
        cat "$tsa/log"
        echo "FAIL: the time-stamp authority did not start"
        exit 1
    fi
    configure_consumer "$out" "$(installed_arguments)" "-DVENDOR_PAYLOAD=$build/bin/demo-installer.exe" \
        "-DVENDOR_SIGN_PKCS12=$keys/cert.p12" "-DVENDOR_SIGN_PASSWORD_FILE=$work/password.txt" \
        "-DVENDOR_TIMESTAMP_URL=http://127.0.0.1:$(cat "$tsa/port")/" || exit 1
    grep -q "kiteboot_DIR:PATH=$prefix/lib/cmake/kiteboot" "$out/CMakeCache.txt" ||
        fail "find_package did not take kiteboot from $prefix"

    # A failed signature fails the build and leaves no unsigned executable behind to be taken for done.
    if cmake --build "$out" >"$out.build.txt" 2>&1; then
        fail "signing with a wrong password did not fail the build"
    elif ! tr '\n' ' ' <"$out.build.txt" | tr -s ' ' |
        grep -q -F "kiteboot: signing '$out/Vendor Setup signed.exe' failed: osslsigncode exited with"; then
        cat "$out.build.txt"
        fail "the failed signature is not reported"
    elif [ -e "$out/Vendor Setup signed.exe" ]; then
        fail "an unsigned 'Vendor Setup signed.exe' was left after signing failed"
    else
        pass "a wrong password fails the build and removes the unsigned file"
    fi
    cp "$keys/password.txt" "$work/password.txt"
    build_consumer "$out" || exit 1
    stop_time_stamp_authority
    check_signature "$out/Vendor Setup signed.exe" -TSA-CAfile "$tsa/cert.pem"
    if grep -q "Timestamp Server Signature verification: ok" "$work/verify.txt"; then
        pass "the signature carries a valid time stamp"
    else
        fail "the signature carries no valid time stamp"
    fi
    check_runs "$out/Vendor Setup.exe"
    check_runs "$out/Vendor Setup signed.exe"
    ;;
subdirectory)
    # The kiteboot sources at another path than the ones the outer build used.
    copy="$work/kiteboot-src"
    mkdir -p "$copy"
    cp -r "$source/CMakeLists.txt" "$source/cmake" "$source/src" "$source/demo" "$source/assets" "$source/tools" \
        "$copy/" || exit 1
    out="$work/subdirectory-build"
    configure_consumer "$out" "-DCMAKE_TOOLCHAIN_FILE=$copy/cmake/toolchain-mingw-w64.cmake" \
        "-DKITEBOOT_SOURCE=$copy" "-DVENDOR_SIGN_CERT=$keys/cert.pem" "-DVENDOR_SIGN_KEY=$keys/key.pem" || exit 1
    build_consumer "$out" || exit 1
    check_signature "$out/Vendor Setup signed.exe"
    check_runs "$out/Vendor Setup.exe"
    check_runs "$out/Vendor Setup signed.exe"

    # Reproducible: other source and build directories, the other way of using kiteboot, the same bytes.
    other="$work/find-package-build"
    configure_consumer "$other" "$(installed_arguments)" "-DVENDOR_PAYLOAD=$build/bin/demo-installer.exe" || exit 1
    build_consumer "$other" || exit 1
    if cmp "$out/bin/demo-installer.exe" "$build/bin/demo-installer.exe"; then
        pass "the demo installer built in two trees is byte-identical"
    else
        fail "the demo installer built in two trees differs"
    fi
    if cmp "$out/Vendor Setup.exe" "$other/Vendor Setup.exe"; then
        pass "the bootstrapper built both ways is byte-identical"
    else
        fail "the bootstrapper built through add_subdirectory and through find_package differs"
    fi
    for exe in "$out/Vendor Setup.exe" "$out/bin/demo-installer.exe"; do
        if grep -q -a -e "$work" -e "$build" -e "$source" "$exe"; then
            fail "$(basename "$exe") holds a path of the build"
        else
            pass "$(basename "$exe") holds no path of the build"
        fi
    done
    ;;
*)
    echo "usage: $0 installed|subdirectory <source> <build> <work> <python>" >&2
    exit 2
    ;;
esac

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
