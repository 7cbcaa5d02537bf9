# Run by cpack on the files of a package before it packs them (CPACK_PRE_BUILD_SCRIPTS): every file and
# folder gets the time SOURCE_DATE_EPOCH, and folders the same permissions whatever the umask, so that
# the package does not depend on when or by whom it was built. (Files get theirs from the install rules;
# the packers write entries sorted by name and owned by root.)
execute_process(COMMAND find "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" -type d -exec chmod 755 {} +
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
                COMMAND_ERROR_IS_FATAL ANY)
