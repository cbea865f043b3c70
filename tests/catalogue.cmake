# The bad-input catalogue: files, names and images from other people's folders.
add_executable(file_catalogue_test catalogue/file_catalogue_test.cpp)
target_link_libraries(file_catalogue_test PRIVATE lyrvox_session lyrvox_extract lyrvox_test_support
                      GTest::gtest_main)
gtest_discover_tests(file_catalogue_test PROPERTIES TIMEOUT 300)
