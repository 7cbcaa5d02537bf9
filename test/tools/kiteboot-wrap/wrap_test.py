#!/usr/bin/python3
"""kiteboot-wrap end to end: the Linux program and the Windows program (under Wine) wrap the same
installers into byte-identical bootstrappers; tools no one here wrote read them back (wrestool, pefile,
osslsigncode); the bootstrappers run under Wine; bad input is refused with its message and leaves no file.
The release packages unpacked and their programs run with nothing of the build machine; a second build
tree makes the same bytes.

    wrap_test.py <settings.json> wrap|bad|release|reproducible

Runs with Debian's python3, which has python3-pefile.
"""
import json
import os
import shutil
import subprocess
import sys
import tarfile
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


def run(command, env=None):
    return subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, **(env or {})))


def native_wrap(*arguments):
    return run([S["native"], *arguments])


def windows_wrap(program, *arguments):
    converted = [windows_path(a) if a.startswith("/") else a for a in arguments]
    return run([S["wine_run"], program, *converted])


def read(path):
    with open(path, "rb") as f:
        return f.read()


VENDOR = ["--icon", S["vendor_icon"], "--file-version", "2.3.4.5", "--company", 'Vendor "Quoted" Corp',
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


def bad_input_tests():
    files = os.path.join(WORK, "files")
    subprocess.run([sys.executable, S["make_fixtures"], files, S["payloads"]["demo"]], check=True)
    os.makedirs(os.path.join(files, "folder.exe"), exist_ok=True)
    good = os.path.join(files, "good.exe")
    needed = "but the payload must be a 64-bit (AMD64) Windows executable"
    f = lambda n: os.path.join(files, n)  # noqa: E731
    p = lambda n: ["--payload", f(n)]  # noqa: E731
    icon = lambda n: ["--payload", good, "--icon", f(n)]  # noqa: E731
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
        (["--payload", good, "--file-version", "1.2.3"], "--file-version '1.2.3' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--file-version", "1.2.3.4.5"], "--file-version '1.2.3.4.5' is not four numbers separated by dots (like 1.2.3.4)"),
        (["--payload", good, "--file-version", "1.2.65536.4"], "--file-version '1.2.65536.4' has a number above 65535"),
        (["--payload", good, "--company", "A\tB"], "--company 'A\tB' holds a line break or a tab"),
        (["--payload", good, "--product", "A\nB"], "--product 'A\nB' holds a line break or a tab"),
        (["--payload", good, "--stub", f("text.exe")], f"stub '{f('text.exe')}' is not a Windows executable"),
        (["--payload", good, "--stub", f("missing.exe")], f"stub '{f('missing.exe')}' does not exist"),
        (["--payload", good, "--stub", f("s" * 300)], f"stub '{f('s' * 300)}' does not exist"),  # ENAMETOOLONG
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
    # Every problem at once.
    result = native_wrap("--payload", f("i386.exe"), "--icon", f("cursor.cur"), "--file-version", "1", "--output", output,
                         "--stub", S["stub"])
    check(result.returncode == 1 and result.stderr.count("kiteboot-wrap: ") == 3, "three problems, three lines")


RELEASE_FILES = ["LICENSE", "README.md", "SHA256SUMS", "THIRD-PARTY-NOTICES", "docs/packaging.md", "kiteboot-stub.exe"]


def default_wrap_reference():
    """The demo installer wrapped with the defaults by the build tree's own kiteboot-wrap."""
    native = os.path.join(WORK, "native-default", "release-setup.exe")
    os.makedirs(os.path.dirname(native), exist_ok=True)
    native_wrap("--payload", S["payloads"]["demo"], "--output", native, "--stub", S["stub"])
    return read(native)


def check_sums(name, folder):
    result = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder, capture_output=True, text=True)
    listed = len(RELEASE_FILES)  # every file but SHA256SUMS itself, and kiteboot-wrap
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
    check_sums("ZIP", os.path.join(unpacked, top))
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
        check(names == sorted(RELEASE_FILES + ["kiteboot-wrap"]), f"the tar.gz holds, in {top}/, {names}")
        check(all(m.uid == 0 and m.gid == 0 for m in members), "the tar.gz's files belong to root")
        unpacked = os.path.join(WORK, "tar")  # an empty folder
        archive.extractall(unpacked)
    check_sums("tar.gz", os.path.join(unpacked, top))
    check_linux_program("tar.gz", os.path.join(unpacked, top), os.path.join(unpacked, top, "kiteboot-wrap"), reference)

    deb = os.path.join(directory, packages[2])
    listing = run(["dpkg-deb", "-c", deb]).stdout.splitlines()
    files = sorted(line.split()[-1] for line in listing if not line.startswith("d"))
    doc = "./usr/share/doc/kiteboot/"
    check(files == sorted(["./usr/bin/kiteboot-wrap", "./usr/share/kiteboot/kiteboot-stub.exe", doc + "LICENSE",
                           doc + "README.md", doc + "THIRD-PARTY-NOTICES", doc + "copyright", doc + "packaging.md"]),
          f"dpkg-deb -c lists the tool in /usr/bin, the stub in /usr/share/kiteboot, the documents {files}")
    check(all(" root/root " in line for line in listing), "the .deb's files belong to root")
    fields = run(["dpkg-deb", "-f", deb, "Package", "Version", "Architecture"]).stdout
    check(fields == f"Package: kiteboot\nVersion: {v}\nArchitecture: amd64\n", f"the .deb's control fields {fields!r}")
    root = os.path.join(WORK, "deb-root")
    check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x unpacks the .deb into a throwaway root")
    check_linux_program(".deb", root, os.path.join(root, "usr", "bin", "kiteboot-wrap"), reference)


def reproducible_tests():
    """A second build tree elsewhere, built minutes later, makes the same stub, programs and packages."""
    second = os.path.join(WORK, "second-tree-somewhere-else")
    configure = run([S["cmake"], "-S", S["source_dir"], "-B", second, "-G", "Ninja", "-DKITEBOOT_BUILD_TESTS=OFF",
                     f"-DCMAKE_TOOLCHAIN_FILE={S['source_dir']}/cmake/toolchain-mingw-w64.cmake"])
    build = run([S["cmake"], "--build", second, "--target", "kiteboot_release_files"])
    built = configure.returncode == 0 and build.returncode == 0
    check(built, "the second tree builds" + ("" if built else f" {configure.stderr[-2000:]}{build.stdout[-3000:]}"))
    first_release = os.path.join(WORK, "first-release")
    for tree, release in ((S["build_dir"], first_release), (second, os.path.join(second, "release"))):
        shutil.rmtree(release, ignore_errors=True)
        made = run([S["cpack"], "--config", os.path.join(tree, "CPackConfig.cmake"), "-B", release])
        check(made.returncode == 0, f"cpack in {tree} {made.stderr}")
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
