#!/usr/bin/python3
"""kiteboot-wrap end to end: the Linux program and the Windows program (under Wine) wrap the same
installers into byte-identical bootstrappers; tools no one here wrote read them back (wrestool, pefile,
osslsigncode); the bootstrappers run under Wine; bad input is refused with its message and leaves no file.
The release packages unpacked and their programs run with nothing of the build machine; a second build
tree makes the same bytes.

    wrap_test.py <settings.json> wrap|bad|release|reproducible

Runs with Debian's python3, which has python3-pefile.
"""
import gzip
import hashlib
import json
import os
import re
import resource
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tarfile
import time
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


def run(command, env=None, preexec_fn=None, **options):
    # Bytes that are not UTF-8 come back as they were written (an unescaped one then fails its row).
    return subprocess.run(command, capture_output=True, text=True, errors="surrogateescape",
                          env=dict(os.environ, **(env or {})), preexec_fn=preexec_fn, **options)


def at_most_1_gib():  # a damaged stub that made kiteboot-wrap take all memory would take only this much
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


def native_wrap(*arguments, **options):
    return run([S["native"], *arguments], preexec_fn=at_most_1_gib, **options)


def windows_wrap(program, *arguments, env=None):
    converted = [windows_path(a) if a.startswith("/") else a for a in arguments]
    return run([S["wine_run"], program, *converted], env=env)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def kept(path, content):
    return os.path.isfile(path) and read(path) == content


VENDOR = ["--icon", S["vendor_icon"], "--file-version", "2.3.4.5", "--company", 'Vendor "Quoted" Corp',
          "--product", "Установщик 中文", "--description", "Vendor Product Setup (C:\\new\\tools)",
          "--copyright", "© 2026 Vendor Corp"]
VENDOR_STRINGS = {"CompanyName": 'Vendor "Quoted" Corp', "FileDescription": "Vendor Product Setup (C:\\new\\tools)",
                  "FileVersion": "2.3.4.5", "InternalName": "{name} setup", "LegalCopyright": "© 2026 Vendor Corp",
                  "OriginalFilename": "{name} setup.exe", "ProductName": "Установщик 中文",
                  "ProductVersion": "2.3.4.5"}


def version_resource_size(strings):
    """The bytes of a version resource holding these (key, value) strings, laid out as the resource compiler
    lays out a VERSIONINFO: each node a 6-byte header and its key with a null, 4-byte aligned, then its value
    and its children, each on a 4-byte boundary."""
    def align(n):
        return (n + 3) & ~3

    def node(key, value=0, children=()):
        size = align(6 + 2 * (len(key) + 1)) + value
        for child in children:
            size = align(size) + child
        return size

    table = node("040904b0", 0, [node(k, len(v.encode("utf-16-le")) + 2) for k, v in strings])
    return node("VS_VERSION_INFO", 52, [node("StringFileInfo", 0, [table]),
                                        node("VarFileInfo", 0, [node("Translation", 4)])])


def given_texts(company, product, description, copyright_text, name="setup"):
    """The options that set every text, and the strings of the version resource they make."""
    options = ["--file-version", "1.2.3.4", "--company", company, "--product", product, "--description", description,
               "--copyright", copyright_text]
    strings = [("CompanyName", company), ("FileDescription", description), ("FileVersion", "1.2.3.4"),
               ("InternalName", name), ("LegalCopyright", copyright_text), ("OriginalFilename", name + ".exe"),
               ("ProductName", product), ("ProductVersion", "1.2.3.4")]
    return options, strings


def too_long(strings, option, characters):
    return (f"the texts are too long for the version information: it would take {version_resource_size(strings)} "
            f"bytes, and Windows' version resource holds at most 65535 (the longest text is {option}, "
            f"{characters} characters)")


def snapshot(directory):
    """Every file below the directory with its content's digest."""
    found = {}
    for top, _, names in os.walk(directory):
        for name in names:
            path = os.path.join(top, name)
            found[path] = hashlib.sha256(read(path)).hexdigest() if os.path.isfile(path) else "link"
    return found


def icon_count(ico):
    return int.from_bytes(read(ico)[4:6], "little")


def check_resources(name, exe, payload, appended=False):
    """wrestool lists exactly the expected resources and extracts what was put in: the payload as RT_RCDATA
    100, or (appended) the record RT_RCDATA 101 and the payload after the image."""
    listing = run(["wrestool", "-l", exe]).stdout.split("\n")
    found = sorted(line.split(" [")[0] for line in listing if line)
    images = icon_count(S["vendor_icon"])
    expected = sorted([f"--type=3 --name={i} --language=1033" for i in range(1, images + 1)] +
                      [f"--type=10 --name={101 if appended else 100} --language=1033", "--type=14 --name=101 --language=1033",
                       "--type=16 --name=1 --language=1033", "--type=24 --name=1 --language=1033",
                       "--type='KITEBOOT' --name=1 --language=1033"])
    check(found == expected,
          f"{name}: wrestool lists exactly the icons, payload, icon group, version, manifest, stub mark {found}")
    mark = subprocess.run(["wrestool", "-x", "-R", "--type=KITEBOOT", exe], capture_output=True).stdout
    check(mark == b"kiteboot stub 1", f"{name}: the stub's mark is kept {mark}")
    if appended:
        check_appended(name, exe, payload)
    else:
        check(subprocess.run(["wrestool", "-x", "-R", "--type=10", "--name=100", exe], capture_output=True).stdout
              == read(payload), f"{name}: RT_RCDATA 100 holds the payload byte for byte")
    icon = subprocess.run(["wrestool", "-x", "--type=14", "--name=101", exe], capture_output=True).stdout
    # wrestool writes the .ico followed by zeros (as it does for a linker-built executable).
    given = read(S["vendor_icon"])
    check(icon[:len(given)] == given and not icon[len(given):].strip(b"\0"),
          f"{name}: icon group 101 extracts as the given .ico")
    manifest = subprocess.run(["wrestool", "-x", "-R", "--type=24", exe], capture_output=True).stdout
    check(manifest == read(S["manifest"]), f"{name}: RT_MANIFEST 1 is the stub's manifest")


def check_appended(name, exe, payload):
    """The record (RT_RCDATA 101, read by wrestool) names the payload's place after the last section, on the
    file alignment, its length and SHA-256; the file ends on the file alignment after it."""
    record = subprocess.run(["wrestool", "-x", "-R", "--type=10", "--name=101", exe], capture_output=True).stdout
    check(len(record) == 56 and record[:8] == b"KBPAYLD1", f"{name}: RT_RCDATA 101 is the payload's record {record[:8]}")
    offset, length = struct.unpack("<QQ", record[8:24]) if len(record) == 56 else (0, 0)
    data = read(exe)
    pe = pefile.PE(exe, fast_load=True)
    alignment = pe.OPTIONAL_HEADER.FileAlignment
    image_end = max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)
    check(offset == image_end and offset % alignment == 0 and pe.get_overlay_data_start_offset() == offset,
          f"{name}: the payload starts where the last section ends, on the file alignment, where pefile's overlay starts")
    check(length == len(read(payload)) and data[offset:offset + length] == read(payload)
          and record[24:] == hashlib.sha256(read(payload)).digest(),
          f"{name}: the payload lies there byte for byte, of the recorded length and SHA-256")
    check(len(data) % alignment == 0 and not data[offset + length:].strip(b"\0"),
          f"{name}: zeros up to the file alignment end the file")


