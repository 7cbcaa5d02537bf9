# Compiler and linker settings shared by every target of the project.

# kiteboot_set_warnings(<target>): warnings on; errors too when KITEBOOT_WARNINGS_AS_ERRORS is set (CI).
function(kiteboot_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8 $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${KITEBOOT_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
endfunction()

# kiteboot_link_standalone(<target>): the executable imports system DLLs only.
function(kiteboot_link_standalone target)
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    elseif(MSVC)
        set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    endif()
endfunction()

if(MINGW)
    # Source paths in __FILE__ are relative to the tree, so builds do not depend on where they run (also
    # when another project includes this one with add_subdirectory).
    add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
    # No link time stamp in the PE header: the same inputs give the same executable.
    add_link_options(-Wl,--no-insert-timestamp)
    add_compile_definitions(_WIN32_WINNT=0x0601)
elseif(MSVC)
    add_compile_definitions(_WIN32_WINNT=0x0601 _CRT_SECURE_NO_WARNINGS)
endif()
