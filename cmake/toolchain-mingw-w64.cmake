# Cross-compiles for 64-bit Windows with the mingw-w64 toolchain, Win32 threads model: the runtime it links
# statically uses Windows' own primitives, so no thread library (winpthreads) ends up in the programs. The
# launcher has one thread; a test that needs a second one starts it with CreateThread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KITEBOOT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KITEBOOT_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KITEBOOT_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${KITEBOOT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KITEBOOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)


# Installed with kiteboot (as <prefix>/share/kiteboot/toolchain-mingw-w64.cmake): packages installed in
# the same prefix, kiteboot's own among them, are found by find_package without further settings.
if(CMAKE_CURRENT_LIST_DIR MATCHES "/share/kiteboot$")
    get_filename_component(KITEBOOT_INSTALL_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
    list(APPEND CMAKE_FIND_ROOT_PATH ${KITEBOOT_INSTALL_PREFIX})
endif()
