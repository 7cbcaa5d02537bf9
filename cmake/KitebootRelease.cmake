# The release packages for vendors, made by `cpack` in a build tree (into build/release/):
#
#   kiteboot-<version>-windows-x64.zip       kiteboot-wrap.exe and the stub, for Windows build servers
#   kiteboot-<version>-linux-x86_64.tar.gz   kiteboot-wrap (linked statically) and the stub, for any x86-64 Linux
#   kiteboot_<version>_amd64.deb             /usr/bin/kiteboot-wrap, /usr/share/kiteboot/kiteboot-stub.exe
#   SHA256SUMS                               the sums of the three
#
# Each archive holds, in a folder of its own name, kiteboot-wrap, kiteboot-stub.exe, README.md,
# docs/packaging.md, LICENSE, THIRD-PARTY-NOTICES and SHA256SUMS (the sums of its own files, written when
# it is packed); the Debian package holds the same under /usr. The default build makes everything they
# hold (the target kiteboot_release_files), and the same sources give the same bytes, wherever and
# whenever they are built (cmake/KitebootReleaseGenerator.cmake and KitebootReleaseStage.cmake).

set(release_version ${PROJECT_VERSION})
get_property(release_host_wrap GLOBAL PROPERTY KITEBOOT_DEFAULT_WRAP)
# The Linux packages need a kiteboot-wrap built for x86-64 Linux: the native one of a cross build there.
set(release_for_linux OFF)
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(release_for_linux ON)
endif()
add_custom_target(kiteboot_release_files ALL)
add_dependencies(kiteboot_release_files kiteboot_wrap kiteboot_stub)

# _kiteboot_release_contents(<component> <folder of the program> <folder of the stub> <folder of the docs>
#                            <program file> <program name>): installs one package's files into <component>.
function(_kiteboot_release_contents component bin data doc program program_name)
    install(PROGRAMS "${program}" DESTINATION ${bin} RENAME ${program_name} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(PROGRAMS $<TARGET_FILE:kiteboot_stub> DESTINATION ${data} COMPONENT ${component} EXCLUDE_FROM_ALL)
    foreach(name README.md docs/packaging.md LICENSE THIRD-PARTY-NOTICES)
        get_filename_component(folder ${doc}/${name} DIRECTORY)
        if(component STREQUAL "debian")
            set(folder ${doc})  # a Debian package keeps its documents flat in /usr/share/doc/kiteboot
        endif()
        install(FILES ${PROJECT_SOURCE_DIR}/${name} DESTINATION ${folder} COMPONENT ${component} EXCLUDE_FROM_ALL)
    endforeach()
    if(component STREQUAL "debian")
        install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc} RENAME copyright COMPONENT ${component}
                EXCLUDE_FROM_ALL)
    else()
        # The sums of the files installed so far, taken when the package is made, so that they are always
        # those of the files packed.
        install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" -D \"OUTPUT=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/SHA256SUMS\"
                                              -D \"FOLDER=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\"
                                              -P \"${PROJECT_SOURCE_DIR}/cmake/KitebootChecksums.cmake\"
                                      COMMAND_ERROR_IS_FATAL ANY)"
                COMPONENT ${component} EXCLUDE_FROM_ALL)
    endif()
endfunction()

_kiteboot_release_contents(windows . . . "$<TARGET_FILE:kiteboot_wrap>" kiteboot-wrap.exe)
set(release_generators ZIP)
if(release_for_linux)
    _kiteboot_release_contents(linux . . . "${release_host_wrap}" kiteboot-wrap)
    _kiteboot_release_contents(debian bin share/kiteboot share/doc/kiteboot "${release_host_wrap}" kiteboot-wrap)
    add_dependencies(kiteboot_release_files kiteboot_wrap_host)
    list(APPEND release_generators TGZ DEB)
endif()

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
set(CPACK_KITEBOOT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseGenerator.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseSums.cmake)
include(CPack)
