# The playback session in a simulated world (Qt-free).
add_executable(playback_session_test session/playback_session_test.cpp
               session/position_smoother_test.cpp)
target_link_libraries(playback_session_test PRIVATE lyrvox_session lyrvox_test_support
                      GTest::gtest_main)
gtest_discover_tests(playback_session_test
    PROPERTIES ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-playback_session_test")
