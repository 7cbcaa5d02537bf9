// The demo installer: shows what it was given and exits with the code that "/exitcode=N" asks for
// (0 by default). With "/s" it shows nothing.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string text = "Demo installer started from\n";
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    text += directory;
    text += "\n\nwith the command line\n";
    text += GetCommandLineA();
    bool silent = false;
    int exitCode = 0;
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "/s") == 0) silent = true;
        if (std::strncmp(__argv[i], "/exitcode=", 10) == 0) exitCode = std::atoi(__argv[i] + 10);
    }
    if (!silent) MessageBoxA(nullptr, text.c_str(), "kiteboot demo installer", MB_OK | MB_ICONINFORMATION);
    return exitCode;
}
