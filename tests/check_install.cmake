cmake_minimum_required(VERSION 3.16)
# Installs the build into a fresh prefix and checks that the program, its
# desktop entry and its icons land where a Linux desktop looks for them.
# Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected bin/tavlino share/applications/org.orvek.Tavlino.desktop
    share/icons/hicolor/scalable/apps/tavlino.svg share/metainfo/org.orvek.Tavlino.metainfo.xml
    share/man/man1/tavlino.1.gz share/doc/tavlino/copyright share/doc/tavlino/changelog.gz)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tavlino.png)
endforeach()
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "missing after install: ${path}")
    endif()
endforeach()
if(NOT IS_DIRECTORY "${PREFIX}/bin" OR IS_DIRECTORY "${PREFIX}/bin/tavlino")
    message(FATAL_ERROR "bin/tavlino is not a program")
endif()
file(STRINGS "${PREFIX}/share/applications/org.orvek.Tavlino.desktop" desktop)
foreach(line "Exec=tavlino" "Icon=tavlino" "Type=Application")
    if(NOT line IN_LIST desktop)
        message(FATAL_ERROR "tavlino.desktop lacks ${line}")
    endif()
endforeach()
file(READ "${PREFIX}/share/icons/hicolor/48x48/apps/tavlino.png" header LIMIT 8 HEX)
if(NOT header STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "the 48x48 icon is not a PNG")
endif()
message(STATUS "install layout ok: ${PREFIX}")
