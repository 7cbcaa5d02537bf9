# Installation: what another project needs to make bootstrappers with find_package(kiteboot).
#
#   <prefix>/lib/libkiteboot_*.a                                      the launcher's libraries
#   <prefix>/lib/kiteboot/objects/...                                  the launcher's entry point, compiled
#   <prefix>/include/kiteboot/...                                      headers of the libraries
#   <prefix>/bin/kiteboot-wrap                                         kiteboot-wrap for the build machine
#   <prefix>/share/kiteboot/                                           the stub, manifest, default icon, toolchain file
#   <prefix>/lib/cmake/kiteboot/                                       package configuration and functions
#
# The compiled parts fix the toolchain: a project that uses the installed package builds with the same
# one (for mingw-w64, the installed toolchain file).

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KITEBOOT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kiteboot)
set(KITEBOOT_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kiteboot)
set(KITEBOOT_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/kiteboot)

# A library per source folder (kiteboot::common_share, ::common_windows, ::windows_common, ::hashing), and
# kiteboot::common, which links them all.
set(kiteboot_libraries kiteboot_hashing kiteboot_common_share kiteboot_common_windows kiteboot_windows_common
                       kiteboot_common kiteboot_launcher_parts kiteboot_launcher)
foreach(library ${kiteboot_libraries})
    string(REGEX REPLACE "^kiteboot_" "" export_name ${library})
    set_target_properties(${library} PROPERTIES EXPORT_NAME ${export_name})
endforeach()
install(TARGETS ${kiteboot_libraries} EXPORT kitebootTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/kiteboot/objects
        INCLUDES DESTINATION ${KITEBOOT_INSTALL_INCLUDEDIR})
install(EXPORT kitebootTargets NAMESPACE kiteboot:: DESTINATION ${KITEBOOT_INSTALL_CMAKEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${KITEBOOT_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

install(TARGETS kiteboot_stub RUNTIME DESTINATION ${KITEBOOT_INSTALL_DATADIR})
if(CMAKE_CROSSCOMPILING)
    get_property(host_wrap GLOBAL PROPERTY KITEBOOT_DEFAULT_WRAP)
    install(PROGRAMS ${host_wrap} DESTINATION ${CMAKE_INSTALL_BINDIR})
    get_filename_component(KITEBOOT_WRAP_NAME ${host_wrap} NAME)
else()
    install(TARGETS kiteboot_wrap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(KITEBOOT_WRAP_NAME kiteboot-wrap${CMAKE_EXECUTABLE_SUFFIX})
endif()
set(KITEBOOT_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})

get_property(KITEBOOT_DEFAULT_MANIFEST GLOBAL PROPERTY KITEBOOT_DEFAULT_MANIFEST)
get_property(KITEBOOT_DEFAULT_ICON GLOBAL PROPERTY KITEBOOT_DEFAULT_ICON)
install(FILES ${KITEBOOT_DEFAULT_MANIFEST} ${KITEBOOT_DEFAULT_ICON}
              ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-w64.cmake
        DESTINATION ${KITEBOOT_INSTALL_DATADIR})

# The installed package has the same default branding as this build.
foreach(name COMPANY PRODUCT DESCRIPTION COPYRIGHT VERSION)
    get_property(value GLOBAL PROPERTY KITEBOOT_DEFAULT_${name})
    # Bracket arguments keep the texts as they are in the generated file.
    set(KITEBOOT_DEFAULT_${name}_TEXT "[==[${value}]==]")
endforeach()
get_filename_component(KITEBOOT_MANIFEST_NAME ${KITEBOOT_DEFAULT_MANIFEST} NAME)
get_filename_component(KITEBOOT_ICON_NAME ${KITEBOOT_DEFAULT_ICON} NAME)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kitebootConfig.cmake.in
    ${PROJECT_BINARY_DIR}/kitebootConfig.cmake
    INSTALL_DESTINATION ${KITEBOOT_INSTALL_CMAKEDIR}
    PATH_VARS KITEBOOT_INSTALL_DATADIR KITEBOOT_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kitebootConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kitebootConfig.cmake ${PROJECT_BINARY_DIR}/kitebootConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/KitebootBootstrapper.cmake
              ${PROJECT_SOURCE_DIR}/cmake/KitebootInputs.cmake
              ${PROJECT_SOURCE_DIR}/cmake/KitebootSign.cmake
        DESTINATION ${KITEBOOT_INSTALL_CMAKEDIR})
