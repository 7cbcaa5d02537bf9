# Compiler and linker settings of the project's targets. Each target takes them where it is declared,
# with kiteboot_target_defaults; none is set for a whole folder, so what a target is built with shows at
# its declaration, and kiteboot_check_build_options finds a target declared without them.

# kiteboot_target_defaults(<target>): what every program and library of the project is built with: the
# options of kiteboot_build_options, and warnings on (errors too when KITEBOOT_WARNINGS_AS_ERRORS is set,
# as in CI).
function(kiteboot_target_defaults target)
    kiteboot_build_options(${target})
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8 $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
endfunction()

# kiteboot_build_options(<target>): how every object and program of the build is compiled and linked,
# whoever wrote its sources (GoogleTest's libraries take these, not the project's warnings). The source
# tree mapped is that of the project whose folder declares the target.
function(kiteboot_build_options target)
    set_property(TARGET ${target} PROPERTY KITEBOOT_BUILD_OPTIONS TRUE)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        # Source paths in __FILE__ are relative to the tree (and generated files' to the build tree), so
        # builds do not depend on where they run (also when another project includes this one with
        # add_subdirectory).
        target_compile_options(${target} PRIVATE
            -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
            -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
        # A section per function and per datum, so that the linker can drop what a program never uses
        # (with mingw-w64, whole functions go only in a whole-program link: see below).
        target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
        target_link_options(${target} PRIVATE -Wl,--gc-sections)
    endif()
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # Programs link the ordinary code of objects that also carry the intermediate form (see below),
        # unless they ask for a whole-program link.
        target_link_options(${target} PRIVATE -fno-lto)
    endif()
    if(MINGW)
        # No link time stamp in the PE header: the same inputs give the same executable.
        target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
        target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601)
    elseif(MSVC)
        target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601 _CRT_SECURE_NO_WARNINGS)
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

# kiteboot_check_build_options(<folder>): stops the configuration when a target compiled in <folder> or a
# folder below it was declared without kiteboot_target_defaults (or, for another project's sources,
# kiteboot_build_options): its programs would differ from a build's where it has them.
function(kiteboot_check_build_options folder)
    set(missing "")
    set(folders ${folder})
    while(folders)
        list(POP_FRONT folders current)
        get_property(below DIRECTORY ${current} PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${below})
        get_property(targets DIRECTORY ${current} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(type ${target} TYPE)
            get_target_property(has_options ${target} KITEBOOT_BUILD_OPTIONS)
            if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$"
               AND NOT has_options)
                list(APPEND missing ${target})
            endif()
        endforeach()
    endwhile()
    if(missing)
        list(JOIN missing ", " missing)
        message(FATAL_ERROR "Declared without kiteboot_target_defaults: ${missing}")
    endif()
endfunction()
