# Warnings and definitions shared by every target of the project (and only ours).
function(folvex_target_defaults target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
        -Wimplicit-fallthrough -Werror
        # GCC 12 reports std::string appends inlined at -O2 as overlapping copies (GCC bug 105329).
        $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# Window code: Qt with explicit string conversions and no deprecated API.
function(folvex_qt_defaults target)
    folvex_target_defaults(${target})
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_DISABLE_DEPRECATED_BEFORE=0x060400)
endfunction()

# A GoogleTest program of one folder; tests run headless with a time limit. QT: window tests, whose
# main() creates the QApplication; OWN_MAIN: the sources bring main(); else GoogleTest's is linked.
function(folvex_add_test_program target)
    cmake_parse_arguments(ARG "OWN_MAIN;QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 60)
    endif()
    add_executable(${target} ${ARG_SOURCES})
    folvex_target_defaults(${target})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} folvex_test_support GTest::gtest GTest::gmock)
    if(ARG_QT)
        target_link_libraries(${target} PRIVATE folvex_qt_test_main)
    elseif(NOT ARG_OWN_MAIN)
        target_link_libraries(${target} PRIVATE GTest::gtest_main)
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen;FOLVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
