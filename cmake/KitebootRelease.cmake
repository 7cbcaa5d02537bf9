# The release packages for vendors, made by `cpack` in a build tree (into build/release/):
#
#   kiteboot-<version>-windows-x64.zip       kiteboot-wrap.exe and the stub, for Windows build servers
#   kiteboot-<version>-linux-x86_64.tar.gz   kiteboot-wrap (linked statically) and the stub, for any x86-64 Linux
#   kiteboot_<version>_amd64.deb             /usr/bin/kiteboot-wrap, /usr/share/kiteboot/kiteboot-stub.exe
#   SHA256SUMS                               the sums of the three
#
# Each archive holds, in a folder of its own name, kiteboot-wrap, kiteboot-stub.exe, README.md,
# docs/packaging.md, LICENSE, THIRD-PARTY-NOTICES and SHA256SUMS (the sums of its own files); the Debian
# package holds the same under /usr. The default build makes everything they hold (the target
# kiteboot_release_files), and the same sources give the same bytes, wherever and whenever they are built
# (cmake/KitebootReleaseGenerator.cmake and KitebootReleaseStage.cmake).

set(release_version ${PROJECT_VERSION})
set(release_work ${CMAKE_BINARY_DIR}/release-files)
get_property(release_host_wrap GLOBAL PROPERTY KITEBOOT_DEFAULT_WRAP)
# The Linux packages need a kiteboot-wrap built for x86-64 Linux: the native one of a cross build there.
set(release_for_linux OFF)
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(release_for_linux ON)
endif()
add_custom_target(kiteboot_release_files ALL)
add_dependencies(kiteboot_release_files kiteboot_wrap kiteboot_stub)

# The time stamp of every file in the packages: SOURCE_DATE_EPOCH when it is set (at configure time or
# when cpack runs), otherwise the time of the last commit, otherwise a fixed day.
set(release_epoch 1767225600)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(release_epoch $ENV{SOURCE_DATE_EPOCH})
else()
    find_program(KITEBOOT_GIT git)
    if(KITEBOOT_GIT)
        execute_process(COMMAND ${KITEBOOT_GIT} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
        if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
            set(release_epoch ${commit_time})
        endif()
    endif()
endif()

# _kiteboot_release_contents(<component> <folder of the program> <folder of the stub> <folder of the docs>
#                            <program file> <program name> [SUMS]): installs one package's files into
# <component>; with SUMS also the SHA256SUMS of them, written by the build.
function(_kiteboot_release_contents component bin data doc program program_name)
    set(files
        "${bin}" "${program_name}" "${program}"
        "${data}" "kiteboot-stub.exe" "$<TARGET_FILE:kiteboot_stub>"
        "${doc}" "README.md" "${PROJECT_SOURCE_DIR}/README.md"
        "${doc}/docs" "packaging.md" "${PROJECT_SOURCE_DIR}/docs/packaging.md"
        "${doc}" "LICENSE" "${PROJECT_SOURCE_DIR}/LICENSE"
        "${doc}" "THIRD-PARTY-NOTICES" "${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES")
    if(NOT ARGN STREQUAL "SUMS")
        # A Debian package keeps its documents flat in /usr/share/doc/kiteboot, with the license as copyright.
        string(REPLACE "${doc}/docs" "${doc}" files "${files}")
        list(APPEND files "${doc}" "copyright" "${PROJECT_SOURCE_DIR}/LICENSE")
    endif()
    set(sums_arguments "")
    list(LENGTH files count)
    math(EXPR last "${count} - 1")
    foreach(index RANGE 0 ${last} 3)
        math(EXPR name_index "${index} + 1")
        math(EXPR file_index "${index} + 2")
        list(GET files ${index} destination)
        list(GET files ${name_index} name)
        list(GET files ${file_index} file)
        if(name STREQUAL program_name OR name STREQUAL "kiteboot-stub.exe")
            install(PROGRAMS "${file}" DESTINATION "${destination}" RENAME "${name}" COMPONENT ${component}
                    EXCLUDE_FROM_ALL)
        else()
            install(FILES "${file}" DESTINATION "${destination}" RENAME "${name}" COMPONENT ${component}
                    EXCLUDE_FROM_ALL)
        endif()
        cmake_path(RELATIVE_PATH destination BASE_DIRECTORY "${doc}" OUTPUT_VARIABLE relative)
        if(relative STREQUAL ".")
            set(relative "")
        else()
            set(relative "${relative}/")
        endif()
        list(APPEND sums_arguments "${relative}${name}" "${file}")
    endforeach()
    if(ARGN STREQUAL "SUMS")
        set(sums ${release_work}/${component}/SHA256SUMS)
        add_custom_command(OUTPUT ${sums}
            COMMAND ${CMAKE_COMMAND} -D OUTPUT=${sums} -P ${PROJECT_SOURCE_DIR}/cmake/KitebootChecksums.cmake
                    ${sums_arguments}
            DEPENDS ${PROJECT_SOURCE_DIR}/cmake/KitebootChecksums.cmake kiteboot_stub "${program}"
                    ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/packaging.md
                    ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
            COMMENT "Checksums of the ${component} release archive"
            VERBATIM)
        add_custom_target(kiteboot_release_${component}_sums DEPENDS ${sums})
        add_dependencies(kiteboot_release_files kiteboot_release_${component}_sums)
        install(FILES ${sums} DESTINATION "${doc}" COMPONENT ${component} EXCLUDE_FROM_ALL)
    endif()
endfunction()

_kiteboot_release_contents(windows . . . "$<TARGET_FILE:kiteboot_wrap>" kiteboot-wrap.exe SUMS)
set(release_generators ZIP)
if(release_for_linux)
    _kiteboot_release_contents(linux . . . "${release_host_wrap}" kiteboot-wrap SUMS)
    _kiteboot_release_contents(debian bin share/kiteboot share/doc/kiteboot "${release_host_wrap}" kiteboot-wrap)
    add_dependencies(kiteboot_release_files kiteboot_wrap_host)
    add_dependencies(kiteboot_release_linux_sums kiteboot_wrap_host)
    list(APPEND release_generators TGZ DEB)
endif()
add_dependencies(kiteboot_release_windows_sums kiteboot_wrap)

set(CPACK_GENERATOR ${release_generators})
set(CPACK_PACKAGE_NAME kiteboot)
set(CPACK_PACKAGE_VERSION ${release_version})
set(CPACK_PACKAGE_VENDOR "The kiteboot developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Makes installer bootstrappers for 64-bit Windows, without a compiler")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL windows)  # each generator takes its own (KitebootReleaseGenerator.cmake)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The kiteboot developers")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kiteboot-wrap writes a bootstrapper from the prebuilt kiteboot stub and a 64-bit Windows installer, with the vendor's icon and version information.")
set(CPACK_DEBIAN_FILE_NAME kiteboot_${release_version}_amd64.deb)
set(CPACK_KITEBOOT_VERSION ${release_version})
set(CPACK_KITEBOOT_SOURCE_DATE_EPOCH ${release_epoch})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseGenerator.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseSums.cmake)
include(CPack)
