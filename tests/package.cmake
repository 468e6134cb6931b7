# SPDX-License-Identifier: MIT
# The Debian package as Debian expects it: built by `cpack -G DEB` into a fresh folder, it holds the stripped
# binaries, the copyright file, the changelog, the manual pages, and `lintian` (where it is installed) reports no
# error. Run by CTest: cmake -DBUILD_DIR=<build> -DOUT=<empty folder> -P package.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND cpack -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${OUT}"
                RESULT_VARIABLE packed OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB deb "${OUT}/*.deb")
if(NOT packed EQUAL 0 OR NOT deb)
    message(FATAL_ERROR "cpack -G DEB failed: ${packed}\n${output}")
endif()
execute_process(COMMAND dpkg-deb --contents "${deb}" OUTPUT_VARIABLE contents RESULT_VARIABLE listed)
if(NOT listed EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${deb}")
endif()
foreach(path usr/share/doc/vantrel/copyright usr/share/doc/vantrel/changelog.gz
             usr/share/man/man1/vantrel-terminal.1.gz usr/share/man/man1/vantrel.1.gz
             usr/share/man/man1/vantrel-device-sim.1.gz)
    if(NOT contents MATCHES " \\./${path}\n")
        message(FATAL_ERROR "the package lacks ${path}")
    endif()
endforeach()
find_program(LINTIAN lintian)
if(NOT LINTIAN)
    message("SKIP: lintian is not installed; the package's contents were checked")
    return()
endif()
# Lintian warns that it runs as root (CI does) and goes on; an error fails the package.
execute_process(COMMAND "${LINTIAN}" --fail-on error "${deb}" RESULT_VARIABLE clean OUTPUT_VARIABLE found
                ERROR_VARIABLE found)
if(NOT clean EQUAL 0)
    message(FATAL_ERROR "lintian found errors in the package:\n${found}")
endif()
message("lintian: ${found}")
file(REMOVE_RECURSE "${OUT}")
