# kiteboot_add_bootstrapper: wraps an installer into a kiteboot bootstrapper executable.
#
#   kiteboot_add_bootstrapper(<target> PAYLOAD <installer.exe>
#       [OUTPUT_NAME <name>]            file name without .exe (default: <target>)
#       [ICON <file.ico>]               icon group 101 (default: the kiteboot kite)
#       [VERSION <a.b.c.d>]             file and product version (default: kiteboot's version)
#       [COMPANY <text>] [PRODUCT <text>] [DESCRIPTION <text>] [COPYRIGHT <text>]
#       [SIGN_PKCS12 <file.p12> | SIGN_CERT <cert.pem> SIGN_KEY <key.pem>]
#       [SIGN_PASSWORD_FILE <file>] [TIMESTAMP_URL <url>]
#       [SOURCES <extra sources>...])
#
# The bootstrapper is made by kiteboot-wrap from the stub (the launcher linked once, without a payload):
# <target> is a custom target whose file, <OUTPUT_NAME>.exe in the runtime output directory, is the
# target's property KITEBOOT_OUTPUT_FILE. With SOURCES, the stub is linked for this target with them.
#
# The payload may be a generator expression such as $<TARGET_FILE:my_installer>. It is checked when the
# project is configured (if it exists by then) and again by the build before it is wrapped: it must be a
# 64-bit (AMD64) Windows executable. The icon and the version are checked the same way. With signing
# options the executable is Authenticode-signed (SHA-256) right after it is wrapped; a failed signature
# removes the executable, so a later build does not take an unsigned file for finished.
#
# Available after add_subdirectory(<kiteboot source>) and after find_package(kiteboot), which both call
# kiteboot_bootstrapper_defaults() with the launcher, the stub, kiteboot-wrap and the default branding.

include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/KitebootInputs.cmake)

# kiteboot_bootstrapper_defaults(STUB <file> WRAP <program> ICON <file>
#     VERSION <a.b.c.d> COMPANY <text> PRODUCT <text> DESCRIPTION <text> COPYRIGHT <text>
#     [LAUNCHER <target> MANIFEST <file>]
#     [TOOL_TARGETS <targets that make the stub and kiteboot-wrap>...])
# Records the prebuilt stub, the kiteboot-wrap that runs on this machine and the branding used when a
# bootstrapper does not give its own; and, where kiteboot's libraries are at hand (its sources, or an
# installation of them), the launcher target (the objects holding WinMain, linked with the rest of
# kiteboot) the stub was linked from and its manifest, for bootstrappers that link a stub of their own.
# The release packages have no launcher: they wrap with the prebuilt stub only.
function(kiteboot_bootstrapper_defaults)
    set(required STUB WRAP ICON VERSION COMPANY PRODUCT DESCRIPTION COPYRIGHT)
    cmake_parse_arguments(ARG "" "${required};LAUNCHER;MANIFEST" "TOOL_TARGETS" ${ARGN})
    if(DEFINED ARG_LAUNCHER AND NOT DEFINED ARG_MANIFEST)
        list(APPEND required MANIFEST)
    endif()
    foreach(value ${required})
        if(NOT DEFINED ARG_${value})
            message(FATAL_ERROR "kiteboot_bootstrapper_defaults: ${value} is missing")
        endif()
    endforeach()
    foreach(value ${required} LAUNCHER MANIFEST)
        set_property(GLOBAL PROPERTY KITEBOOT_DEFAULT_${value} "${ARG_${value}}")
    endforeach()
    set_property(GLOBAL PROPERTY KITEBOOT_DEFAULT_STUB_LAUNCHER "${ARG_LAUNCHER}")
    set_property(GLOBAL PROPERTY KITEBOOT_TOOL_TARGETS "${ARG_TOOL_TARGETS}")
endfunction()

