# Run when the Debian package's files are installed for packing (an install rule of the component debian):
# the files Debian asks of a package that are made rather than kept in the sources.
#
#   cmake -D FOLDER=<the package's /usr> -D VERSION=<version> -D MAINTAINER=<name <address>>
#         -P KitebootReleaseDebian.cmake
#
#   share/doc/kiteboot/changelog.gz     the package's changelog (a native package: no .Debian in the name),
#                                       dated SOURCE_DATE_EPOCH, which cpack sets (KitebootReleaseGenerator.cmake)
#   share/man/man1/kiteboot-wrap.1.gz   the manual page (cmake/debian/kiteboot-wrap.1)
#
# Both are compressed with gzip -9n (no name or time in the header): the same sources give the same bytes.
foreach(name FOLDER VERSION MAINTAINER)
    if(NOT DEFINED ${name})
        message(FATAL_ERROR "KitebootReleaseDebian.cmake: ${name} is missing")
    endif()
endforeach()
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
    message(FATAL_ERROR "KitebootReleaseDebian.cmake: SOURCE_DATE_EPOCH is not set")
endif()
set(ENV{LC_ALL} C)
set(ENV{TZ} UTC0)

# gzip_file(<file>): replaces <file> by <file>.gz, mode 0644.
function(gzip_file file)
    execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
    file(CHMOD "${file}.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

set(doc "${FOLDER}/share/doc/kiteboot")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(MAKE_DIRECTORY "${doc}")
file(WRITE "${doc}/changelog" "kiteboot (${VERSION}) unstable; urgency=medium

  * Release ${VERSION}: kiteboot-wrap and the kiteboot stub.
    README.md in this folder says what is in it and how to use it.

 -- ${MAINTAINER}  ${date}
")
gzip_file("${doc}/changelog")

set(man "${FOLDER}/share/man/man1")
file(COPY "${CMAKE_CURRENT_LIST_DIR}/debian/kiteboot-wrap.1" DESTINATION "${man}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_file("${man}/kiteboot-wrap.1")
