# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the staged files of the Debian
# packages: strips as Debian's dh_strip does, since CPack's own stripping
# keeps the .comment section and leaves static libraries whole.
find_program(STRIP_PROGRAM strip REQUIRED)
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file ${staged})
    if(file MATCHES "\\.a$")
        execute_process(COMMAND ${STRIP_PROGRAM} --strip-debug --remove-section=.comment --remove-section=.note
            --enable-deterministic-archives "${file}" COMMAND_ERROR_IS_FATAL ANY)
    elseif(file MATCHES "/s?bin/[^/]+$")
        execute_process(COMMAND ${STRIP_PROGRAM} --remove-section=.comment --remove-section=.note "${file}"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
