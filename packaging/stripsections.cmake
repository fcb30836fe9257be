# Run by cpack on the staged tree before it packs (CPACK_PRE_BUILD_SCRIPTS),
# after CPACK_STRIP_FILES has taken the symbols: removes the .comment and
# .note sections of every ELF file, as dh_strip does for Debian's packages.
find_program(_strip NAMES strip REQUIRED)
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(_file IN LISTS _files)
    if(IS_SYMLINK "${_file}")
        continue()
    endif()
    file(READ "${_file}" _magic LIMIT 4 HEX)
    if(_magic STREQUAL "7f454c46")
        execute_process(COMMAND "${_strip}" --remove-section=.comment --remove-section=.note "${_file}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
