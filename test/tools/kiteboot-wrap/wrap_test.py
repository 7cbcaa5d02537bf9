#!/usr/bin/python3
"""kiteboot-wrap end to end: the Linux program and the Windows program (under Wine) wrap the same
installers into byte-identical bootstrappers; tools no one here wrote read them back (wrestool, pefile,
osslsigncode); the bootstrappers run under Wine; bad input is refused with its message and leaves no file.

    wrap_test.py <settings.json> wrap|bad|release

Runs with Debian's python3, which has python3-pefile.
"""
import glob
import json
import os
import resource
import shutil
import struct
import subprocess
import sys
import warnings
import zipfile

import pefile

S = json.load(open(sys.argv[1]))
WORK = os.path.join(S["work"], sys.argv[2])
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(command, env=None, preexec_fn=None):
    return subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, **(env or {})),
                          preexec_fn=preexec_fn)


def at_most_1_gib():  # a damaged stub that made kiteboot-wrap take all memory would take only this much
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


def native_wrap(*arguments):
    return run([S["native"], *arguments], preexec_fn=at_most_1_gib)


def windows_wrap(program, *arguments):
    converted = [windows_path(a) if a.startswith("/") else a for a in arguments]
    return run([S["wine_run"], program, *converted])


def read(path):
    with open(path, "rb") as f:
        return f.read()


VENDOR = ["--icon", S["vendor_icon"], "--version", "2.3.4.5", "--company", 'Vendor "Quoted" Corp',
          "--product", "Установщик 中文", "--description", "Vendor Product Setup (C:\\new\\tools)",
          "--copyright", "© 2026 Vendor Corp"]
VENDOR_STRINGS = {"CompanyName": 'Vendor "Quoted" Corp', "FileDescription": "Vendor Product Setup (C:\\new\\tools)",
                  "FileVersion": "2.3.4.5", "InternalName": "{name} setup", "LegalCopyright": "© 2026 Vendor Corp",
                  "OriginalFilename": "{name} setup.exe", "ProductName": "Установщик 中文",
                  "ProductVersion": "2.3.4.5"}


def icon_count(ico):
    return int.from_bytes(read(ico)[4:6], "little")


def check_resources(name, exe, payload):
    """wrestool lists exactly the expected resources and extracts what was put in."""
    listing = run(["wrestool", "-l", exe]).stdout.split("\n")
    found = sorted(line.split(" [")[0] for line in listing if line)
    images = icon_count(S["vendor_icon"])
    expected = sorted([f"--type=3 --name={i} --language=1033" for i in range(1, images + 1)] +
                      ["--type=10 --name=100 --language=1033", "--type=14 --name=101 --language=1033",
                       "--type=16 --name=1 --language=1033", "--type=24 --name=1 --language=1033"])
    check(found == expected, f"{name}: wrestool lists exactly the icons, payload, icon group, version, manifest")
    check(subprocess.run(["wrestool", "-x", "-R", "--type=10", "--name=100", exe], capture_output=True).stdout
          == read(payload), f"{name}: RT_RCDATA 100 holds the payload byte for byte")
    icon = subprocess.run(["wrestool", "-x", "--type=14", "--name=101", exe], capture_output=True).stdout
    # wrestool writes the .ico followed by zeros (as it does for a linker-built executable).
    given = read(S["vendor_icon"])
    check(icon[:len(given)] == given and not icon[len(given):].strip(b"\0"),
          f"{name}: icon group 101 extracts as the given .ico")
    manifest = subprocess.run(["wrestool", "-x", "-R", "--type=24", exe], capture_output=True).stdout
    check(manifest == read(S["manifest"]), f"{name}: RT_MANIFEST 1 is the stub's manifest")


def check_pefile(name, exe):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        pe = pefile.PE(exe)
    check(pe.get_warnings() == [], f"{name}: pefile parses it without warnings {pe.get_warnings()}")
    check(pe.verify_checksum(), f"{name}: the checksum matches pefile's")
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            check(table.LangID == b"040904b0", f"{name}: string table 040904b0 (1033, code page 1200)")
            strings = {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            check(var.entry == {b"Translation": "0x0409 0x04b0"}, f"{name}: translation 1033, 1200")
    expected = {k: v.format(name=name) for k, v in VENDOR_STRINGS.items()}
    check(strings == expected, f"{name}: the version strings are the options {strings}")
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS) == (0x20003, 0x40005, 0x20003),
          f"{name}: file and product version 2.3.4.5")


