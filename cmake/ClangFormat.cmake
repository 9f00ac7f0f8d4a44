# `format` target: reformats every C++ source of the project in place.
find_program(CLANG_FORMAT_PROGRAM NAMES clang-format clang-format-14)
if(CLANG_FORMAT_PROGRAM)
    # The same files CI checks: every tracked C++ source.
    execute_process(COMMAND git ls-files -- *.cpp *.h
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE _vk_tracked OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
    string(REPLACE "\n" ";" _vk_format_sources "${_vk_tracked}")
    add_custom_target(format
        COMMAND ${CLANG_FORMAT_PROGRAM} -i --style=file ${_vk_format_sources}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        COMMENT "Formatting sources with clang-format")
endif()
