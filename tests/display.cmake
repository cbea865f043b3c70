# Display: zoom steps and the picture copy (Qt-free), and the display window.
add_executable(display_core_test
    display/zoom_test.cpp
    display/picture_copy_test.cpp)
target_link_libraries(display_core_test PRIVATE lyrvox_display_core lyrvox_test_support GTest::gtest_main)
gtest_discover_tests(display_core_test)

if(LYRVOX_WITH_QT)
    add_executable(display_window_test display/display_window_test.cpp)
    set_target_properties(display_window_test PROPERTIES AUTOMOC ON)
    target_link_libraries(display_window_test PRIVATE lyrvox_display lyrvox_test_support Qt6::Test)
    add_test(NAME display_window_test COMMAND display_window_test)
    set_tests_properties(display_window_test PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-display_window_test")
endif()
