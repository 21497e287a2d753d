# quaverly_add_test(NAME SOURCES... LIBRARIES...)
# One GoogleTest executable per call; every test case becomes a CTest test.
function(quaverly_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quaverly_options ${ARG_LIBRARIES} GTest::gtest Qt6::Test)
    if(NOT "GTest::gtest_main" IN_LIST ARG_LIBRARIES AND NOT "quaverly_test_main" IN_LIST ARG_LIBRARIES)
        target_link_libraries(${name} PRIVATE quaverly_test_main)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