def check_inspect(name, exe, payload, carried, signature="signature: none"):
    """--inspect reports how the payload is carried, its size and SHA-256 and the signature's place."""
    result = native_wrap("--inspect", exe)
    digest = hashlib.sha256(read(payload)).hexdigest()
    lines = result.stdout.splitlines()
    expected_hash = f"payload SHA-256: {digest}" + (" (matches its record)" if carried == "after the image" else "")
    check(result.returncode == 0 and lines[:1] == ["stub: kiteboot stub 1"] and
          lines[1].startswith(f"payload: {carried}, at offset ") and lines[1].endswith(f", {len(read(payload))} bytes")
          and lines[2] == expected_hash and "ProductName: Установщик 中文" in lines and lines[-1].startswith(signature),
          f"{name}: --inspect reports it ({result.returncode}) {result.stdout}{result.stderr}")


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


def longest_texts_test():
    """Texts whose version resource just fits its 16-bit lengths are all written and read back."""
    characters = 32000
    while version_resource_size(given_texts("C" * (characters + 1), "P", "D", "R")[1]) <= 65535:
        characters += 1
    options, strings = given_texts("C" * characters, "P", "D", "R")
    output = os.path.join(WORK, "longest", "setup.exe")
    os.makedirs(os.path.dirname(output))
    result = native_wrap("--payload", S["payloads"]["demo"], "--output", output, "--stub", S["stub"], *options)
    check(result.returncode == 0, f"texts of {version_resource_size(strings)} bytes are written {result.stderr}")
    if result.returncode == 0:
        pe = pefile.PE(output)
        read_back = {k.decode(): v.decode() for info in pe.FileInfo[0] for table in getattr(info, "StringTable", [])
                     for k, v in table.entries.items()}
        check(read_back == dict(strings), "... and pefile reads every one of them back")


def non_ascii_paths_test():
    """The Windows program takes payload, stub, icon and output paths outside ASCII as the Linux one does."""
    base = os.path.join(WORK, "José", "Установщик 中文")
    os.makedirs(os.path.join(base, "Выход"))
    payload = os.path.join(base, "Инсталлятор 安装.exe")
    stub = os.path.join(base, "Заглушка.exe")
    icon = os.path.join(base, "Значок 图标.ico")
    shutil.copy(S["payloads"]["demo"], payload)
    shutil.copy(S["stub"], stub)
    shutil.copy(S["vendor_icon"], icon)
    windows = os.path.join(base, "Выход", "Установка 中文 é.exe")
    native = os.path.join(WORK, "native-non-ascii", "Установка 中文 é.exe")
    os.makedirs(os.path.dirname(native))
    a = native_wrap("--payload", payload, "--output", native, "--stub", stub, "--icon", icon)
    b = windows_wrap(S["windows"], "--payload", payload, "--output", windows, "--stub", stub, "--icon", icon)
    check(a.returncode == 0 and b.returncode == 0, f"paths outside ASCII: both programs write it {a.stderr}{b.stderr}")
    same = os.path.exists(windows) and os.path.exists(native) and read(windows) == read(native)
    check(same and os.listdir(os.path.dirname(windows)) == [os.path.basename(windows)],
          "... the same bytes, and nothing else beside the output")
    # Where Windows does not grant the UTF-8 code page, these names are outside the process code page.
    legacy = os.path.join(WORK, "legacy-code-page", "Установка 中文 é.exe")
    os.makedirs(os.path.dirname(legacy))
    c = windows_wrap(S["windows_legacy_code_page"], "--payload", payload, "--output", legacy, "--stub", stub,
                     "--icon", icon)
    check(c.returncode == 0 and os.path.exists(legacy) and os.path.exists(native) and read(legacy) == read(native),
          f"... and the same bytes from the Windows program without the UTF-8 code page {c.stderr}")


APPEND = {"KITEBOOT_WRAP_APPEND_PAYLOAD": "1"}


