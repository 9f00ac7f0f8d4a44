# Warnings, Qt safety macros and sanitizers, on one interface target every target links.
add_library(vk_options INTERFACE)

target_compile_options(vk_options INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local> -Wformat=2)
if(VAULTKEEP_WERROR)
    target_compile_options(vk_options INTERFACE -Werror)
endif()

target_compile_definitions(vk_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_USE_QSTRINGBUILDER
    QT_STRICT_ITERATORS
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00)

if((VAULTKEEP_ASAN AND VAULTKEEP_TSAN) OR (VAULTKEEP_FUZZ AND (VAULTKEEP_ASAN OR VAULTKEEP_TSAN)))
    message(FATAL_ERROR "Choose one of VAULTKEEP_ASAN, VAULTKEEP_TSAN and VAULTKEEP_FUZZ")
endif()
if(VAULTKEEP_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VAULTKEEP_FUZZ needs clang: configure with CXX=clang++")
    endif()
    # Everything is instrumented for coverage; only the fuzz targets link libFuzzer's main().
    set(_vk_san -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
elseif(VAULTKEEP_ASAN)
    set(_vk_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(VAULTKEEP_TSAN)
    set(_vk_san -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(_vk_san)
    # Applied globally so that the host libraries and every test executable are instrumented alike.
    add_compile_options(${_vk_san})
    add_link_options(${_vk_san})
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()
