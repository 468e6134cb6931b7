# SPDX-License-Identifier: MIT
# Windows: each program's icon, and the zip `cmake --build build-windows --target package` makes
# (vantrel-3.1.3-win64.zip): the three programs with every DLL and plugin they load beside them, the README, and the
# licences of what it ships with where their source is. Unpacked anywhere, it runs.
enable_language(RC)

# The icon is drawn from the SVG the window and Linux use, by a small tool built for and run on the building machine.
include(ExternalProject)
if(CMAKE_CROSSCOMPILING)
    set(host_qt -DCMAKE_PREFIX_PATH=${QT_HOST_PATH})
    set(run_host_tool ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen)
else()
    set(host_qt -DCMAKE_PREFIX_PATH=${CMAKE_PREFIX_PATH} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER})
    set(run_host_tool ${CMAKE_COMMAND} -E env "PATH=${VANTREL_QT_BIN};$ENV{PATH}" QT_QPA_PLATFORM=offscreen)
endif()
ExternalProject_Add(vantrel_icon_tool
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/icon
    BINARY_DIR ${CMAKE_BINARY_DIR}/icon-tool
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release ${host_qt}
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/icon-tool/vantrel-icon${CMAKE_HOST_EXECUTABLE_SUFFIX})
set(VANTREL_ICO ${CMAKE_BINARY_DIR}/vantrel.ico)
add_custom_command(OUTPUT ${VANTREL_ICO}
    COMMAND ${run_host_tool} ${CMAKE_BINARY_DIR}/icon-tool/vantrel-icon${CMAKE_HOST_EXECUTABLE_SUFFIX}
            ${PROJECT_SOURCE_DIR}/packaging/vantrel.svg ${VANTREL_ICO}
    DEPENDS vantrel_icon_tool ${PROJECT_SOURCE_DIR}/packaging/vantrel.svg
    COMMENT "Drawing the Windows icon from vantrel.svg")
add_custom_target(vantrel_icon DEPENDS ${VANTREL_ICO})
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantrel.rc.in ${CMAKE_BINARY_DIR}/vantrel.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/vantrel.rc PROPERTIES OBJECT_DEPENDS ${VANTREL_ICO})
set(programs vantrel-terminal vantrel vantrel-device-sim)
# The terminal is a window program: no console window opens beside it. (Its --help and --version then answer in a
# message box, as Qt's window programs do, unless its output is redirected.)
set_target_properties(vantrel-terminal PROPERTIES WIN32_EXECUTABLE ON)
foreach(program IN LISTS programs)
    target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/vantrel.rc)
    add_dependencies(${program} vantrel_icon)
endforeach()

# The zip holds one folder, vantrel-3.1.3-win64, with everything side by side as Qt finds it: the plugins in their
# folders under the programs'.
install(TARGETS ${programs} RUNTIME DESTINATION .)
set(plugins platforms/qwindows.dll platforms/qoffscreen.dll platforms/qminimal.dll styles/qwindowsvistastyle.dll
    imageformats/qsvg.dll iconengines/qsvgicon.dll)
set(plugin_files "")
foreach(plugin IN LISTS plugins)
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES ${VANTREL_QT_PLUGINS}/${plugin} DESTINATION ${folder})
    list(APPEND plugin_files ${VANTREL_QT_PLUGINS}/${plugin})
endforeach()
install(CODE "
    set(VANTREL_PROGRAMS \"$<TARGET_FILE:vantrel-terminal>;$<TARGET_FILE:vantrel>;$<TARGET_FILE:vantrel-device-sim>\")
    set(VANTREL_PLUGINS \"${plugin_files}\")
    set(VANTREL_DLL_DIRS \"${VANTREL_DLL_DIRS}\")
    set(VANTREL_OBJDUMP \"${CMAKE_OBJDUMP}\")
    set(VANTREL_STRIP \"${CMAKE_STRIP}\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/VantrelDeploy.cmake)
install(FILES README.md packaging/THIRD-PARTY.txt DESTINATION .)
install(DIRECTORY docs/ DESTINATION docs OPTIONAL)
install(DIRECTORY ${VANTREL_QT_BIN}/../LICENSES/ DESTINATION LICENSES/Qt)
foreach(package mingw-w64-common gcc-mingw-w64-base)
    if(EXISTS /usr/share/doc/${package}/copyright)
        install(FILES /usr/share/doc/${package}/copyright DESTINATION LICENSES/MinGW RENAME ${package}.txt)
    endif()
endforeach()

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service terminal for the Vantrel counting device (UDP and serial)")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME vantrel-${PROJECT_VERSION}-win64)
include(CPack)
