# SPDX-License-Identifier: MIT
# What `cmake --install` puts where, and the Debian package `cpack -G DEB` builds from it; on Windows, the zip.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/VantrelZip.cmake)
    return()
endif()
include(GNUInstallDirs)

install(TARGETS vantrel-terminal vantrel vantrel-device-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/vantrel-terminal.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/vantrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME vantrel-terminal.svg)
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs OPTIONAL)

# The changelog and the manual pages go compressed, as Debian has them: gzip -9n, with no name or time inside,
# so that two builds give the same bytes.
find_program(VANTREL_GZIP gzip)
if(VANTREL_GZIP)
    set(gzipped)
    foreach(source changelog man/vantrel-terminal.1 man/vantrel.1 man/vantrel-device-sim.1)
        get_filename_component(name ${source} NAME)
        set(copy ${CMAKE_BINARY_DIR}/packaging/${name})
        add_custom_command(OUTPUT ${copy}.gz
                           COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/${source} ${copy}
                           COMMAND ${VANTREL_GZIP} -9nf ${copy}
                           DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source} VERBATIM)
        list(APPEND gzipped ${copy}.gz)
    endforeach()
    add_custom_target(vantrel_gzipped ALL DEPENDS ${gzipped})
    install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${CMAKE_BINARY_DIR}/packaging/vantrel-terminal.1.gz ${CMAKE_BINARY_DIR}/packaging/vantrel.1.gz
                  ${CMAKE_BINARY_DIR}/packaging/vantrel-device-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service terminal for the Vantrel counting device (UDP and serial)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The Vantrel terminal talks to a counting device over UDP or a serial (USB)
line: console commands and their replies, a BASIC program downloaded to the
device and listed back into a file, files copied to and from the device's
flash disk, and Modbus commands (MDC text, or RTU frames with a CRC-16).
.
The package holds the window (vantrel-terminal), the same terminal for
scripts and production lines (vantrel), and a simulated device to try both
without hardware (vantrel-device-sim).")
set(CPACK_PACKAGE_CONTACT "Vantrel maintainers <maintainers@users.noreply.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's binaries lose their symbols; the build tree keeps them for debugging.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Debian's own Qt 6 runtime: the libraries linked, the platform plugins that draw the window, and the SVG
# plugins that draw the icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-qpa-plugins (>= 6.4), libc6, libstdc++6")
include(CPack)