def appended_tests():
    """Each installer carried after the image, as one too large for a 2 GiB image is (forced here): both
    programs write the same bytes; pefile, wrestool, osslsigncode and --inspect read it; it runs, signed too;
    changed after wrapping, --inspect says so."""
    for name, payload in S["payloads"].items():
        native = os.path.join(WORK, "appended", f"{name} setup.exe")
        windows = os.path.join(WORK, "appended-windows", f"{name} setup.exe")
        os.makedirs(os.path.dirname(native), exist_ok=True)
        os.makedirs(os.path.dirname(windows), exist_ok=True)
        a = run([S["native"], "--payload", payload, "--output", native, "--stub", S["stub"], *VENDOR], env=APPEND)
        b = run([S["wine_run"], S["windows"], *(windows_path(x) if x.startswith("/") else x for x in
                                                 ["--payload", payload, "--output", windows, "--stub", S["stub"], *VENDOR])],
                env=APPEND)
        check(a.returncode == 0 and b.returncode == 0, f"{name} appended: both programs write it {a.stderr}{b.stderr}")
        check(os.path.exists(native) and os.path.exists(windows) and read(native) == read(windows),
              f"{name} appended: both outputs are byte-identical")
        left = [f for d in (native, windows) for f in os.listdir(os.path.dirname(d)) if f.endswith(".tmp")]
        check(not left, f"{name} appended: no temporary file is left {left}")
        check_resources(name + " appended", native, payload, appended=True)
        check_pefile(name, native)
        check_inspect(name + " appended", native, payload, "after the image")
        signed = check_signing(name + " appended", native)
        check_inspect(name + " appended and signed", signed, payload, "after the image", "signature: a certificate "
                      "table of ")
        check("after the payload" in native_wrap("--inspect", signed).stdout,
              f"{name} appended and signed: --inspect finds the certificate table after the payload")
        check_runs(name, native)
        check_runs(name, signed)
        changed = bytearray(read(native))
        changed[read(native).find(read(payload)) + len(read(payload)) // 2] ^= 1
        with open(native + ".changed", "wb") as f:
            f.write(changed)
        result = native_wrap("--inspect", native + ".changed")
        check(result.returncode == 3 and "(does not match its record: " in result.stdout,
              f"{name} appended, one byte changed: --inspect says so, exit status 3 ({result.returncode})")
        cut = native + ".cut"
        shutil.copyfile(native, cut)
        os.truncate(cut, read(native).find(read(payload)) + len(read(payload)) - 1)
        result = native_wrap("--inspect", cut)
        check(result.returncode == 3 and "the file is cut short" in result.stdout,
              f"{name} appended, cut short: --inspect says so, exit status 3 ({result.returncode})")
    # Not a bootstrapper: a script tells by the exit status.
    result = native_wrap("--inspect", S["payloads"]["demo"])
    check(result.returncode == 1 and "is not a kiteboot bootstrapper" in result.stderr,
          f"--inspect of an installer: not a kiteboot bootstrapper, exit status 1 {result.stderr}")


def wrap_tests():
    longest_texts_test()
    non_ascii_paths_test()
    appended_tests()
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
        check_inspect(name, native, payload, "resource RT_RCDATA 100")
        signed = check_signing(name, native)
        check_runs(name, native)
        if name == "demo":
            check_runs(name, signed)


def check_refused(host, wrap, table, files, output):
    """Each row's arguments are refused with its message; nothing is left beside the output, no input changed."""
    for arguments, message in table:
        if "--stub" not in arguments:
            arguments = arguments + ["--stub", S["stub"]]
        if "--output" not in arguments:
            arguments = arguments + ["--output", output]
        before = snapshot(files)
        result = wrap(*arguments)
        left = os.listdir(os.path.dirname(output))
        check(result.returncode != 0 and f"kiteboot-wrap: {message}\n" in result.stderr and not left
              and snapshot(files) == before,
              f"{host}refused, nothing left or changed: {message[:300]!r} {'' if message in result.stderr else result.stderr[:600]}")
        for name in left:  # what a faulty run wrote fails its own row, not the rows after it
            os.remove(os.path.join(os.path.dirname(output), name))


def damaged_stubs(folder):
    """The stub with its headers or its resource directory damaged; offsets found by pefile. Returns the
    stub's size and the messages of the damages that make a bootstrapper Windows would not start."""
    stub = read(S["stub"])
    pe = pefile.PE(data=stub)
    optional = pe.OPTIONAL_HEADER
    headers = optional.get_field_absolute_offset("SizeOfHeaders")
    rsrc = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")
    reloc = optional.DATA_DIRECTORY[5]
    manifest = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 24)
    manifest_data = manifest.directory.entries[0].directory.entries[0].data.struct
    first, second = pe.sections[1], pe.sections[2]
    last = pe.sections[-1]
    name = lambda section: section.Name.rstrip(b"\0").decode()  # noqa: E731
    alignment = optional.SectionAlignment
    level = b'level="requireAdministrator"'
    at_level = stub.index(level)
    unstartable = {
        "dll.exe": ((pe.FILE_HEADER.get_field_absolute_offset("Characteristics"), struct.pack("<H", 0x2022)),
                    "is marked as a DLL (Characteristics 0x2022): Windows does not start a DLL as a program"),
        "console.exe": ((optional.get_field_absolute_offset("Subsystem"), struct.pack("<H", 3)),
                        "is not a Windows GUI program (its Subsystem is 3, a GUI program's is 2)"),
        "unsorted-sections.exe": (
            (first.get_file_offset(), second.__pack__() + first.__pack__()),
            f"is damaged: section 2 '{name(second)}' starts at {second.VirtualAddress:#x} in "
            f"memory, but the sections must follow one another in order and it should start at "
            f"{first.VirtualAddress:#x}, after section 1 '{name(pe.sections[0])}'"),
        "past-size-of-image.exe": (
            (optional.get_field_absolute_offset("SizeOfImage"), struct.pack("<I", optional.SizeOfImage - alignment)),
            f"is damaged: section {len(pe.sections)} '.reloc' ends at "
            f"{last.VirtualAddress + last.Misc_VirtualSize:#x} in memory, past its SizeOfImage "
            f"{optional.SizeOfImage - alignment:#x}"),
        "empty-manifest.exe": ((manifest_data.get_field_absolute_offset("Size"), struct.pack("<I", 0)),
                               "has an empty manifest (RT_MANIFEST 1): Windows would start the bootstrapper "
                               "without asking for administrator rights"),
        "no-manifest.exe": ((manifest.struct.get_file_offset(), struct.pack("<I", 25)),
                            "has no manifest (RT_MANIFEST 1): Windows would start the bootstrapper without asking "
                            "for administrator rights"),
        "as-invoker-manifest.exe": ((at_level, b'level="asInvoker"'.ljust(len(level))),
                                    "has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
                                    '(requestedExecutionLevel level="requireAdministrator"): Windows would start the '
                                    "bootstrapper without asking for administrator rights"),
        "relocations-ffffffff.exe": (
            (reloc.get_field_absolute_offset("Size"), struct.pack("<I", 0xFFFFFFFF)),
            f"is damaged: its base relocation directory (4294967295 bytes at {reloc.VirtualAddress:#x}) passes the end "
            f"of its image (SizeOfImage {optional.SizeOfImage:#x})"),
        "import-name-outside.exe": (
            (pe.DIRECTORY_ENTRY_IMPORT[0].struct.get_field_absolute_offset("Name"), struct.pack("<I", 0x7FFFFFFF)),
            "is damaged: an imported DLL's name (1 bytes at 0x7fffffff) lies outside its sections' contents"),
        "directories-ffffffff.exe": (
            (optional.get_field_absolute_offset("NumberOfRvaAndSizes"), struct.pack("<I", 0xFFFFFFFF)),
            "is damaged: its NumberOfRvaAndSizes is 4294967295, more than the 16 data directories a PE32+ optional "
            "header has"),
    }
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
    patches.update({name: patch for name, (patch, _) in unstartable.items()})
    for name, (at, value) in patches.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(stub[:at] + value + stub[at + len(value):])
    return len(stub), {name: message for name, (_, message) in unstartable.items()}


