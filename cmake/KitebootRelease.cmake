# The release archive for a vendor on Windows (cpack -G ZIP in a build tree): kiteboot-wrap.exe, the stub
# beside it, the README and the packaging page. Unzip, run one command, sign.
set(release_files kiteboot-${PROJECT_VERSION}-windows-x64)
install(TARGETS kiteboot_wrap kiteboot_stub RUNTIME DESTINATION . COMPONENT release EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT release EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/docs/packaging.md DESTINATION docs COMPONENT release EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kiteboot)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)  # unzips into a folder of its own
set(CPACK_COMPONENTS_ALL release)
set(CPACK_PACKAGE_FILE_NAME ${release_files})
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${release_files})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
include(CPack)
