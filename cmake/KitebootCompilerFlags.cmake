# Compiler and linker settings shared by every target of the project.

# kiteboot_set_warnings(<target>): warnings on; errors too when KITEBOOT_WARNINGS_AS_ERRORS is set (CI).
function(kiteboot_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8 $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
endfunction()

# kiteboot_link_standalone(<target>): the executable runs on machines that have no compiler: on Windows it
# imports system DLLs only; on Linux it is linked statically, C library included, so it runs on any x86-64
# Linux whatever its C library's age (linked with Debian 12's glibc as a shared library, it would need
# glibc 2.36 or later: arc4random@GLIBC_2.36, __libc_start_main@GLIBC_2.34, ...). Stripped: no build
# paths, and smaller.
function(kiteboot_link_standalone target)
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    elseif(MSVC)
        set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        target_link_options(${target} PRIVATE -static $<$<CONFIG:Release>:-s>)
    endif()
endfunction()

# kiteboot_whole_program_objects(<target>): the target's objects also carry the compiler's intermediate
# form, so that a program linked with kiteboot_link_whole_program keeps only the functions it calls, with
# their texts. (The mingw-w64 linker keeps every function's unwind data, and with it the function, even
# when nothing calls it: sections per function alone drop nothing.) Other programs link the same objects
# as usual.
function(kiteboot_whole_program_objects target)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -flto -ffat-lto-objects)
    endif()
endfunction()

# kiteboot_link_whole_program(<target>): optimised as one program at the link (see above).
function(kiteboot_link_whole_program target)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_link_options(${target} PRIVATE -flto -flto-partition=one)
    elseif(MSVC)
        target_link_options(${target} PRIVATE /OPT:REF /OPT:ICF)
    endif()
endfunction()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # Source paths in __FILE__ are relative to the tree (and generated files' to the build tree), so builds
    # do not depend on where they run (also when another project includes this one with add_subdirectory).
    add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                        -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
    # A section per function and per datum, so that the linker can drop what a program never uses (with
    # mingw-w64, whole functions go only in a whole-program link: see above).
    add_compile_options(-ffunction-sections -fdata-sections)
    add_link_options(-Wl,--gc-sections)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Programs link the ordinary code of objects that also carry the intermediate form (see above), unless
    # they ask for a whole-program link.
    add_link_options(-fno-lto)
endif()
if(MINGW)
    # No link time stamp in the PE header: the same inputs give the same executable.
    add_link_options(-Wl,--no-insert-timestamp)
    add_compile_definitions(_WIN32_WINNT=0x0601)
elseif(MSVC)
    add_compile_definitions(_WIN32_WINNT=0x0601 _CRT_SECURE_NO_WARNINGS)
endif()
