# The shared path, existence and time-text helpers.
add_executable(lyrvox_util_tests util/text_helpers_test.cpp)
target_link_libraries(lyrvox_util_tests PRIVATE lyrvox_util lyrvox_test_support GTest::gtest_main)
gtest_discover_tests(lyrvox_util_tests)
