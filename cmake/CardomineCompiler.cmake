# SPDX-License-Identifier: GPL-3.0-or-later
# Compiler settings shared by every target of the project.
add_library(cardomine_options INTERFACE)
target_compile_options(cardomine_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(CARDOMINE_WERROR)
    target_compile_options(cardomine_options INTERFACE -Werror)
endif()
target_compile_definitions(cardomine_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER QT_NO_FOREACH
    CARDOMINE_VERSION="${PROJECT_VERSION}")
if(CARDOMINE_SANITIZE)
    target_compile_options(cardomine_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(cardomine_options INTERFACE -fsanitize=address,undefined)
endif()

# cardomine_library(NAME SOURCES... LINKS ...): a static library of one folder.
function(cardomine_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC cardomine_options ${ARG_LINKS})
endfunction()
