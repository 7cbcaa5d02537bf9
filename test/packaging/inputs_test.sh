#!/bin/sh
# Bad input to kiteboot_add_bootstrapper stops the configure step, or the build when a file went bad after
# configuring, with a message that names the file or value and says what is wrong with it.
#   inputs_test.sh <kiteboot install prefix> <64-bit executable> <work dir> <python> <kiteboot source>
set -u
prefix=$1
good_exe=$2
work=$3
python=$4
source=$5
here=$(cd "$(dirname "$0")" && pwd)
toolchain="$prefix/share/kiteboot/toolchain-mingw-w64.cmake"
files="$work/files"
context="kiteboot_add_bootstrapper(setup):"

rm -rf "$work" && mkdir -p "$work" || exit 1
"$python" "$here/make_fixtures.py" "$files" "$good_exe" || exit 1

passed=0
failed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}

# A consumer project in <dir> whose CMakeLists calls kiteboot_add_bootstrapper(setup <arguments...>).
write_project() {
    dir=$1
    shift
    mkdir -p "$dir"
    arguments=""
    for argument in "$@"; do
        arguments="$arguments \"$argument\""
    done
    cat >"$dir/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(consumer LANGUAGES CXX RC)
find_package(kiteboot 1.0 REQUIRED)
kiteboot_add_bootstrapper(setup $arguments)
EOF
}

configure() {
    cmake -S "$1" -B "$1/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" >"$1/output.txt" 2>&1
}

# The output of a step with CMake's line wrapping undone: every run of white space becomes one blank.
flat_output() {
    tr '\n\t' '  ' <"$1/output.txt" | tr -s ' '
}

# expect_configure_error <case name> <expected message, which may be given several times> -- <arguments>
expect_configure_error() {
    name=$1
    shift
    dir="$work/$name"
    expected_count=0
    while [ "$1" != "--" ]; do
        expected_count=$((expected_count + 1))
        eval "expected_$expected_count=\$1"
        shift
    done
    shift
    write_project "$dir" "$@"
    if configure "$dir"; then
        fail "$name: configuring succeeded"
        return
    fi
    output=$(flat_output "$dir")
    index=1
    while [ $index -le $expected_count ]; do
        eval "message=\$expected_$index"
        case "$output" in
        *"$message"*) ;;
        *)
            fail "$name: the output lacks \"$message\""
            cat "$dir/output.txt"
            return
            ;;
        esac
        index=$((index + 1))
    done
    passed=$((passed + 1))
}

good="$files/good.exe"
needed="but the payload must be a 64-bit (AMD64) Windows executable"

expect_configure_error payload_missing "$context payload '$files/missing.exe' does not exist" \
    -- PAYLOAD "$files/missing.exe"
expect_configure_error payload_relative "$context payload '$files/missing.exe' does not exist" \
    -- PAYLOAD "../files/missing.exe"
expect_configure_error payload_empty "$context payload '$files/empty.exe' is empty" -- PAYLOAD "$files/empty.exe"
expect_configure_error payload_folder "$context payload '$files/folder.exe' is a directory, not a file" \
    -- PAYLOAD "$files/folder.exe"
expect_configure_error payload_text \
    "$context payload '$files/text.exe' is not a Windows executable (no MZ header)" -- PAYLOAD "$files/text.exe"
expect_configure_error payload_dos \
    "$context payload '$files/dos.exe' is not a Windows executable (no PE header)" -- PAYLOAD "$files/dos.exe"
expect_configure_error payload_i386 \
    "$context payload '$files/i386.exe' is a 32-bit (i386) Windows executable, $needed" -- PAYLOAD "$files/i386.exe"
expect_configure_error payload_arm64 \
    "$context payload '$files/arm64.exe' is an ARM64 Windows executable, $needed" -- PAYLOAD "$files/arm64.exe"
expect_configure_error payload_dll "$context payload '$files/library.dll' is a DLL, not an executable" \
    -- PAYLOAD "$files/library.dll"
expect_configure_error payload_object \
    "$context payload '$files/object.exe' is not marked executable (an object file or a failed link?)" \
    -- PAYLOAD "$files/object.exe"
expect_configure_error payload_not_given "$context PAYLOAD is required: the installer to wrap" -- VERSION 1.2.3.4

expect_configure_error icon_missing "$context icon '$files/missing.ico' does not exist" \
    -- PAYLOAD "$good" ICON "$files/missing.ico"
expect_configure_error icon_empty "$context icon '$files/empty.ico' is empty" -- PAYLOAD "$good" ICON "$files/empty.ico"
expect_configure_error icon_executable \
    "$context icon '$good' is not a valid .ico file: its header is not that of an icon" -- PAYLOAD "$good" ICON "$good"
expect_configure_error icon_cursor \
    "$context icon '$files/cursor.cur' is not a valid .ico file: it is a cursor (.cur), not an icon" \
    -- PAYLOAD "$good" ICON "$files/cursor.cur"
expect_configure_error icon_no_images \
    "$context icon '$files/no-images.ico' is not a valid .ico file: it holds no images" \
    -- PAYLOAD "$good" ICON "$files/no-images.ico"
expect_configure_error icon_cut_short \
    "$context icon '$files/cut-short.ico' is not a valid .ico file: image 2 of 2 lies outside the file" \
    -- PAYLOAD "$good" ICON "$files/cut-short.ico"
