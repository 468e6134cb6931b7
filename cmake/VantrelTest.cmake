# SPDX-License-Identifier: MIT
# vantrel_add_test(<name> [LIBS ...] [LABELS ...] [LOCK <resource>] [TIMEOUT <s>])
# builds tests/<name>.cpp into one test executable and registers it with CTest, offscreen.
function(vantrel_add_test name)
    cmake_parse_arguments(T "" "LOCK;TIMEOUT" "LIBS;LABELS;SOURCES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    add_executable(${name} ${name}.cpp ${T_SOURCES})
    target_link_libraries(${name} PRIVATE vantrel_test_support Qt6::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    # On Windows QtTest writes its results to the debugger unless told to write them out, as CTest reads them.
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FORCE_STDERR_LOGGING=1")
    if(T_LOCK)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${T_LOCK})
    endif()
endfunction()
