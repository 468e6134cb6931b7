# SPDX-License-Identifier: MIT
# Windows: the folders of the DLLs the programs load, and, when cross-built on Linux, Wine to run the tests. Included
# before any target is made, so that every test takes the runner.

# Qt's DLLs and plugins, where Qt6Core.dll is; and the MinGW runtime (libstdc++, libgcc, winpthreads) wherever this
# compiler keeps it.
get_target_property(configs Qt6::Core IMPORTED_CONFIGURATIONS)
list(GET configs 0 config)
get_target_property(core Qt6::Core IMPORTED_LOCATION_${config})
get_filename_component(VANTREL_QT_BIN ${core} DIRECTORY)
get_filename_component(VANTREL_QT_PLUGINS ${VANTREL_QT_BIN}/../plugins ABSOLUTE)
set(VANTREL_DLL_DIRS ${VANTREL_QT_BIN})
get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
        get_filename_component(found ${found} DIRECTORY)
        get_filename_component(found ${found} REALPATH)
        list(APPEND VANTREL_DLL_DIRS ${found})
    endif()
endforeach()
if(NOT CMAKE_CROSSCOMPILING)
    list(APPEND VANTREL_DLL_DIRS ${compiler_dir}) # a native MinGW keeps its runtime DLLs beside gcc.exe
endif()
list(REMOVE_DUPLICATES VANTREL_DLL_DIRS)

if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()

# wine-run runs a program of this build under Wine, in a prefix of the build's own, with the DLLs found in place. The
# offscreen platform draws with the fonts of one folder: the fonts Wine itself offers in place of Windows' (fonts-wine)
# and the host's that it lists beside them, as a Windows program under Wine finds them. Without Wine the programs
# build all the same; only the tests cannot run.
find_program(VANTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(NOT VANTREL_WINE)
    message(STATUS "No Wine: the Windows programs build, their tests cannot run here")
    return()
endif()
set(VANTREL_WINE_FONTS ${CMAKE_BINARY_DIR}/wine-fonts)
file(GLOB fonts /usr/share/wine/fonts/*.ttf /usr/share/fonts/truetype/liberation/*.ttf
     /usr/share/fonts/truetype/dejavu/*.ttf)
file(REMOVE_RECURSE ${VANTREL_WINE_FONTS})
file(MAKE_DIRECTORY ${VANTREL_WINE_FONTS})
foreach(font IN LISTS fonts)
    get_filename_component(name ${font} NAME)
    file(CREATE_LINK ${font} ${VANTREL_WINE_FONTS}/${name} SYMBOLIC)
endforeach()
list(JOIN VANTREL_DLL_DIRS ";" VANTREL_WINEPATH)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
