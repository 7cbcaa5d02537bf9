# Read by cpack for each package it makes (CPACK_PROJECT_CONFIG_FILE): which files go into which package,
# and the settings that make a package the same bytes wherever and whenever it is made.
if(CPACK_GENERATOR STREQUAL "ZIP")
    set(CPACK_COMPONENTS_ALL windows)
    set(CPACK_PACKAGE_FILE_NAME kiteboot-${CPACK_KITEBOOT_VERSION}-windows-x64)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)  # unpacks into a folder of its own
elseif(CPACK_GENERATOR STREQUAL "TGZ")
    set(CPACK_COMPONENTS_ALL linux)
    set(CPACK_PACKAGE_FILE_NAME kiteboot-${CPACK_KITEBOOT_VERSION}-linux-x86_64)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
elseif(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_COMPONENTS_ALL debian)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
# The time stamp of every file in the packages (KitebootReleaseStage.cmake), which the tar and Debian
# writers also take for their own headers: SOURCE_DATE_EPOCH when it is set, otherwise the time of the
# sources' last commit, otherwise a fixed day. A ZIP keeps local times, so the time zone is fixed too.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch 1767225600)
    find_program(KITEBOOT_GIT git)
    if(KITEBOOT_GIT)
        execute_process(COMMAND ${KITEBOOT_GIT} log -1 --format=%ct WORKING_DIRECTORY ${CPACK_KITEBOOT_SOURCE_DIR}
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(commit_time MATCHES "^[0-9]+$")
            set(epoch ${commit_time})
        endif()
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
set(ENV{TZ} UTC0)