def check_signing(name, exe):
    keys = os.path.join(WORK, "keys")
    if not os.path.exists(os.path.join(keys, "cert.pem")):
        os.makedirs(keys, exist_ok=True)
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test Signer",
             "-addext", "extendedKeyUsage=codeSigning", "-keyout", f"{keys}/key.pem", "-out", f"{keys}/cert.pem"])
    signed = exe + ".signed"
    sign = run(["osslsigncode", "sign", "-h", "sha256", "-certs", f"{keys}/cert.pem", "-key", f"{keys}/key.pem",
                "-in", exe, "-out", signed])
    verify = run(["osslsigncode", "verify", "-CAfile", f"{keys}/cert.pem", "-in", signed])
    check(sign.returncode == 0 and verify.returncode == 0, f"{name}: osslsigncode signs and verifies it")
    return signed


def fnv1a(data):
    value = 0xCBF29CE484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def check_runs(name, exe):
    if name == "demo":
        status = run([S["wine_run"], exe, "/s", "/exitcode=7"]).returncode
        check(status == 7, f"{name}: runs under Wine and returns the installer's exit code 7 ({status})")
    elif name == "nsis":
        target = os.path.join(WORK, "nsis-target")  # NSIS takes /D= only unquoted
        shutil.rmtree(target, ignore_errors=True)
        status = run([S["wine_run"], exe, "/S", "/D=" + windows_path(target)]).returncode
        installed = os.path.join(target, "installed.txt")
        check(status == 5 and os.path.exists(installed) and read(installed) == b"silent",
              f"{name}: the real installer runs silently (it checks its own bytes) and returns 5 ({status})")
    elif name == "probe":
        report = os.path.join(WORK, "probe-report.txt")
        status = run([S["wine_run"], exe], {"KITEBOOT_PROBE_REPORT": windows_path(report),
                                             "KITEBOOT_PROBE_EXIT": "9"}).returncode
        text = read(report) if os.path.exists(report) else b""
        expected = f"image_size {len(str(len(read(S['payloads']['probe']))))}\n{len(read(S['payloads']['probe']))}"
        digest = format(fnv1a(read(S["payloads"]["probe"])), "016x")
        check(status == 9 and expected.encode() in text and digest.encode() in text.lower(),
              f"{name}: the payload was extracted byte for byte (size and hash) and its exit code 9 came back")


def wrap_tests():
    for name, payload in S["payloads"].items():
        native = os.path.join(WORK, f"{name} setup.exe")
        windows_dir = os.path.join(WORK, "windows")
        os.makedirs(windows_dir, exist_ok=True)
        windows = os.path.join(windows_dir, f"{name} setup.exe")
        for existing in (native, windows):  # replaced by the new file
            with open(existing, "wb") as f:
                f.write(b"an older file")
        a = native_wrap("--payload", payload, "--output", native, "--stub", S["stub"], *VENDOR)
        check(a.returncode == 0, f"{name}: the Linux kiteboot-wrap writes it {a.stderr}")
        b = windows_wrap(S["windows"], "--payload", payload, "--output", windows, "--stub", S["stub"], *VENDOR)
        check(b.returncode == 0, f"{name}: kiteboot-wrap.exe under Wine writes it {b.stderr}")
        check(read(native) == read(windows), f"{name}: both outputs are byte-identical (each replaced a file)")
        left = [f for d in (WORK, windows_dir) for f in os.listdir(d) if f.endswith(".tmp")]
        check(not left, f"{name}: no temporary file is left {left}")
        check_resources(name, native, payload)
        check_pefile(name, native)
        signed = check_signing(name, native)
        check_runs(name, native)
        if name == "demo":
            check_runs(name, signed)


