# SPDX-License-Identifier: GPL-3.0-or-later
# cardomine_test(NAME SOURCES... LINKS ... [GUI]): one Qt Test executable, registered
# with ctest. Every test runs on the offscreen platform, in the C locale, with a
# drive root and home folder of its own so nothing reaches the real home folder.
function(cardomine_test name)
    cmake_parse_arguments(ARG "GUI" "" "SOURCES;LINKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE cardomine_options cardomine_testsupport Qt6::Test
                          ${ARG_LINKS})
    add_test(NAME ${name} COMMAND ${name})
    set(scratch "${CMAKE_CURRENT_BINARY_DIR}/${name}.home")
    file(MAKE_DIRECTORY "${scratch}")
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;HOME=${scratch};XDG_DATA_HOME=${scratch}/share;XDG_CONFIG_HOME=${scratch}/config;XDG_RUNTIME_DIR=${scratch};CARDOMINE_DRIVE_C=${scratch}/unused-drive;ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        TIMEOUT 300)
endfunction()
