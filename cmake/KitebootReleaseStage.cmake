# Run by cpack on the files of a package before it packs them (CPACK_PRE_BUILD_SCRIPTS): folders get the
# same permissions whatever the umask of whoever builds. (Files get theirs from the install rules; the
# packers give every entry the time SOURCE_DATE_EPOCH and root as owner, and write them sorted by name.)
execute_process(COMMAND find "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" -type d -exec chmod 755 {} +
                COMMAND_ERROR_IS_FATAL ANY)