def damaged_stubs(folder):
    """The stub with its headers or its resource directory damaged; offsets found by pefile."""
    stub = read(S["stub"])
    pe = pefile.PE(data=stub, fast_load=True)
    headers = pe.OPTIONAL_HEADER.get_field_absolute_offset("SizeOfHeaders")
    rsrc = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")
    # Three directories of 100 entries, each leading to the next: a million resources if followed.
    bomb = b""
    for level in range(3):
        target = (level + 1) * (16 + 100 * 8) | (0x80000000 if level < 2 else 0)
        bomb += bytes(14) + struct.pack("<H", 100) + struct.pack("<II", 1, target) * 100
    bomb += struct.pack("<IIII", rsrc.VirtualAddress, 64, 0, 0)
    patches = {"headers-7fffffff.exe": (headers, struct.pack("<I", 0x7FFFFFFF)),
               "headers-past-end.exe": (headers, struct.pack("<I", len(stub) + 1)),
               "headers-128k.exe": (headers, struct.pack("<I", 0x20000)),
               "resource-bomb.exe": (rsrc.PointerToRawData, bomb)}
    for name, (at, value) in patches.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(stub[:at] + value + stub[at + len(value):])
    return len(stub)


def bad_input_tests():
    files = os.path.join(WORK, "files")
    subprocess.run([sys.executable, S["make_fixtures"], files, S["payloads"]["demo"]], check=True)
    os.makedirs(os.path.join(files, "folder.exe"), exist_ok=True)
    good = os.path.join(files, "good.exe")
    needed = "but the payload must be a 64-bit (AMD64) Windows executable"
    f = lambda n: os.path.join(files, n)  # noqa: E731
    p = lambda n: ["--payload", f(n)]  # noqa: E731
    icon = lambda n: ["--payload", good, "--icon", f(n)]  # noqa: E731
    stub = lambda n: ["--payload", good, "--stub", f(n)]  # noqa: E731
    stub_size = damaged_stubs(files)
    damaged = lambda n: f"stub '{f(n)}' is damaged: "  # noqa: E731
    table = [
        (p("missing.exe"), f"payload '{f('missing.exe')}' does not exist"),
        (p("empty.exe"), f"payload '{f('empty.exe')}' is empty"),
        (p("folder.exe"), f"payload '{f('folder.exe')}' is a directory, not a file"),
        (p("text.exe"), f"payload '{f('text.exe')}' is not a Windows executable (no MZ header)"),
        (p("dos.exe"), f"payload '{f('dos.exe')}' is not a Windows executable (no PE header)"),
        (p("i386.exe"), f"payload '{f('i386.exe')}' is a 32-bit (i386) Windows executable, {needed}"),
        (p("arm64.exe"), f"payload '{f('arm64.exe')}' is an ARM64 Windows executable, {needed}"),
        (p("library.dll"), f"payload '{f('library.dll')}' is a DLL, not an executable"),
        (p("object.exe"), f"payload '{f('object.exe')}' is not marked executable (an object file or a failed link?)"),
        ([], "--payload is required: the installer to wrap"),
        (icon("missing.ico"), f"icon '{f('missing.ico')}' does not exist"),
        (icon("empty.ico"), f"icon '{f('empty.ico')}' is empty"),
        (["--payload", good, "--icon", good], f"icon '{good}' is not a valid .ico file: its header is not that of an icon"),
        (icon("cursor.cur"), f"icon '{f('cursor.cur')}' is not a valid .ico file: it is a cursor (.cur), not an icon"),
        (icon("no-images.ico"), f"icon '{f('no-images.ico')}' is not a valid .ico file: it holds no images"),
        (icon("cut-short.ico"), f"icon '{f('cut-short.ico')}' is not a valid .ico file: image 2 of 2 lies outside the file"),
        (icon("garbage.ico"), f"icon '{f('garbage.ico')}' is not a valid .ico file: image 1 of 1 is neither a bitmap nor a PNG"),
        (["--payload", good, "--version", "1.2.3"], "--version '1.2.3' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--version", "1.2.3.4.5"], "--version '1.2.3.4.5' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--version", "1.2.65536.4"], "--version '1.2.65536.4' has a number above 65535"),
        (["--payload", good, "--company", "A\tB"], "--company 'A\tB' holds a line break or a tab"),
        (["--payload", good, "--product", "A\nB"], "--product 'A\nB' holds a line break or a tab"),
        (["--payload", good, "--stub", f("text.exe")], f"stub '{f('text.exe')}' is not a Windows executable"),
        (["--payload", good, "--stub", f("missing.exe")], f"stub '{f('missing.exe')}' does not exist"),
        (["--payload", good, "--stub", f("s" * 300)], f"stub '{f('s' * 300)}' does not exist"),  # ENAMETOOLONG
        (stub("headers-7fffffff.exe"), damaged("headers-7fffffff.exe") +
         f"its headers (SizeOfHeaders): 2147483647 bytes at 0x0 pass the end of the file ({stub_size} bytes)"),
        (stub("headers-past-end.exe"), damaged("headers-past-end.exe") +
         f"its headers (SizeOfHeaders): {stub_size + 1} bytes at 0x0 pass the end of the file ({stub_size} bytes)"),
        (stub("headers-128k.exe"), damaged("headers-128k.exe") +
         "its headers (SizeOfHeaders) claim 131072 bytes, more than the 65536 headers can take"),
        (stub("resource-bomb.exe"), damaged("resource-bomb.exe") + "its resource directories hold more than 4096 entries"),
        (["--payload", good, "--bogus", "x"], "unknown option '--bogus'"),
        (["--payload", good, "--payload", good], "option --payload is given twice"),
    ]
    output = os.path.join(WORK, "bad", "setup.exe")
    os.makedirs(os.path.dirname(output), exist_ok=True)
    for arguments, message in table:
        if "--stub" not in arguments:
            arguments = arguments + ["--stub", S["stub"]]
        result = native_wrap(*arguments, "--output", output)
        left = os.listdir(os.path.dirname(output))
        check(result.returncode != 0 and f"kiteboot-wrap: {message}\n" in result.stderr and not left,
              f"refused, nothing left: {message!r} {result.stderr if message not in result.stderr else ''}")
    # A payload whose bootstrapper would pass 2 GiB: a sparse file, refused before anything is written.
    huge = os.path.join(files, "huge.exe")
    shutil.copyfile(good, huge)
    os.truncate(huge, (2 << 30) + (1 << 20))
    result = native_wrap("--payload", huge, "--output", output, "--stub", S["stub"])
    refused = (result.returncode == 1 and not os.listdir(os.path.dirname(output)) and
               result.stderr.startswith("kiteboot-wrap: the payload of 2049 MiB (2148532224 bytes) is too large: the "
                                        "bootstrapper would take 2050 MiB (") and
               result.stderr.endswith("), and a Windows executable may take at most 2 GiB (2147483648 bytes)\n"))
    check(refused, f"a payload of 2 GiB and 1 MiB is refused with the limit, nothing written {'' if refused else result.stderr}")
    os.remove(huge)
    # Every problem at once.
    result = native_wrap("--payload", f("i386.exe"), "--icon", f("cursor.cur"), "--version", "1", "--output", output,
                         "--stub", S["stub"])
    check(result.returncode == 1 and result.stderr.count("kiteboot-wrap: ") == 3, "three problems, three lines")


