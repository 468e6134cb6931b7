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
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs OPTIONAL)

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service terminal for the Vantrel counting device (UDP and serial)")
set(CPACK_PACKAGE_CONTACT "Vantrel maintainers <maintainers@users.noreply.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Debian's own Qt 6 runtime: the libraries linked, the platform plugins that draw the window, and the SVG
# plugins that draw the icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-qpa-plugins (>= 6.4), libc6, libstdc++6")
include(CPack)
