# The release packages for vendors, made by `cpack` in a build tree (into build/release/):
#
#   kiteboot-<version>-windows-x64.zip       kiteboot-wrap.exe and the stub, for Windows build servers
#   kiteboot-<version>-linux-x86_64.tar.gz   kiteboot-wrap (linked statically) and the stub, for any x86-64 Linux
#   kiteboot_<version>_amd64.deb             /usr/bin/kiteboot-wrap, /usr/share/kiteboot/kiteboot-stub.exe
#   SHA256SUMS                               the sums of the three
#
# Each archive holds, in a folder of its own name, kiteboot-wrap, kiteboot-stub.exe, README.md, the pages
# of docs/ it links (with their images, at the same relative paths, so every link works in the unpacked
# folder), LICENSE, THIRD-PARTY-NOTICES and SHA256SUMS (the sums of its own files, written when it is
# packed). The Linux archive and the Debian package also hold the CMake package (lib/cmake/kiteboot), so
# find_package(kiteboot) finds the tool and the stub beside it, and the default icon. The Debian package
# holds the same under /usr, the documents in /usr/share/doc/kiteboot with the files Debian asks for
# (copyright, changelog, the manual page, lintian's overrides: cmake/debian/, KitebootReleaseDebian.cmake).
# The default build makes everything they hold (the target kiteboot_release_files), and the same sources
# give the same bytes, wherever and whenever they are built (cmake/KitebootReleaseGenerator.cmake and
# KitebootReleaseStage.cmake).

set(release_version ${PROJECT_VERSION})
get_property(release_host_wrap GLOBAL PROPERTY KITEBOOT_DEFAULT_WRAP)
# The Linux packages need a kiteboot-wrap built for x86-64 Linux: the native one of a cross build there.
set(release_for_linux OFF)
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(release_for_linux ON)
endif()
add_custom_target(kiteboot_release_files ALL)
add_dependencies(kiteboot_release_files kiteboot_wrap kiteboot_stub)

set(release_documents README.md LICENSE THIRD-PARTY-NOTICES docs/fuzzing.md docs/packaging.md docs/performance.md
                      docs/reliability.md docs/images/admin-notice.png docs/images/launch-overhead.png)
set(release_maintainer "kiteboot developers <kiteboot@example.org>")

# _kiteboot_release_contents(<component> <folder of the program> <folder of the stub> <folder of the docs>
#                            <program file> <program name>): installs one package's files into <component>.
function(_kiteboot_release_contents component bin data doc program program_name)
    install(PROGRAMS "${program}" DESTINATION ${bin} RENAME ${program_name} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(PROGRAMS $<TARGET_FILE:kiteboot_stub> DESTINATION ${data} COMPONENT ${component} EXCLUDE_FROM_ALL)
    foreach(name ${release_documents})
        get_filename_component(folder ${doc}/${name} DIRECTORY)
        install(FILES ${PROJECT_SOURCE_DIR}/${name} DESTINATION ${folder} COMPONENT ${component} EXCLUDE_FROM_ALL)
    endforeach()
    if(component STREQUAL "debian")
        install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${doc} COMPONENT ${component}
                EXCLUDE_FROM_ALL)
        install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides DESTINATION share/lintian/overrides
                RENAME kiteboot COMPONENT ${component} EXCLUDE_FROM_ALL)
        install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\" -D \"FOLDER=\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\"
                                              -D \"VERSION=${PROJECT_VERSION}\"
                                              -D \"MAINTAINER=${release_maintainer}\"
                                              -P \"${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseDebian.cmake\"
                                      COMMAND_ERROR_IS_FATAL ANY)"
                COMPONENT ${component} EXCLUDE_FROM_ALL)
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

# _kiteboot_release_cmake_package(<component> <folder of the program> <folder of the stub>): the CMake
# package, in lib/cmake/kiteboot, for kiteboot_add_bootstrapper with the package's tool and stub. Its
# paths are relative to itself (kitebootConfig.cmake.in); the package holds no launcher libraries, so
# SOURCES needs kiteboot built from its sources.
function(_kiteboot_release_cmake_package component bin data)
    set(KITEBOOT_INSTALL_BINDIR ${bin})
    set(KITEBOOT_INSTALL_DATADIR ${data})
    set(KITEBOOT_WRAP_NAME kiteboot-wrap)
    set(folder ${CMAKE_BINARY_DIR}/release-cmake/${component})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kitebootConfig.cmake.in ${folder}/kitebootConfig.cmake
        INSTALL_DESTINATION lib/cmake/kiteboot
        PATH_VARS KITEBOOT_INSTALL_DATADIR KITEBOOT_INSTALL_BINDIR)
    # Nothing in it is compiled, so any project may use it, whatever its target's pointer size.
    write_basic_package_version_file(${folder}/kitebootConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
    install(FILES ${folder}/kitebootConfig.cmake ${folder}/kitebootConfigVersion.cmake
                  ${PROJECT_SOURCE_DIR}/cmake/KitebootBootstrapper.cmake
                  ${PROJECT_SOURCE_DIR}/cmake/KitebootInputs.cmake
                  ${PROJECT_SOURCE_DIR}/cmake/KitebootSign.cmake
            DESTINATION lib/cmake/kiteboot COMPONENT ${component} EXCLUDE_FROM_ALL)
    get_property(icon GLOBAL PROPERTY KITEBOOT_DEFAULT_ICON)
    install(FILES ${icon} DESTINATION ${data} RENAME ${KITEBOOT_ICON_NAME} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

_kiteboot_release_contents(windows . . . "$<TARGET_FILE:kiteboot_wrap>" kiteboot-wrap.exe)
set(release_generators ZIP)
if(release_for_linux)
    _kiteboot_release_cmake_package(linux . .)
    _kiteboot_release_contents(linux . . . "${release_host_wrap}" kiteboot-wrap)
    _kiteboot_release_cmake_package(debian bin share/kiteboot)
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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${release_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kiteboot-wrap writes a bootstrapper for a 64-bit Windows installer: the
prebuilt kiteboot stub with the installer inside, the vendor's icon and
version information. The bootstrapper asks for administrator rights,
extracts the installer into a folder of its own, runs it and returns its
exit code. No compiler is needed; a CMake package (find_package(kiteboot))
makes bootstrappers from a project's build.")
set(CPACK_DEBIAN_FILE_NAME kiteboot_${release_version}_amd64.deb)
set(CPACK_KITEBOOT_VERSION ${release_version})
set(CPACK_KITEBOOT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseGenerator.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KitebootReleaseSums.cmake)
include(CPack)
