; A small real installer, built by makensis at build time. Like every installer of its kind it reads its
; raw command line: /S must stand bare, and /D=<directory> must come last, unquoted, spaces allowed. It
; writes "silent" (or "interactive") into installed.txt in the installation directory and exits with 5.
Unicode true
Target amd64-unicode
Name "kiteboot NSIS probe"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\kiteboot NSIS probe"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles

Section
    SetOutPath "$INSTDIR"
    FileOpen $0 "$INSTDIR\installed.txt" w
    IfSilent 0 +3
        FileWrite $0 "silent"
        Goto +2
    FileWrite $0 "interactive"
    FileClose $0
    SetErrorLevel 5
SectionEnd
