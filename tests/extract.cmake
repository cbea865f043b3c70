# Disc-image extraction: the copy itself, the Convert command and the CLI.
add_executable(lyrvox_extract_tests extract/cdg_extractor_test.cpp extract/converter_test.cpp)
target_link_libraries(lyrvox_extract_tests PRIVATE lyrvox_extract lyrvox_test_support
                      GTest::gtest_main)
gtest_discover_tests(lyrvox_extract_tests)

if(LYRVOX_WITH_QT)
    add_executable(lyrvox_cli_extract_tests extract/cli_extract_test.cpp)
    target_link_libraries(lyrvox_cli_extract_tests PRIVATE lyrvox_cli lyrvox_test_support
                          GTest::gtest_main)
    gtest_discover_tests(lyrvox_cli_extract_tests
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-cli-extract")
endif()