# Text as a string literal of a resource script: quotes doubled, backslashes escaped.
function(_kiteboot_rc_string text result)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\"\"" text "${text}")
    set(${result} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Adds the line "<context>: <problem>" to <problems> when <problem> is not empty. (A text, not a list:
# problems name files, and a file name may hold a semicolon.)
macro(_kiteboot_note problems problem)
    if(NOT "${problem}" STREQUAL "")
        string(APPEND ${problems} "${context}: ${problem}\n")
    endif()
endmacro()

# True (in <result>) when <path> is known only at build time: a generator expression, or a file that does
# not exist yet inside the build tree, where some rule of the build may make it.
function(_kiteboot_made_by_build path result)
    cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${path}" NORMALIZE in_build_tree)
    if(path MATCHES "\\$<" OR (NOT EXISTS "${path}" AND in_build_tree))
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

# Writes <text> to <file> when the file does not hold it already, so that an unchanged file keeps its time
# and nothing is rebuilt for it. The text is written as it is: no variable or generator expression in it
# is expanded.
function(_kiteboot_write_if_changed file text)
    if(EXISTS "${file}")
        file(READ "${file}" current)
        if(current STREQUAL text)
            return()
        endif()
    endif()
    file(WRITE "${file}" "${text}")
endfunction()

# The header that names the stub's mark for kiteboot-wrap and for this file: in kiteboot's sources, or in
# the headers of an installation that holds the launcher (a stub is linked only where the launcher is).
set_property(GLOBAL PROPERTY _KITEBOOT_RESOURCES_HEADERS
    "${CMAKE_CURRENT_LIST_DIR}/../src/common/share/BootstrapperResources.h"
    "${PACKAGE_PREFIX_DIR}/include/kiteboot/common/share/BootstrapperResources.h")

# The stub's mark, read from that header: its type (<prefix>_TYPE), name (_NAME) and text (_TEXT).
function(_kiteboot_stub_mark prefix)
    get_property(headers GLOBAL PROPERTY _KITEBOOT_RESOURCES_HEADERS)
    foreach(header ${headers})
        if(EXISTS "${header}")
            file(STRINGS "${header}" lines REGEX "^constexpr [^=]* kStubMark(Type|Name|Text) = ")
            foreach(line ${lines})
                if(line MATCHES "kStubMarkType = u\"([A-Z]+)\";")
                    set(${prefix}_TYPE "${CMAKE_MATCH_1}" PARENT_SCOPE)
                elseif(line MATCHES "kStubMarkName = ([0-9]+);")
                    set(${prefix}_NAME "${CMAKE_MATCH_1}" PARENT_SCOPE)
                elseif(line MATCHES "kStubMarkText = \"([^\"\\]+)\";")
                    set(${prefix}_TEXT "${CMAKE_MATCH_1}" PARENT_SCOPE)
                endif()
            endforeach()
            list(LENGTH lines count)
            if(NOT count EQUAL 3)
                message(FATAL_ERROR "${header} does not name the stub's mark in three lines as written")
            endif()
            return()
        endif()
    endforeach()
    message(FATAL_ERROR "The header that names the stub's mark is missing; looked for: ${headers}")
endfunction()

# The resource script of a stub's branding: manifest, icon group 101 and version information, all in
# language 1033 (English, United States), and the stub's mark, which kiteboot-wrap checks before it
# writes from a stub. kiteboot-wrap replaces the icon and the version information.
function(_kiteboot_resource_script result manifest icon version strings)
    string(REPLACE "." "," numbers "${version}")
    set(rc "#pragma code_page(65001)\nLANGUAGE 9, 1\n\n")
    _kiteboot_rc_string("${manifest}" manifest_literal)
    _kiteboot_rc_string("${icon}" icon_literal)
    _kiteboot_stub_mark(mark)
    _kiteboot_rc_string("${mark_TEXT}" mark_literal)
    string(APPEND rc "1 24 ${manifest_literal}\n101 ICON ${icon_literal}\n"
                     "${mark_NAME} ${mark_TYPE} { ${mark_literal} }\n\n")
    string(APPEND rc "1 VERSIONINFO\nFILEVERSION ${numbers}\nPRODUCTVERSION ${numbers}\n"
                     "FILEFLAGSMASK 0x3f\nFILEFLAGS 0x0\nFILEOS 0x40004\nFILETYPE 0x1\nFILESUBTYPE 0x0\n"
                     "BEGIN\n    BLOCK \"StringFileInfo\"\n    BEGIN\n        BLOCK \"040904b0\"\n        BEGIN\n")
    list(LENGTH strings count)
    math(EXPR last "${count} - 1")
    foreach(index RANGE 0 ${last} 2)
        math(EXPR value_index "${index} + 1")
        list(GET strings ${index} key)
        list(GET strings ${value_index} value)
        _kiteboot_rc_string("${value}" value_literal)
        string(APPEND rc "            VALUE \"${key}\", ${value_literal}\n")
    endforeach()
    string(APPEND rc "        END\n    END\n    BLOCK \"VarFileInfo\"\n    BEGIN\n"
                     "        VALUE \"Translation\", 0x409, 1200\n    END\nEND\n")
    set(${result} "${rc}" PARENT_SCOPE)
endfunction()

# The signing parameters of one target, written as a script that KitebootSign.cmake reads at build time.
function(_kiteboot_signing_script target file tool pkcs12 cert key password_file timestamp_url description)
    set(script "# Signing parameters of ${target}, written by kiteboot_add_bootstrapper.\n")
    foreach(name tool pkcs12 cert key password_file timestamp_url description)
        string(TOUPPER "${name}" upper)
        string(APPEND script "set(SIGN_${upper} [==[${${name}}]==])\n")
    endforeach()
    _kiteboot_write_if_changed("${file}" "${script}")
endfunction()

# Finds the signing tool: osslsigncode wherever it is installed, otherwise signtool on a Windows host.
function(_kiteboot_find_signing_tool result)
    find_program(KITEBOOT_OSSLSIGNCODE osslsigncode NO_CMAKE_FIND_ROOT_PATH)
    if(KITEBOOT_OSSLSIGNCODE)
        set(${result} "${KITEBOOT_OSSLSIGNCODE}" PARENT_SCOPE)
        return()
    endif()
    if(CMAKE_HOST_WIN32)
        find_program(KITEBOOT_SIGNTOOL signtool NO_CMAKE_FIND_ROOT_PATH)
        if(KITEBOOT_SIGNTOOL)
            set(${result} "${KITEBOOT_SIGNTOOL}" PARENT_SCOPE)
            return()
        endif()
    endif()
    set(${result} "" PARENT_SCOPE)
endfunction()

# _kiteboot_link_stub(<target> <launcher> <output name> <work dir> [sources...]): the launcher linked into
# a stub with the default branding and the sources: static runtime (it imports system DLLs only), no link
# time stamp (equal inputs give an equal file), a file alignment equal to the page size (the loader maps
# the image instead of reading the whole payload into memory before the program starts), no debug
# sections and no symbols.
function(_kiteboot_link_stub target launcher output_name work)
    if(NOT DEFINED CMAKE_RC_COMPILE_OBJECT OR NOT DEFINED CMAKE_CXX_LINK_EXECUTABLE)
        message(FATAL_ERROR "${target}: linking a stub of its own (SOURCES) needs the CXX and RC languages "
                            "in this project, for example project(<name> LANGUAGES CXX RC)")
    endif()
    get_property(manifest GLOBAL PROPERTY KITEBOOT_DEFAULT_MANIFEST)
    foreach(name ICON VERSION COMPANY PRODUCT DESCRIPTION COPYRIGHT)
        get_property(${name} GLOBAL PROPERTY KITEBOOT_DEFAULT_${name})
    endforeach()
    set(strings
        CompanyName "${COMPANY}"
        FileDescription "${DESCRIPTION}"
        FileVersion "${VERSION}"
        InternalName "${output_name}"
        LegalCopyright "${COPYRIGHT}"
        OriginalFilename "${output_name}.exe"
        ProductName "${PRODUCT}"
        ProductVersion "${VERSION}")
    _kiteboot_resource_script(rc "${manifest}" "${ICON}" "${VERSION}" "${strings}")
    _kiteboot_write_if_changed(${work}/${output_name}.rc "${rc}")
    set_source_files_properties(${work}/${output_name}.rc PROPERTIES OBJECT_DEPENDS "${manifest};${ICON}")
    add_executable(${target} WIN32 ${work}/${output_name}.rc ${ARGN})
    target_link_libraries(${target} PRIVATE ${launcher})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME "${output_name}" LINKER_LANGUAGE CXX)
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -s
                            -Wl,--no-insert-timestamp -Wl,--file-alignment,0x1000)
    elseif(MSVC)
        set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
        target_link_options(${target} PRIVATE /Brepro /DEBUG:NONE)
    endif()