def bad_input_tests():
    files = os.path.join(WORK, "files")
    subprocess.run([sys.executable, S["make_fixtures"], files, S["payloads"]["demo"]], check=True)
    os.makedirs(os.path.join(files, "folder.exe"), exist_ok=True)
    good = os.path.join(files, "good.exe")
    needed = "but the payload must be a 64-bit (AMD64) Windows executable"
    f = lambda n: os.path.join(files, n)  # noqa: E731
    p = lambda n: ["--payload", f(n)]  # noqa: E731
    icon = lambda n: ["--payload", good, "--icon", f(n)]  # noqa: E731
    stub = f("kiteboot-stub.exe")
    shutil.copy(S["stub"], stub)
    native_wrap("--payload", good, "--output", f("bootstrapper.exe"), "--stub", stub)
    with open(f("other-format-stub.exe"), "wb") as other:
        other.write(read(stub).replace(b"kiteboot stub 1", b"kiteboot stub 9"))
    os.link(good, f("good-hard-link.exe"))
    os.symlink("kiteboot-stub.exe", f("stub-link.exe"))
    os.mkfifo(f("fifo"))
    socket.socket(socket.AF_UNIX).bind(f("socket"))
    os.symlink("missing.exe", f("dangling-link.exe"))
    only_files = "not a regular file: only a regular file is replaced"
    own_file = "the bootstrapper must be written to a file of its own"
    not_kiteboot = "is not a kiteboot stub (it lacks the mark kiteboot-stub.exe carries): --stub takes " \
                   "kiteboot-stub.exe, --payload the installer"
    one_long, one_long_strings = given_texts("C" * 33000, "P", "D", "R")
    four_long, four_long_strings = given_texts("C" * 8200, "P" * 8201, "D" * 8202, "R" * 8203)
    with_stub = lambda n: ["--payload", good, "--stub", f(n)]  # noqa: E731
    stub_size, unstartable = damaged_stubs(files)
    damaged = lambda n: f"stub '{f(n)}' is damaged: "  # noqa: E731
    output = os.path.join(WORK, "bad", "setup.exe")
    os.makedirs(os.path.dirname(output), exist_ok=True)
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
        (icon("zero-size.ico"), f"icon '{f('zero-size.ico')}' is not a valid .ico file: image 2 of 2 is empty (its size is 0)"),
        (icon("257-images.ico"), f"icon '{f('257-images.ico')}' is not a valid .ico file: it holds 257 images; "
                                 "kiteboot-wrap takes at most 256 (Windows shows one per size and depth)"),
        (icon("png-8-bytes.ico"), f"icon '{f('png-8-bytes.ico')}' is not a valid .ico file: image 1 of 1 is a PNG of 8 "
                                  "bytes, too few for its signature and header (33)"),
        (icon("bitmap-width-minus-1.ico"), f"icon '{f('bitmap-width-minus-1.ico')}' is not a valid .ico file: image 1 "
                                           "of 1 is a bitmap that has a width of -1; an icon's images take 1 to 1024"),
        (icon("bitmap-0-bits.ico"), f"icon '{f('bitmap-0-bits.ico')}' is not a valid .ico file: image 1 of 1 is a "
                                    "bitmap of 0 bits per pixel; a bitmap has 1, 4, 8, 16, 24 or 32"),
        (p("fifo"), f"payload '{f('fifo')}' is a FIFO, not a regular file"),
        (["--payload", "/dev/zero"], "payload '/dev/zero' is a character device, not a regular file"),
        (["--payload", good, "--file-version", "1.2.3"], "--file-version '1.2.3' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--file-version", "1.2.3.4.5"], "--file-version '1.2.3.4.5' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--file-version", "1.2.65536.4"], "--file-version '1.2.65536.4' has a number above 65535"),
        (["--payload", good, "--company", "A\tB"], "--company 'A\\tB' holds a line break or a tab"),
        (["--payload", good, "--product", "A\nB\x1b[31m"], "--product 'A\\nB\\x1b[31m' holds a line break or a tab"),
        (["--payload", good, "--product", "A\udcffB"], "--product 'A\\xffB' is not UTF-8 text"),  # the byte 0xff
        (["--payload", "--output", output], "option --payload needs a value, but the option '--output' follows it"),
        (["--payload", good, "--stub", f("text.exe")], f"stub '{f('text.exe')}' is not a Windows executable"),
        (["--payload", good, "--stub", f("missing.exe")], f"stub '{f('missing.exe')}' does not exist"),
        (["--payload", good, "--stub", f("s" * 300)], f"stub '{f('s' * 300)}' cannot be looked up: File name too long"),
        (["--payload", good, "--stub", f("folder.exe")], f"stub '{f('folder.exe')}' is a directory, not a file"),
        (["--payload", good, "--stub", f("bootstrapper.exe")],
         f"stub '{f('bootstrapper.exe')}' is a bootstrapper that already carries an installer (resource RT_RCDATA "
         "100), not the stub: give kiteboot-stub.exe, and the installer itself as --payload"),
        (["--payload", good, "--stub", f("other-format-stub.exe")],
         f"stub '{f('other-format-stub.exe')}' is a kiteboot stub of another format ('kiteboot stub 9'): give the "
         "kiteboot-stub.exe that came with this kiteboot-wrap"),
        (["--payload", good, "--output", good], f"--output '{good}' is the payload '{good}': {own_file}"),
        (["--payload", good, "--output", f("good-hard-link.exe")],
         f"--output '{f('good-hard-link.exe')}' is the payload '{good}': {own_file}"),
        (["--payload", good, "--stub", stub, "--output", f("stub-link.exe")],
         f"--output '{f('stub-link.exe')}' is the stub '{stub}': {own_file}"),
        (["--payload", good, "--icon", f("good.ico"), "--output", f("good.ico")],
         f"--output '{f('good.ico')}' is the icon '{f('good.ico')}': {own_file}"),
        (["--payload", good, "--output", f("folder.exe")],
         f"--output '{f('folder.exe')}' is a directory; --output names the bootstrapper's file"),
        (["--payload", good, "--output", f("fifo")], f"--output '{f('fifo')}' is a FIFO, {only_files}"),
        (["--payload", good, "--output", f("socket")], f"--output '{f('socket')}' is a socket, {only_files}"),
        (["--payload", good, "--output", f("dangling-link.exe")],
         f"--output '{f('dangling-link.exe')}' is a symbolic link to 'missing.exe', which does not exist: "
         "kiteboot-wrap replaces the file a link leads to, as cp does, and makes none"),
        (["--payload", good, "--output", f("missing/setup.exe")],
         f"--output '{f('missing/setup.exe')}' is in a directory that does not exist"),
        (["--payload", good, *one_long], too_long(one_long_strings, "--company", 33000)),
        (["--payload", good, *four_long], too_long(four_long_strings, "--copyright", 8203)),
        (with_stub("headers-7fffffff.exe"), damaged("headers-7fffffff.exe") +
         f"its headers (SizeOfHeaders): 2147483647 bytes at 0x0 pass the end of the file ({stub_size} bytes)"),
        (with_stub("headers-past-end.exe"), damaged("headers-past-end.exe") +
         f"its headers (SizeOfHeaders): {stub_size + 1} bytes at 0x0 pass the end of the file ({stub_size} bytes)"),
        (with_stub("headers-128k.exe"), damaged("headers-128k.exe") +
         "its headers (SizeOfHeaders) claim 131072 bytes, more than the 65536 headers can take"),
        (with_stub("resource-bomb.exe"), damaged("resource-bomb.exe") + "its resource directories hold more than 4096 entries"),
        *[(with_stub(name), f"stub '{f(name)}' {message}") for name, message in unstartable.items()],
        (["--payload", good, "--bogus", "x"], "unknown option '--bogus'"),
        (["--payload", good, "--payload", good], "option --payload is given twice"),
    ]
    if os.geteuid() == 0:  # a device made here, and a link to it: left as they are, not replaced
        os.mknod(f("device"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        os.symlink("device", f("device-link.exe"))
        table += [(["--payload", good, "--output", f("device")], f"--output '{f('device')}' is a character device, {only_files}"),
                  (["--payload", good, "--output", f("device-link.exe")],
                   f"--output '{f('device-link.exe')}' leads to '{f('device')}', a character device, {only_files}")]
    else:
        print("skip  a character device as --output: making one needs root")
    if "nsis" in S["payloads"]:  # a real installer as the stub and the stub as the payload: the options swapped
        table.append((["--payload", stub, "--stub", S["payloads"]["nsis"]], f"stub '{S['payloads']['nsis']}' {not_kiteboot}"))
    check_refused("", native_wrap, table, files, output)
    size_limit_tests(good, output)
    # Every problem at once.
    result = native_wrap("--payload", f("i386.exe"), "--icon", f("cursor.cur"), "--file-version", "1", "--output", output,
                         "--stub", S["stub"])
    check(result.returncode == 1 and result.stderr.count("kiteboot-wrap: ") == 3, "three problems, three lines")
    windows_bad_input_tests(files, good, output)
    output_and_program_tests(good)
    flush_before_rename_test(good)
    big = os.path.join(WORK, "big.exe")
    with open(big, "wb") as padded:  # a payload that takes a while to copy
        padded.write(read(good))
        for _ in range(256):
            padded.write(bytes(1 << 20))
    write_failure_test(big)
    interruption_tests(big)
    os.remove(big)


def size_limit_tests(good, output):
    """Just below and just above each limit, with sparse payloads. Above the limit of a bootstrapper that
    carries its payload after the image (4 GiB less 1 MiB) the payload is refused before anything is written:
    by its size alone with the other problems of the inputs, or once the image is planned. Just below, and just
    below 2 GiB (once refused, now carried after the image), it is accepted: the write then fails at a file size
    limit of 1 MiB, so the test writes nothing large."""
    limit = (4 << 30) - (1 << 20)
    small = os.path.join(WORK, "limits", "setup.exe")
    os.makedirs(os.path.dirname(small))
    run([S["native"], "--payload", good, "--output", small, "--stub", S["stub"]], env=APPEND)
    record = subprocess.run(["wrestool", "-x", "-R", "--type=10", "--name=101", small], capture_output=True).stdout
    room = limit - struct.unpack("<Q", record[8:16])[0]  # the image before the payload is the same for any size
    alignment = pefile.PE(small, fast_load=True).OPTIONAL_HEADER.FileAlignment
    huge = os.path.join(os.path.dirname(output), "..", "huge.exe")
    shutil.copyfile(good, huge)

    def mib(n):
        return f"{n >> 20} MiB ({n} bytes)"

    def at_most_1_mib_written():
        at_most_1_gib()
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

    rows = [
        (limit + 1, ["--file-version", "1"],
         [f"kiteboot-wrap: the payload of {mib(limit + 1)} is too large: a bootstrapper may take at most 4 GiB less "
          f"1 MiB ({limit} bytes), so that a signature still fits below 4 GiB, and it holds the payload and more\n",
          "kiteboot-wrap: --file-version '1' is not four numbers"]),
        (room + 1, [], [f"kiteboot-wrap: the payload of {mib(room + 1)} is too large: the bootstrapper would take "
                        f"{mib(limit + alignment)}, and one that carries its payload after the image may take at most 4 GiB "
                        f"less 1 MiB ({limit} bytes), so that a signature still fits below 4 GiB\n"]),
        (room, [], None),
        ((2 << 30) - (512 << 10), [], None),
    ]
    for size, options, messages in rows:
        os.truncate(huge, size)
        result = subprocess.run([S["native"], "--payload", huge, "--output", output, "--stub", S["stub"], *options],
                                capture_output=True, text=True, preexec_fn=at_most_1_mib_written)
        if messages:
            good_result = result.returncode == 1 and all(m in result.stderr for m in messages)
            what = "is refused with the limit, before anything is written"
        else:
            good_result = result.returncode == 1 and "File too large" in result.stderr and "too large:" not in \
                result.stderr
            what = "passes the checks (its write stops at the 1 MiB file size limit)"
        check(good_result and not os.listdir(os.path.dirname(output)),
              f"a payload of {size} bytes {what}, nothing left {'' if good_result else result.stderr}")
    os.remove(huge)


def windows_bad_input_tests(files, good, output):
    """The Windows program knows a file by its identity and a directory from a file, under names outside ASCII."""
    f = lambda n: os.path.join(files, n)  # noqa: E731
    payload = f("Установщик 中文.exe")
    shutil.copy(good, payload)
    os.link(payload, f("Ссылка 链接.exe"))
    w = windows_path
    table = [
        (["--payload", payload, "--output", f("Ссылка 链接.exe")],
         f"--output '{w(f('Ссылка 链接.exe'))}' is the payload '{w(payload)}': the bootstrapper must be written to a "
         "file of its own"),
        (["--payload", payload, "--output", f("folder.exe")],
         f"--output '{w(f('folder.exe'))}' is a directory; --output names the bootstrapper's file"),
        (["--payload", payload, "--stub", f("folder.exe")], f"stub '{w(f('folder.exe'))}' is a directory, not a file"),
    ]
    if "nsis" in S["payloads"]:
        installer = f("Инсталлятор NSIS.exe")
        shutil.copy(S["payloads"]["nsis"], installer)
        table.append((["--payload", payload, "--stub", installer],
                      f"stub '{w(installer)}' is not a kiteboot stub (it lacks the mark kiteboot-stub.exe carries): "
                      "--stub takes kiteboot-stub.exe, --payload the installer"))
    check_refused("Windows program: ", lambda *a: windows_wrap(S["windows"], *a), table, files, output)


def output_and_program_tests(good):
    """What is replaced and how: a link written through, a name of 250 bytes, modes after the umask; the
    program found through a link on PATH; causes in messages (a refused read, a full standard output)."""
    folder = os.path.join(WORK, "outputs")
    os.makedirs(folder)
    at = lambda n: os.path.join(folder, n)  # noqa: E731

    def bootstrapper(path):  # the output's name is in its version resource: read back, not compared
        return os.path.isfile(path) and read(path)[:2] == b"MZ" and pefile.PE(path).verify_checksum()

    def wrapped(name, umask=0o022, earlier=None, mode=0o644, arguments=()):
        """Wraps into the folder's file name (an earlier file there first); the result, and the file's mode."""
        if earlier is not None:
            with open(at(name), "wb") as f:
                f.write(earlier)
            os.chmod(at(name), mode)

        def limits():
            at_most_1_gib()
            os.umask(umask)
        result = run([S["native"], "--payload", good, "--output", at(name), "--stub", S["stub"], *arguments],
                     preexec_fn=limits)
        left = [n for n in os.listdir(folder) if n.endswith(".tmp")]
        written = result.returncode == 0 and not left and bootstrapper(at(name))
        return result, written, stat.S_IMODE(os.stat(at(name)).st_mode) if os.path.exists(at(name)) else None

    os.symlink("target.exe", at("link.exe"))
    result, written, _ = wrapped("link.exe", earlier=b"the earlier target")
    check(written and os.path.islink(at("link.exe")) and os.readlink(at("link.exe")) == "target.exe",
          f"a symbolic link as --output is written through, as cp does: the file it leads to is replaced, the link "
          f"kept {result.stderr}")
    result, written, _ = wrapped("s" * 246 + ".exe")
    check(written, f"an output name of 250 bytes is written (the temporary name fits too) {result.stderr}")
    for umask, earlier, mode, expected in [(0o077, None, None, 0o700), (0o022, None, None, 0o755),
                                           (0o022, b"earlier", 0o600, 0o600), (0o077, b"earlier", 0o755, 0o755)]:
        name = f"mode-{umask:03o}-{mode or 0:03o}.exe"
        result, written, got = wrapped(name, umask, earlier, mode)
        what = f"an existing {mode:03o} file keeps its mode" if earlier else f"a new file is 0777 less the umask"
        check(written and got == expected, f"umask {umask:03o}: {what}: {expected:03o} ({got and oct(got)}) {result.stderr}")

    # The program as a vendor puts it on PATH: a link to it in another folder; it finds the stub beside itself.
    for kind in ("tool", "bin"):
        os.makedirs(at(kind))
    shutil.copy(S["native"], at("tool/kiteboot-wrap"))
    shutil.copy(S["stub"], at("tool/kiteboot-stub.exe"))
    os.symlink("../tool/kiteboot-wrap", at("bin/kiteboot-wrap"))
    result = subprocess.run(["kiteboot-wrap", "--payload", good, "--output", at("through-path.exe")], cwd=at("bin"),
                            env={"PATH": at("bin")}, capture_output=True, text=True)
    check(result.returncode == 0 and bootstrapper(at("through-path.exe")),
          f"started through a symbolic link on PATH, kiteboot-wrap finds the stub beside the real program {result.stderr}")

    unreadable = at("unreadable.exe")
    shutil.copy(good, unreadable)
    os.chmod(unreadable, 0)
    as_nobody = (lambda: os.setuid(65534)) if os.geteuid() == 0 else None  # root reads any file
    result = run([S["native"], "--payload", unreadable, "--output", at("never.exe"), "--stub", S["stub"]],
                 preexec_fn=as_nobody)
    message = f"kiteboot-wrap: cannot open '{unreadable}' for reading: Permission denied\n"
    check(result.returncode == 1 and message in result.stderr and not os.path.exists(at("never.exe")),
          f"an unreadable payload is refused with the system's reason {result.stderr}")
    inspected = at("inspected.exe")
    native_wrap("--payload", good, "--output", inspected, "--stub", S["stub"])
    with open("/dev/full", "w") as full:
        for options in (["--help"], ["--version"], ["--inspect", inspected]):
            result = subprocess.run([S["native"], *options], stdout=full, stderr=subprocess.PIPE, text=True)
            check(result.returncode == 1 and result.stderr == "kiteboot-wrap: cannot write to standard output: No "
                  "space left on device\n", f"{options[0]} > /dev/full fails with the cause {result.returncode} {result.stderr}")


def flush_before_rename_test(good):
    """The output is on the disk before it takes its name: after a power cut the name holds the earlier file or
    the whole new one. The Linux program calls fsync on the temporary file before it renames it (strace); the
    Windows program FlushFileBuffers before MoveFileExW (Wine's relay trace)."""
    folder = os.path.join(WORK, "flush")
    os.makedirs(folder)
    output = os.path.join(folder, "setup.exe")
    trace = os.path.join(folder, "strace.txt")
    result = run(["strace", "-f", "-o", trace, "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2",
                  S["native"], "--payload", good, "--output", output, "--stub", S["stub"]])
    calls = read(trace).decode().splitlines() if os.path.exists(trace) else []
    temporary = next((line.split(" = ")[-1] for line in calls if ".tmp\"" in line and "O_CREAT" in line), "?")
    synced = [i for i, line in enumerate(calls) if re.search(rf"\b(fsync|fdatasync)\({temporary}\)\s+= 0", line)]
    renamed = [i for i, line in enumerate(calls) if re.search(r"rename(at2?)?\(.*\.tmp\".*setup\.exe\"", line)]
    check(result.returncode == 0 and synced and renamed and synced[-1] < renamed[0],
          f"Linux program: fsync of the temporary file (descriptor {temporary}) before its rename {calls[-4:]}")
    windows_output = os.path.join(folder, "windows-setup.exe")
    relay = windows_wrap(S["windows"], "--payload", good, "--output", windows_output, "--stub", S["stub"],
                         env={"WINEDEBUG": "+relay"})
    calls = [line for line in relay.stderr.splitlines() if re.search(r"Call KERNEL32\.(FlushFileBuffers|MoveFileEx)", line)]
    names = [re.search(r"\.(\w+)\(", line).group(1) for line in calls]
    check(relay.returncode == 0 and "FlushFileBuffers" in names and "MoveFileExW" in names and
          names.index("FlushFileBuffers") < names.index("MoveFileExW"),
          f"Windows program: FlushFileBuffers before MoveFileExW {names}")


def write_failure_test(payload):
    """A write that fails (here at the file size limit) leaves the earlier bootstrapper as it was, and no
    temporary file."""
    directory = os.path.join(WORK, "write-failure")
    os.makedirs(directory)
    output = os.path.join(directory, "setup.exe")
    with open(output, "wb") as earlier:
        earlier.write(b"the vendor's earlier bootstrapper")

    def limit_file_size():
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # the write fails with EFBIG instead

    result = subprocess.run([S["native"], "--payload", payload, "--output", output, "--stub", S["stub"]],
                            capture_output=True, text=True, preexec_fn=limit_file_size)
    check(result.returncode == 1 and "File too large" in result.stderr, f"a failed write is reported {result.stderr}")
    check(kept(output, b"the vendor's earlier bootstrapper") and os.listdir(directory) == ["setup.exe"],
          "... the earlier output is kept byte for byte, and no temporary file is left")


def interrupt_while_writing(command, directory, number):
    """Starts the command, sends the signal once the temporary output has bytes; whether it was writing, and
    the exit status."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    writing = False
    deadline = time.monotonic() + 60
    while not writing and process.poll() is None and time.monotonic() < deadline:
        temporary = [os.path.join(directory, n) for n in os.listdir(directory) if n.endswith(".tmp")]
        writing = any(os.path.getsize(t) > 0 for t in temporary if os.path.exists(t))
        time.sleep(0.002)
    process.send_signal(number)
    return writing, process.wait(timeout=60)


def interruption_tests(payload):
    """SIGINT, SIGTERM and SIGHUP during the write remove the temporary file, and the program dies of the
    signal, so its caller sees it. Wine turns SIGINT into Ctrl+C for the Windows program, which ends with
    the status of Ctrl+C (STATUS_CONTROL_C_EXIT; its low byte is what Wine's process exits with)."""
    directory = os.path.join(WORK, "interrupted")
    os.makedirs(directory)
    output = os.path.join(directory, "setup.exe")
    native = [S["native"], "--payload", payload, "--output", output, "--stub", S["stub"]]
    windows = [S["wine_run"], S["windows"], *(windows_path(a) if a.startswith("/") else a for a in native[1:])]
    for name, command, number, expected in [("SIGINT", native, signal.SIGINT, -signal.SIGINT),
                                            ("SIGTERM", native, signal.SIGTERM, -signal.SIGTERM),
                                            ("SIGHUP", native, signal.SIGHUP, -signal.SIGHUP),
                                            ("Windows program: Ctrl+C", windows, signal.SIGINT, 0xC000013A & 0xFF)]:
        with open(output, "wb") as earlier:
            earlier.write(b"the vendor's earlier bootstrapper")
        writing, status = interrupt_while_writing(command, directory, number)
        check(writing and status == expected, f"{name} while writing: the program dies of it ({status})")
        check(os.listdir(directory) == ["setup.exe"] and kept(output, b"the vendor's earlier bootstrapper"),
              f"{name}: no temporary file is left, the earlier output is kept {os.listdir(directory)}")


# The documents of every package, at the paths the README's links give them.
RELEASE_DOCS = ["LICENSE", "README.md", "THIRD-PARTY-NOTICES", "docs/fuzzing.md", "docs/packaging.md",
                "docs/performance.md", "docs/reliability.md", "docs/images/admin-notice.png",
                "docs/images/launch-overhead.png"]
RELEASE_FILES = RELEASE_DOCS + ["SHA256SUMS", "kiteboot-stub.exe"]
CMAKE_PACKAGE = [f"lib/cmake/kiteboot/{n}" for n in ["KitebootBootstrapper.cmake", "KitebootInputs.cmake",
                                                     "KitebootSign.cmake", "kitebootConfig.cmake",
                                                     "kitebootConfigVersion.cmake"]]
LINUX_FILES = RELEASE_FILES + CMAKE_PACKAGE + ["kiteboot-wrap", "kiteboot.ico"]


def default_wrap_reference():
    """The demo installer wrapped with the defaults by the build tree's own kiteboot-wrap."""
    native = os.path.join(WORK, "native-default", "release-setup.exe")
    os.makedirs(os.path.dirname(native), exist_ok=True)
    native_wrap("--payload", S["payloads"]["demo"], "--output", native, "--stub", S["stub"])
    return read(native)


def check_sums(name, folder, files):
    result = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder, capture_output=True, text=True)
    listed = len(files) - 1  # every file but SHA256SUMS itself
    check(result.returncode == 0 and result.stdout.count(": OK") == listed,
          f"{name}: sha256sum -c SHA256SUMS checks every other file {result.stdout}{result.stderr}")


def check_linux_program(name, tree, program, reference):
    """The program runs with nothing of the build machine: no PATH but its own folder, no library path,
    a working directory of its own; it finds its stub and wraps the same bytes as the build tree's."""
    folder = os.path.dirname(program)
    dynamic = run(["objdump", "-p", program]).stdout
    check("NEEDED" not in dynamic and "INTERP" not in dynamic, f"{name}: kiteboot-wrap needs no shared library")
    cwd = os.path.join(WORK, name + "-cwd")
    os.makedirs(cwd, exist_ok=True)
    output = os.path.join(cwd, "release-setup.exe")
    bare = {"PATH": folder}
    result = subprocess.run(["kiteboot-wrap", "--payload", S["payloads"]["demo"], "--output", output], cwd=cwd,
                            env=bare, capture_output=True, text=True)
    check(result.returncode == 0 and os.path.exists(output) and read(output) == reference,
          f"{name}: its kiteboot-wrap, found through PATH alone, wraps the same bytes as the build tree's {result.stderr}")
    version = subprocess.run(["kiteboot-wrap", "--version"], env=bare, capture_output=True, text=True)
    check(version.returncode == 0 and version.stdout == f"kiteboot-wrap {S['version']}\n",
          f"{name}: --version prints the tool's version {version.stdout!r}")
    if os.geteuid() == 0:  # a root holding nothing but the package's files and the installer: no C library
        jail = os.path.join(WORK, name + "-chroot")
        shutil.copytree(tree, os.path.join(jail, "kb"))
        shutil.copy(S["payloads"]["demo"], os.path.join(jail, "installer.exe"))
        inside = "/kb/" + os.path.relpath(program, tree)
        alone = run(["chroot", jail, inside, "--payload", "/installer.exe", "--output", "/release-setup.exe"])
        check(alone.returncode == 0 and read(os.path.join(jail, "release-setup.exe")) == reference,
              f"{name}: in a root that holds no C library it wraps the same bytes {alone.stderr}")


def release_tests():
    directory = S["release_dir"]
    v = S["version"]
    packages = [f"kiteboot-{v}-windows-x64.zip", f"kiteboot-{v}-linux-x86_64.tar.gz", f"kiteboot_{v}_amd64.deb"]
    made = sorted(n for n in os.listdir(directory) if n != "_CPack_Packages")  # cpack's work folder
    check(made == sorted(packages + ["SHA256SUMS"]), f"cpack made the three packages and their SHA256SUMS {made}")
    sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=directory, capture_output=True, text=True)
    check(sums.returncode == 0 and sums.stdout.count(": OK") == 3, f"the release's SHA256SUMS checks {sums.stdout}")
    reference = default_wrap_reference()

    with zipfile.ZipFile(os.path.join(directory, packages[0])) as archive:
        top = packages[0][:-len(".zip")]
        names = sorted(n[len(top) + 1:] for n in archive.namelist() if not n.endswith("/"))
        check(names == sorted(RELEASE_FILES + ["kiteboot-wrap.exe"]), f"the ZIP holds, in {top}/, {names}")
        unpacked = os.path.join(WORK, "zip")
        archive.extractall(unpacked)
    check_sums("ZIP", os.path.join(unpacked, top), names)
    check_links("ZIP", os.path.join(unpacked, top))
    program = os.path.join(unpacked, top, "kiteboot-wrap.exe")
    output = os.path.join(WORK, "release-setup.exe")
    result = windows_wrap(program, "--payload", S["payloads"]["demo"], "--output", output)
    check(result.returncode == 0 and os.path.exists(output) and read(output) == reference,
          f"ZIP: kiteboot-wrap.exe finds its stub beside it and wraps the same bytes as the Linux program {result.stderr}")
    help_text = windows_wrap(program, "--help")
    check(help_text.returncode == 0 and "Usage: kiteboot-wrap --payload" in help_text.stdout, "ZIP: --help prints the usage")
    version = windows_wrap(program, "--version")
    check(version.returncode == 0 and version.stdout.replace("\r", "") == f"kiteboot-wrap {v}\n",
          f"ZIP: --version prints the tool's version {version.stdout!r}")

    with tarfile.open(os.path.join(directory, packages[1])) as archive:
        top = packages[1][:-len(".tar.gz")]
        members = archive.getmembers()
        names = sorted(m.name[len(top) + 1:] for m in members if m.isfile())
        check(names == sorted(LINUX_FILES), f"the tar.gz holds, in {top}/, {names}")
        check(all(m.uid == 0 and m.gid == 0 for m in members), "the tar.gz's files belong to root")
        unpacked = os.path.join(WORK, "tar")  # an empty folder
        archive.extractall(unpacked)
    tree = os.path.join(unpacked, top)
    check_sums("tar.gz", tree, names)
    check_links("tar.gz", tree)
    check_linux_program("tar.gz", tree, os.path.join(tree, "kiteboot-wrap"), reference)
    check_consumer("tar.gz", tree, "lib/cmake/kiteboot")
    check_readme_signing(tree)

    deb = os.path.join(directory, packages[2])
    listing = run(["dpkg-deb", "-c", deb]).stdout.splitlines()
    files = sorted(line.split()[-1] for line in listing if not line.startswith("d"))
    doc = "./usr/share/doc/kiteboot/"
    expected = (["./usr/bin/kiteboot-wrap", "./usr/share/kiteboot/kiteboot-stub.exe", "./usr/share/kiteboot/kiteboot.ico",
                 "./usr/share/man/man1/kiteboot-wrap.1.gz", "./usr/share/lintian/overrides/kiteboot",
                 doc + "copyright", doc + "changelog.gz"] +
                [doc + name for name in RELEASE_DOCS] + ["./usr/" + name for name in CMAKE_PACKAGE])
    check(files == sorted(expected), "dpkg-deb -c lists the tool in /usr/bin, the stub in /usr/share/kiteboot, "
                                     f"the documents in /usr/share/doc/kiteboot, the CMake package {files}")
    check(all(" root/root " in line for line in listing), "the .deb's files belong to root")
    fields = run(["dpkg-deb", "-f", deb, "Package", "Version", "Architecture"]).stdout
    check(fields == f"Package: kiteboot\nVersion: {v}\nArchitecture: amd64\n", f"the .deb's control fields {fields!r}")
    root = os.path.join(WORK, "deb-root")
    check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x unpacks the .deb into a throwaway root")
    check_linux_program(".deb", root, os.path.join(root, "usr", "bin", "kiteboot-wrap"), reference)
    check_links(".deb", os.path.join(root, "usr", "share", "doc", "kiteboot"))
    check_manual_page(os.path.join(root, "usr", "share", "man", "man1", "kiteboot-wrap.1.gz"))
    check_consumer(".deb", os.path.join(root, "usr"), "lib/cmake/kiteboot")
    check_lintian(deb)


MARKDOWN_LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
# Code is not read for links: fenced blocks and spans in backticks (a record such as "[1920](...)").
MARKDOWN_CODE = re.compile(r"```.*?```|`[^`\n]*`", re.S)


def check_links(name, folder):
    """Every relative link of the README and of the pages shipped with it names a file of the package."""
    docs = os.path.join(folder, "docs")
    pages = ["README.md"] + (["docs/" + n for n in sorted(os.listdir(docs)) if n.endswith(".md")]
                             if os.path.isdir(docs) else [])
    followed, broken = 0, []
    for page in pages:
        with open(os.path.join(folder, page), encoding="utf-8") as f:
            text = f.read()
        for target in MARKDOWN_LINK.findall(MARKDOWN_CODE.sub("", text)):
            if re.match(r"[a-z]+:", target) or target.startswith("#"):  # a web address, a heading of the page
                continue
            followed += 1
            path = os.path.normpath(os.path.join(os.path.dirname(page), target.split("#")[0]))
            if path.startswith("..") or not os.path.isfile(os.path.join(folder, path)):
                broken.append(f"{page}: {target}")
    check(followed >= 10 and not broken,
          f"{name}: the {followed} relative links of the README and the pages shipped with it resolve {broken}")


def check_consumer(name, prefix, config_dir):
    """A vendor's CMake project (test/packaging/consumer) finds kiteboot in the unpacked package and builds a
    bootstrapper with its tool and stub, which runs."""
    source = os.path.join(WORK, "consumer-src")
    if not os.path.exists(source):
        shutil.copytree(os.path.join(S["source_dir"], "test", "packaging", "consumer"), source)
        shutil.copy(S["vendor_icon"], os.path.join(source, "vendor.ico"))
    build = os.path.join(WORK, name.strip(".") + "-consumer")
    config = os.path.join(prefix, config_dir)
    configure = run([S["cmake"], "-S", source, "-B", build, "-G", "Ninja", f"-Dkiteboot_DIR={config}",
                     f"-DCMAKE_TOOLCHAIN_FILE={S['source_dir']}/cmake/toolchain-mingw-w64.cmake",
                     f"-DVENDOR_PAYLOAD={S['payloads']['demo']}"])
    made = configure.returncode == 0 and run([S["cmake"], "--build", build]).returncode == 0
    check(made, f"{name}: the consumer project configures with kiteboot_DIR={config} and builds" +
                ("" if made else f" {configure.stdout[-1500:]}{configure.stderr[-2000:]}"))
    if not made:
        return
    commands = read(os.path.join(build, "build.ninja")).decode()
    check(os.path.join(prefix, "kiteboot-stub.exe") in commands or os.path.join(prefix, "share/kiteboot/kiteboot-stub.exe")
          in commands, f"{name}: the consumer wraps with the package's stub")
    status = run([S["wine_run"], os.path.join(build, "Vendor Setup.exe"), "/s", "/exitcode=7"]).returncode
    check(status == 7, f"{name}: the consumer's bootstrapper runs under Wine and returns the installer's 7 ({status})")


def check_manual_page(page):
    """The manual page describes every option that kiteboot-wrap --help lists."""
    if not os.path.exists(page):
        check(False, f".deb: {page} exists")
        return
    options = set(re.findall(r"--[a-z][a-z-]*", run([S["native"], "--help"]).stdout))
    with gzip.open(page, "rt", encoding="utf-8") as f:
        text = f.read().replace("\\-", "-")
    missing = sorted(o for o in options if not re.search(r"^\.BI? " + o + r"\b", text, re.M))
    check(len(options) >= 10 and not missing, f".deb: the manual page describes every option of --help {missing}")


def check_lintian(deb):
    """lintian, Debian's own checker, finds no error and no warning (the package declares its intended
    static program in its overrides)."""
    result = run(["lintian", "--fail-on", "error,warning", "--tag-display-limit", "0", deb])
    print(result.stdout, end="")
    check(result.returncode == 0 and not re.search(r"^[EW]: ", result.stdout, re.M),
          f"lintian finds no error and no warning in the .deb {result.stderr[-1000:]}")


def readme_block(readme, marker):
    """The shell block that follows <!-- marker --> in the README, as a vendor would paste it."""
    with open(readme, encoding="utf-8") as f:
        found = re.search(r"<!-- " + re.escape(marker) + r" -->\n```sh\n(.*?)```", f.read(), re.S)
    return found.group(1) if found else None


def check_readme_signing(tree):
    """The README's offline and self-made-certificate signing commands, run as they stand in the shipped
    README, on a bootstrapper wrapped by the package's tool, sign what osslsigncode then verifies."""
    readme = os.path.join(tree, "README.md")
    folder = os.path.join(WORK, "readme-signing")
    os.makedirs(folder)
    wrapped = run([os.path.join(tree, "kiteboot-wrap"), "--payload", S["payloads"]["demo"], "--output",
                   os.path.join(folder, "AcmeSetup.exe")])
    # The offline variant signs with acme-codesign.p12 and the password in acme-codesign.password: here a
    # throwaway certificate, which the check below trusts.
    made = run(["sh", "-ec", "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Acme "
                "-addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem && "
                "printf 'correct horse\\n' > acme-codesign.password && "
                "openssl pkcs12 -export -inkey key.pem -in cert.pem -out acme-codesign.p12 "
                "-passout file:acme-codesign.password"], cwd=folder)
    ready = wrapped.returncode == 0 and made.returncode == 0
    check(ready, "the signing inputs are made" + ("" if ready else f" {wrapped.stderr}{made.stderr}"))
    for marker, certificate in (("signing: offline", "cert.pem"), ("signing: self-made certificate", None)):
        block = readme_block(readme, marker)
        if block is None:
            check(False, f"README: a shell block follows <!-- {marker} -->")
            continue
        for name in ("AcmeSetup-signed.exe", "test-cert.pem"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
        result = run(["sh", "-ec", block], cwd=folder)
        signed = os.path.join(folder, "AcmeSetup-signed.exe")
        verify = run(["osslsigncode", "verify", "-CAfile", os.path.join(folder, certificate or "test-cert.pem"),
                      "-in", signed])
        signed_ok = result.returncode == 0 and verify.returncode == 0 and "Signature verification: ok" in verify.stdout
        check(signed_ok, f"README: the {marker} commands run as written and sign what osslsigncode verifies" +
              ("" if signed_ok else f" {result.stdout[-1500:]}{result.stderr[-1500:]}{verify.stdout[-1500:]}"))


def reproducible_tests():
    """A second build tree elsewhere, built minutes later and packed in another time zone, makes the same
    stub, programs and packages."""
    second = os.path.join(WORK, "second-tree-somewhere-else")
    configure = run([S["cmake"], "-S", S["source_dir"], "-B", second, "-G", "Ninja", "-DKITEBOOT_BUILD_TESTS=OFF",
                     f"-DCMAKE_TOOLCHAIN_FILE={S['source_dir']}/cmake/toolchain-mingw-w64.cmake"])
    build = run([S["cmake"], "--build", second, "--target", "kiteboot_release_files"])
    built = configure.returncode == 0 and build.returncode == 0
    check(built, "the second tree builds" + ("" if built else f" {configure.stderr[-2000:]}{build.stdout[-3000:]}"))
    first_release = os.path.join(WORK, "first-release")
    # Packed in two time zones (a ZIP records local times): the release fixes its own.
    for tree, release, zone in ((S["build_dir"], first_release, "UTC0"),
                                (second, os.path.join(second, "release"), "JST-9")):
        shutil.rmtree(release, ignore_errors=True)
        made = run([S["cpack"], "--config", os.path.join(tree, "CPackConfig.cmake"), "-B", release], {"TZ": zone})
        check(made.returncode == 0, f"cpack in {tree} with TZ={zone} {made.stderr}")
    for name in ["bin/kiteboot-stub.exe", "bin/kiteboot-wrap.exe", "host-tools/kiteboot-wrap"]:
        a, b = os.path.join(S["build_dir"], name), os.path.join(second, name)
        check(os.path.exists(b) and read(a) == read(b), f"{name} is the same in both trees")
    names = sorted(n for n in os.listdir(first_release) if n != "_CPack_Packages")
    second_names = sorted(n for n in os.listdir(os.path.join(second, "release")) if n != "_CPack_Packages")
    check(len(names) == 4 and names == second_names, f"both made {names}")
    for name in names:
        check(read(os.path.join(first_release, name)) == read(os.path.join(second, "release", name)),
              f"{name} is the same bytes from both trees")


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
{"wrap": wrap_tests, "bad": bad_input_tests, "release": release_tests,
 "reproducible": reproducible_tests}[sys.argv[2]]()
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
