# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch prefix and checks that every file lands in its
# freedesktop place.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
    bin/cardomine
    bin/cardomine-tool
    share/applications/com.pelvarin.Cardomine.desktop
    share/metainfo/com.pelvarin.Cardomine.metainfo.xml
    share/icons/hicolor/scalable/apps/com.pelvarin.Cardomine.svg
    share/bash-completion/completions/cardomine-tool)
if(MAN_PAGES)
    list(APPEND expected share/man/man1/cardomine.1 share/man/man1/cardomine-tool.1)
endif()
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/com.pelvarin.Cardomine.png)
endforeach()
foreach(path ${expected})
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(LENGTH installed count)
list(LENGTH expected want)
if(NOT count EQUAL want)
    message(FATAL_ERROR "installed ${count} files, expected ${want}: ${installed}")
endif()
