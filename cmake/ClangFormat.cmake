# `format` target: reformats every C++ source of the project in place.
find_program(CLANG_FORMAT_PROGRAM NAMES clang-format clang-format-14)
if(CLANG_FORMAT_PROGRAM)
    file(GLOB_RECURSE _vk_format_sources CONFIGURE_DEPENDS
        ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.h
        ${CMAKE_SOURCE_DIR}/core/*.cpp ${CMAKE_SOURCE_DIR}/core/*.h
        ${CMAKE_SOURCE_DIR}/discovery/*.cpp ${CMAKE_SOURCE_DIR}/discovery/*.h
        ${CMAKE_SOURCE_DIR}/storage/*.cpp ${CMAKE_SOURCE_DIR}/storage/*.h
        ${CMAKE_SOURCE_DIR}/service/*.cpp ${CMAKE_SOURCE_DIR}/service/*.h
        ${CMAKE_SOURCE_DIR}/Widgets/*.cpp ${CMAKE_SOURCE_DIR}/Widgets/*.h
        ${CMAKE_SOURCE_DIR}/AtriumCommon/*.cpp ${CMAKE_SOURCE_DIR}/AtriumCommon/*.h
        ${CMAKE_SOURCE_DIR}/plugin/*.cpp ${CMAKE_SOURCE_DIR}/plugin/*.h
        ${CMAKE_SOURCE_DIR}/hostlibs/*.cpp ${CMAKE_SOURCE_DIR}/hostlibs/*.h
        ${CMAKE_SOURCE_DIR}/host/*.cpp ${CMAKE_SOURCE_DIR}/host/*.h
        ${CMAKE_SOURCE_DIR}/tools/*.cpp ${CMAKE_SOURCE_DIR}/tools/*.h
        ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/*.h
        ${CMAKE_SOURCE_DIR}/bench/*.cpp ${CMAKE_SOURCE_DIR}/bench/*.h)
    add_custom_target(format
        COMMAND ${CLANG_FORMAT_PROGRAM} -i --style=file ${_vk_format_sources}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        COMMENT "Formatting sources with clang-format")
endif()