expect_configure_error icon_zero_size \
    "$context icon '$files/zero-size.ico' is not a valid .ico file: image 2 of 2 is empty (its size is 0)" \
    -- PAYLOAD "$good" ICON "$files/zero-size.ico"
expect_configure_error icon_garbage \
    "$context icon '$files/garbage.ico' is not a valid .ico file: image 1 of 1 is neither a bitmap nor a PNG" \
    -- PAYLOAD "$good" ICON "$files/garbage.ico"

expect_configure_error version_three_numbers \
    "$context VERSION '1.2.3' is not four numbers separated by dots (like 1.2.3.4)" -- PAYLOAD "$good" VERSION 1.2.3
expect_configure_error version_five_numbers \
    "$context VERSION '1.2.3.4.5' is not four numbers separated by dots (like 1.2.3.4)" \
    -- PAYLOAD "$good" VERSION 1.2.3.4.5
expect_configure_error version_too_big "$context VERSION '1.2.65536.4' has a number above 65535" \
    -- PAYLOAD "$good" VERSION 1.2.65536.4

expect_configure_error signing_cert_without_key "$context SIGN_CERT and SIGN_KEY go together" \
    -- PAYLOAD "$good" SIGN_CERT "$files/good.exe"
expect_configure_error signing_both_forms \
    "$context give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both" \
    -- PAYLOAD "$good" SIGN_PKCS12 "$good" SIGN_CERT "$good" SIGN_KEY "$good"
expect_configure_error signing_file_missing "$context SIGN_PKCS12 '$files/missing.p12' does not exist" \
    -- PAYLOAD "$good" SIGN_PKCS12 "$files/missing.p12"
expect_configure_error timestamp_without_signing \
    "$context SIGN_PASSWORD_FILE and TIMESTAMP_URL need SIGN_PKCS12 or SIGN_CERT with SIGN_KEY" \
    -- PAYLOAD "$good" TIMESTAMP_URL "http://127.0.0.1:9/"

# Every problem that can be seen is reported in one go.
expect_configure_error several_problems \
    "$context payload '$files/i386.exe' is a 32-bit (i386) Windows executable, $needed" \
    "$context icon '$files/garbage.ico' is not a valid .ico file: image 1 of 1 is neither a bitmap nor a PNG" \
    "$context VERSION '1.2' is not four numbers separated by dots (like 1.2.3.4)" \
    -- PAYLOAD "$files/i386.exe" ICON "$files/garbage.ico" VERSION 1.2

# The configure option of kiteboot's own build goes through the same checks.
dir="$work/configure_option"
mkdir -p "$dir"
if cmake -S "$source" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchain-mingw-w64.cmake" \
    -DKITEBOOT_BUILD_TESTS=OFF "-DKITEBOOT_PAYLOAD=$files/i386.exe" >"$dir/output.txt" 2>&1; then
    fail "configure_option: configuring kiteboot with a 32-bit KITEBOOT_PAYLOAD succeeded"
else
    expected="kiteboot_add_bootstrapper(kiteboot): payload '$files/i386.exe' is a 32-bit (i386) Windows executable, $needed"
    case "$(flat_output "$dir")" in
    *"$expected"*) passed=$((passed + 1)) ;;
    *)
        fail "configure_option: the output lacks \"$expected\""
        cat "$dir/output.txt"
        ;;
    esac
fi

# A payload and an icon that go bad after the project was configured are refused by the build, with the
# same messages; once they are good again the build succeeds.
dir="$work/build_time"
payload="$work/changing/setup-payload.exe"
icon="$work/changing/vendor.ico"
mkdir -p "$work/changing"
cp "$good" "$payload" && cp "$files/good.ico" "$icon"
write_project "$dir" PAYLOAD "$payload" ICON "$icon"
build() {
    cmake --build "$dir/build" >"$dir/output.txt" 2>&1
}
# expect_build_error <what is changed> <expected message>
expect_build_error() {
    if build; then
        fail "build_time ($1): the build succeeded"
    else
        case "$(flat_output "$dir")" in
        *"$2"*) passed=$((passed + 1)) ;;
        *)
            fail "build_time ($1): the output lacks \"$2\""
            cat "$dir/output.txt"
            ;;
        esac
    fi
}
expect_build_success() {
    if build && [ -f "$dir/build/setup.exe" ]; then
        passed=$((passed + 1))
    else
        fail "build_time ($1): the build failed"
        cat "$dir/output.txt"
    fi
}
if ! configure "$dir"; then
    fail "build_time: configuring with good inputs failed"
    cat "$dir/output.txt"
else
    expect_build_success "good inputs"
    cp "$files/i386.exe" "$payload"
    expect_build_error "32-bit payload" "$context payload '$payload' is a 32-bit (i386) Windows executable, $needed"
    # A payload removed after configuring is reported by Ninja itself, before any command runs.
    rm "$payload"
    expect_build_error "payload removed" "'$payload', needed by"
    cp "$good" "$payload" && cp "$files/cursor.cur" "$icon"
    expect_build_error "cursor as icon" \
        "$context icon '$icon' is not a valid .ico file: it is a cursor (.cur), not an icon"
    # What only kiteboot-wrap checks stops the build too, with its message.
    cp "$files/257-images.ico" "$icon"
    expect_build_error "icon of 257 images" "kiteboot-wrap: icon '$icon' is not a valid .ico file: it holds 257 \
images; kiteboot-wrap takes at most 256 (Windows shows one per size and depth)"
    cp "$files/good.ico" "$icon"
    expect_build_success "good again"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
