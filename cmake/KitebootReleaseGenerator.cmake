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
# Time stamps: the tar and Debian writers take SOURCE_DATE_EPOCH for their own headers, and a ZIP keeps
# local time, so the time zone is fixed too.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KITEBOOT_SOURCE_DATE_EPOCH})
endif()
set(ENV{TZ} UTC0)
