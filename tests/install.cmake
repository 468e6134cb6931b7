# SPDX-License-Identifier: MIT
# `cmake --install` into a fresh prefix holds what the README's "Install" section lists, and the installed
# terminal runs from there. Run by CTest: cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> -P install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
set(expected
    bin/vantrel-terminal
    bin/vantrel-device-sim
    bin/vantrel
    share/applications/vantrel-terminal.desktop
    share/icons/hicolor/scalable/apps/vantrel-terminal.svg
    share/doc/vantrel/README.md)
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/vantrel-terminal.desktop" desktop)
foreach(line "Exec=vantrel-terminal" "Icon=vantrel-terminal")
    if(NOT line IN_LIST desktop)
        message(FATAL_ERROR "the .desktop entry lacks ${line}")
    endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/vantrel-terminal" --version OUTPUT_VARIABLE version RESULT_VARIABLE ran)
if(NOT ran EQUAL 0 OR NOT version MATCHES "3\\.1\\.3")
    message(FATAL_ERROR "the installed terminal did not answer --version: ${ran} ${version}")
endif()
execute_process(COMMAND "${PREFIX}/bin/vantrel" --version OUTPUT_VARIABLE version RESULT_VARIABLE ran)
if(NOT ran EQUAL 0 OR NOT version MATCHES "3\\.1\\.3")
    message(FATAL_ERROR "the installed vantrel did not answer --version: ${ran} ${version}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
