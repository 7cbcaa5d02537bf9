# Authenticode-signs one executable with SHA-256; run by the build right after the link:
#   cmake -D PARAMETERS=<signing.cmake> -D FILE=<executable> -P KitebootSign.cmake
# PARAMETERS sets SIGN_TOOL (osslsigncode or signtool), SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, and
# optionally SIGN_PASSWORD_FILE, SIGN_TIMESTAMP_URL and SIGN_DESCRIPTION.
#
# The signed file replaces the unsigned one only when signing succeeded. When it fails, the unsigned
# executable is deleted as well: otherwise the next build would find it up to date and ship it unsigned.

foreach(required PARAMETERS FILE)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "KitebootSign.cmake: ${required} is not set")
    endif()
endforeach()
include("${PARAMETERS}")

function(_kiteboot_fail message output)
    file(REMOVE "${FILE}" "${FILE}.signing")
    message(FATAL_ERROR "kiteboot: signing '${FILE}' failed: ${message}\n${output}\n"
                        "The unsigned file was removed.")
endfunction()

function(_kiteboot_read_password result)
    file(STRINGS "${SIGN_PASSWORD_FILE}" lines LIMIT_COUNT 1)
    set(${result} "${lines}" PARENT_SCOPE)
endfunction()

get_filename_component(tool_name "${SIGN_TOOL}" NAME_WE)
string(TOLOWER "${tool_name}" tool_name)
if(tool_name STREQUAL "signtool")
    # signtool signs in place and reads the password from its command line only.
    set(command "${SIGN_TOOL}" sign /fd SHA256 /f "${SIGN_PKCS12}")
    if(SIGN_PASSWORD_FILE)
        _kiteboot_read_password(password)
        list(APPEND command /p "${password}")
    endif()
    if(SIGN_DESCRIPTION)
        list(APPEND command /d "${SIGN_DESCRIPTION}")
    endif()
    if(SIGN_TIMESTAMP_URL)
        list(APPEND command /tr "${SIGN_TIMESTAMP_URL}" /td SHA256)
    endif()
    execute_process(COMMAND ${command} "${FILE}" RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        _kiteboot_fail("signtool exited with ${status}" "${output}")
    endif()
else()
    set(command "${SIGN_TOOL}" sign -h sha256)
    if(SIGN_PKCS12)
        list(APPEND command -pkcs12 "${SIGN_PKCS12}")
    else()
        list(APPEND command -certs "${SIGN_CERT}" -key "${SIGN_KEY}")
    endif()
    if(SIGN_PASSWORD_FILE)
        list(APPEND command -readpass "${SIGN_PASSWORD_FILE}")
    endif()
    if(SIGN_DESCRIPTION)
        list(APPEND command -n "${SIGN_DESCRIPTION}")
    endif()
    if(SIGN_TIMESTAMP_URL)
        list(APPEND command -ts "${SIGN_TIMESTAMP_URL}")
    endif()
    file(REMOVE "${FILE}.signing")
    execute_process(COMMAND ${command} -in "${FILE}" -out "${FILE}.signing"
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR NOT EXISTS "${FILE}.signing")
        _kiteboot_fail("osslsigncode exited with ${status}" "${output}")
    endif()
    file(RENAME "${FILE}.signing" "${FILE}")
endif()