endfunction()

# The implementation behind kiteboot_add_bootstrapper; the option ALLOW_NO_PAYLOAD makes a launcher without
# resource 100, which only the project's own tests need.
function(_kiteboot_add_bootstrapper target)
    set(options ALLOW_NO_PAYLOAD)
    set(values PAYLOAD OUTPUT_NAME ICON VERSION COMPANY PRODUCT DESCRIPTION COPYRIGHT
               SIGN_PKCS12 SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE TIMESTAMP_URL)
    cmake_parse_arguments(ARG "${options}" "${values}" "SOURCES" ${ARGN})
    set(context "kiteboot_add_bootstrapper(${target})")
    set(scripts ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${context}: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    get_property(launcher GLOBAL PROPERTY KITEBOOT_DEFAULT_LAUNCHER)
    get_property(default_stub GLOBAL PROPERTY KITEBOOT_DEFAULT_STUB)
    if(NOT default_stub)
        message(FATAL_ERROR "${context}: kiteboot is not set up; use find_package(kiteboot) or "
                            "add_subdirectory(<kiteboot source>) first")
    endif()
    foreach(name ICON VERSION COMPANY PRODUCT DESCRIPTION COPYRIGHT)
        if(NOT DEFINED ARG_${name})
            get_property(ARG_${name} GLOBAL PROPERTY KITEBOOT_DEFAULT_${name})
        endif()
    endforeach()
    if(NOT ARG_OUTPUT_NAME)
        set(ARG_OUTPUT_NAME ${target})
    endif()
    foreach(name PAYLOAD ICON SIGN_PKCS12 SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE)
        if(NOT "${ARG_${name}}" STREQUAL "" AND NOT ARG_${name} MATCHES "^\\$<")
            get_filename_component(ARG_${name} "${ARG_${name}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        endif()
    endforeach()

    # Every problem that can be seen now is reported at once, each naming its file or value.
    set(problems "")
    if("${ARG_PAYLOAD}" STREQUAL "" AND NOT ARG_ALLOW_NO_PAYLOAD)
        _kiteboot_note(problems "PAYLOAD is required: the installer to wrap")
    elseif(NOT "${ARG_PAYLOAD}" STREQUAL "")
        _kiteboot_made_by_build("${ARG_PAYLOAD}" payload_later)
        if(NOT payload_later)
            kiteboot_check_payload("${ARG_PAYLOAD}" problem)
            _kiteboot_note(problems "${problem}")
        endif()
    endif()
    _kiteboot_made_by_build("${ARG_ICON}" icon_later)
    if(NOT icon_later)
        kiteboot_check_icon("${ARG_ICON}" problem)
        _kiteboot_note(problems "${problem}")
    endif()
    kiteboot_check_version("${ARG_VERSION}" problem)
    _kiteboot_note(problems "${problem}")
    foreach(name COMPANY PRODUCT DESCRIPTION COPYRIGHT OUTPUT_NAME)
        if(ARG_${name} MATCHES "[\r\n\t]")
            _kiteboot_note(problems "${name} '${ARG_${name}}' holds a line break or a tab")
        endif()
    endforeach()

    set(signing FALSE)
    if(ARG_SIGN_PKCS12 OR ARG_SIGN_CERT OR ARG_SIGN_KEY)
        set(signing TRUE)
        if(ARG_SIGN_PKCS12 AND (ARG_SIGN_CERT OR ARG_SIGN_KEY))
            _kiteboot_note(problems "give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both")
        elseif(NOT ARG_SIGN_PKCS12 AND NOT (ARG_SIGN_CERT AND ARG_SIGN_KEY))
            _kiteboot_note(problems "SIGN_CERT and SIGN_KEY go together")
        endif()
        foreach(name SIGN_PKCS12 SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE)
            if(ARG_${name} AND NOT EXISTS "${ARG_${name}}")
                _kiteboot_note(problems "${name} '${ARG_${name}}' does not exist")
            endif()
        endforeach()
        _kiteboot_find_signing_tool(sign_tool)
        if(NOT sign_tool)
            _kiteboot_note(problems "signing needs osslsigncode (Debian package osslsigncode) or, on Windows, "
                                    "signtool from the Windows SDK; neither was found")
        elseif(sign_tool MATCHES "signtool" AND NOT ARG_SIGN_PKCS12)
            _kiteboot_note(problems "signtool signs with a PKCS#12 file only: give SIGN_PKCS12")
        endif()
    elseif(ARG_SIGN_PASSWORD_FILE OR ARG_TIMESTAMP_URL)
        _kiteboot_note(problems "SIGN_PASSWORD_FILE and TIMESTAMP_URL need SIGN_PKCS12 or SIGN_CERT with SIGN_KEY")
    endif()

    if(NOT problems STREQUAL "")
        string(STRIP "${problems}" problems)
        message(FATAL_ERROR "${problems}")
    endif()

    # The build checks the payload and the icon again before they are wrapped: either may be made or
    # replaced after the project was configured.
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.kiteboot)
    set(stamp ${work}/inputs.checked)
    set(check_args -D "CONTEXT=${context}" -D "ICON=${ARG_ICON}" -D "STAMP=${stamp}")
    set(check_depends "${ARG_ICON}")
    if(NOT "${ARG_PAYLOAD}" STREQUAL "")
        list(APPEND check_args -D "PAYLOAD=${ARG_PAYLOAD}")
        list(APPEND check_depends "${ARG_PAYLOAD}")
    endif()
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} ${check_args} -P ${scripts}/KitebootInputs.cmake
        DEPENDS ${check_depends} ${scripts}/KitebootInputs.cmake
        COMMENT "Checking the payload and icon of ${target}"
        VERBATIM)

    get_property(stub GLOBAL PROPERTY KITEBOOT_DEFAULT_STUB)
    get_property(stub_launcher GLOBAL PROPERTY KITEBOOT_DEFAULT_STUB_LAUNCHER)
    if(ARG_SOURCES OR NOT launcher STREQUAL stub_launcher OR "${ARG_PAYLOAD}" STREQUAL "")
        # A stub of this target's own: the launcher linked with its sources. Without a payload it is the
        # result itself.
        if(NOT launcher)
            message(FATAL_ERROR "${context}: SOURCES needs kiteboot's libraries, which a release package does "
                                "not hold: use kiteboot through add_subdirectory(<kiteboot source>), or "
                                "find_package(kiteboot) after cmake --install of a build of its sources")
        endif()
        if("${ARG_PAYLOAD}" STREQUAL "")
            _kiteboot_link_stub(${target} ${launcher} "${ARG_OUTPUT_NAME}" "${work}" ${ARG_SOURCES} ${stamp})
            return()
        endif()
        _kiteboot_link_stub(${target}_stub ${launcher} stub "${work}" ${ARG_SOURCES})
        set_target_properties(${target}_stub PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${work}")
        set(stub $<TARGET_FILE:${target}_stub>)
        set(stub_target ${target}_stub)
    endif()

    if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
        set(output_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    else()
        set(output_dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    set(output "${output_dir}/${ARG_OUTPUT_NAME}.exe")
    get_property(wrap GLOBAL PROPERTY KITEBOOT_DEFAULT_WRAP)
    get_property(tool_targets GLOBAL PROPERTY KITEBOOT_TOOL_TARGETS)
    set(commands COMMAND ${wrap} --payload ${ARG_PAYLOAD} --output ${output} --stub ${stub} --icon ${ARG_ICON}
                         --file-version ${ARG_VERSION} "--company=${ARG_COMPANY}" "--product=${ARG_PRODUCT}"
                         "--description=${ARG_DESCRIPTION}" "--copyright=${ARG_COPYRIGHT}")
    if(signing)
        set(sign_params ${work}/signing.cmake)
        _kiteboot_signing_script(${target} ${sign_params} "${sign_tool}" "${ARG_SIGN_PKCS12}" "${ARG_SIGN_CERT}"
                                 "${ARG_SIGN_KEY}" "${ARG_SIGN_PASSWORD_FILE}" "${ARG_TIMESTAMP_URL}"
                                 "${ARG_DESCRIPTION}")
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -D "PARAMETERS=${sign_params}" -D "FILE=${output}"
                                     -P ${scripts}/KitebootSign.cmake)
        list(APPEND check_depends ${sign_params} ${scripts}/KitebootSign.cmake)
    endif()
    add_custom_command(OUTPUT ${output}
        ${commands}
        DEPENDS ${stamp} ${check_depends} ${stub} ${wrap} ${stub_target}
        COMMENT "Wrapping ${ARG_OUTPUT_NAME}.exe"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
    set_target_properties(${target} PROPERTIES KITEBOOT_OUTPUT_FILE ${output})
    if(tool_targets)
        add_dependencies(${target} ${tool_targets})
    endif()
endfunction()

function(kiteboot_add_bootstrapper target)
    cmake_parse_arguments(ARG "ALLOW_NO_PAYLOAD" "" "" ${ARGN})
    if(ARG_ALLOW_NO_PAYLOAD)
        message(FATAL_ERROR "kiteboot_add_bootstrapper(${target}): unknown arguments: ALLOW_NO_PAYLOAD")
    endif()
    _kiteboot_add_bootstrapper(${target} ${ARGN})
endfunction()
