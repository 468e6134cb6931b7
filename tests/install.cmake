# SPDX-License-Identifier: MIT
# `cmake --install` into a fresh prefix holds what the README lists, and the installed programs run from there. Run by
# CTest: cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> [-DWINDOWS=ON -DRUN=<runner>] -P install.cmake. On Windows
# the prefix is the zip's folder: the program runs with nothing but that folder to find its DLLs in (under Wine, RUN,
# with WINEPATH empty).
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
if(WINDOWS)
    set(expected
        vantrel-terminal.exe vantrel.exe vantrel-device-sim.exe
        Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll Qt6SerialPort.dll Qt6Svg.dll
        libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll
        platforms/qwindows.dll platforms/qoffscreen.dll platforms/qminimal.dll styles/qwindowsvistastyle.dll
        imageformats/qsvg.dll iconengines/qsvgicon.dll
        README.md THIRD-PARTY.txt LICENSES/Qt/qtbase/LGPL-3.0-only.txt)
    # The terminal, a window program, answers --version in a message box when started from a shell under Wine:
    # CI runs its window from the unpacked zip instead.
    set(programs vantrel.exe)
    set(run ${CMAKE_COMMAND} -E env WINEPATH= ${RUN})
else()
    set(expected
        bin/vantrel-terminal
        bin/vantrel-device-sim
        bin/vantrel
        share/applications/vantrel-terminal.desktop
        share/icons/hicolor/scalable/apps/vantrel-terminal.svg
        share/doc/vantrel/README.md)
    set(programs bin/vantrel-terminal bin/vantrel)
    set(run "")
endif()
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
if(NOT WINDOWS)
    file(STRINGS "${PREFIX}/share/applications/vantrel-terminal.desktop" desktop)
    foreach(line "Exec=vantrel-terminal" "Icon=vantrel-terminal")
        if(NOT line IN_LIST desktop)
            message(FATAL_ERROR "the .desktop entry lacks ${line}")
        endif()
    endforeach()
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND ${run} "${PREFIX}/${program}" --version OUTPUT_VARIABLE version ERROR_VARIABLE error
                    RESULT_VARIABLE ran)
    if(NOT ran EQUAL 0 OR NOT version MATCHES "3\\.1\\.3")
        message(FATAL_ERROR "the installed ${program} did not answer --version: ${ran} ${version} ${error}")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
