# Run by cpack after each package (CPACK_POST_BUILD_SCRIPTS): SHA256SUMS beside the packages lists the
# sums of this version's packages made so far, the file a release publishes with them
# (`sha256sum -c SHA256SUMS`). The package just made is still in cpack's work folder.
set(arguments "")
foreach(name kiteboot-${CPACK_KITEBOOT_VERSION}-windows-x64.zip kiteboot-${CPACK_KITEBOOT_VERSION}-linux-x86_64.tar.gz
             kiteboot_${CPACK_KITEBOOT_VERSION}_amd64.deb)
    set(file "${CPACK_PACKAGE_DIRECTORY}/${name}")
    foreach(made ${CPACK_PACKAGE_FILES})
        get_filename_component(made_name "${made}" NAME)
        if(made_name STREQUAL name)
            set(file "${made}")
        endif()
    endforeach()
    if(EXISTS "${file}")
        list(APPEND arguments "${name}" "${file}")
    endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -D "OUTPUT=${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS"
                        -P "${CMAKE_CURRENT_LIST_DIR}/KitebootChecksums.cmake" ${arguments}
                COMMAND_ERROR_IS_FATAL ANY)