def release_tests():
    zips = glob.glob(os.path.join(S["release_dir"], "*.zip"))
    check(len(zips) == 1, f"cpack made one ZIP archive {zips}")
    if len(zips) != 1:
        return
    with zipfile.ZipFile(zips[0]) as archive:
        names = sorted(n.split("/", 1)[1] for n in archive.namelist() if not n.endswith("/"))  # below the top folder
        check(names == ["README.md", "docs/packaging.md", "kiteboot-stub.exe", "kiteboot-wrap.exe"],
              f"the archive holds kiteboot-wrap.exe, the stub, the README and the packaging page {names}")
        unpacked = os.path.join(WORK, "release")
        shutil.rmtree(unpacked, ignore_errors=True)
        archive.extractall(unpacked)
    program = os.path.join(unpacked, os.path.splitext(os.path.basename(zips[0]))[0], "kiteboot-wrap.exe")
    output = os.path.join(WORK, "release-setup.exe")
    result = windows_wrap(program, "--payload", S["payloads"]["demo"], "--output", output)
    check(result.returncode == 0, f"the archive's kiteboot-wrap.exe finds its stub beside it and wraps {result.stderr}")
    native = os.path.join(WORK, "native-default", "release-setup.exe")
    os.makedirs(os.path.dirname(native), exist_ok=True)
    native_wrap("--payload", S["payloads"]["demo"], "--output", native, "--stub", S["stub"])
    check(os.path.exists(output) and read(output) == read(native), "... the same file as the Linux program with the defaults")
    help_text = windows_wrap(program, "--help")
    check(help_text.returncode == 0 and "Usage: kiteboot-wrap --payload" in help_text.stdout, "--help prints the usage")


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
{"wrap": wrap_tests, "bad": bad_input_tests, "release": release_tests}[sys.argv[2]]()
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
