#!/bin/sh
# Checks of the bootstrapper executable itself:
# - its import table names only libraries that Windows always loads from the system directory (the
#   KnownDLLs), so nothing next to the launcher or in its current directory can stand in for them at load
#   time, and not the windowing library, which it binds at run time;
# - the test hook exists only in the test launcher built with it (the check is shown able to see it there);
# - it holds only code the launcher calls: not the path-based file utilities, which a launcher linked the
#   ordinary way (the test launcher) still holds, and no thread library.
#   executable_checks.sh <objdump> <kiteboot.exe> <hooked_launcher.exe>
set -u
objdump=$1
product=$2
hooked=$3
status=0

# The KnownDLLs of Windows 10 and 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs).
known="advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll
rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll"

imports=$("$objdump" -p "$product" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
if [ -z "$imports" ]; then
    echo "no import table read from $product"
    exit 1
fi
for dll in $imports; do
    case " $(echo $known) " in
    *" $dll "*) echo "imports $dll: a KnownDLL" ;;
    *) echo "imports $dll: NOT a KnownDLL"; status=1 ;;
    esac
done
if echo "$imports" | grep -qx 'user32.dll'; then
    echo "imports user32.dll, which must be bound at run time"
    status=1
fi

# text is in the test launcher, so the check can see it, and not in the product; what names it.
only_in_test_launcher() {
    if ! grep -aq "$1" "$hooked"; then
        echo "the test launcher has no text of $2: this check could not see it in the product either"
        status=1
    elif grep -aq "$1" "$product"; then
        echo "the product holds $2 ($1)"
        status=1
    else
        echo "$2: in the test launcher only"
    fi
}
# Bootstrappers carry no symbols; the hook's code names its environment variables.
only_in_test_launcher KITEBOOT_TEST_TAMPER "the test hook"
# Linked as one program: the file utilities' path-based deletion is in the libraries, never called.
only_in_test_launcher "Failed to discard R/O attribute" "the unused file utilities"
if grep -aqi "winpthread" "$product"; then
    echo "the product holds the winpthreads library"
    status=1
fi
exit $status
