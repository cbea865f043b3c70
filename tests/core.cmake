# The CD+G machine (Qt-free) and the render/info commands.
add_executable(lyrvox_core_tests
    ${CMAKE_CURRENT_SOURCE_DIR}/cdg_machine_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cdg_scroll_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cdg_corpus_test.cpp)
target_link_libraries(lyrvox_core_tests PRIVATE lyrvox_cdg lyrvox_util lyrvox_test_support
    GTest::gtest_main)
gtest_discover_tests(lyrvox_core_tests
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-core")

if(LYRVOX_WITH_QT)
    add_executable(lyrvox_cli_render_tests ${CMAKE_CURRENT_SOURCE_DIR}/cli_render_test.cpp)
    target_link_libraries(lyrvox_cli_render_tests PRIVATE lyrvox_cli lyrvox_test_support
        GTest::gtest_main)
    gtest_discover_tests(lyrvox_cli_render_tests
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-cli-render")
endif()
