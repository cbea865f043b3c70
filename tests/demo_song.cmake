# The generated demo song: its structure, text tiles and audio.
if(TARGET lyrvox_demo_song)
    add_executable(demo_song_test
        demo_song/demo_song_test.cpp
        demo_song/tile_canvas_test.cpp
        demo_song/demo_song_render_test.cpp)
    target_link_libraries(demo_song_test PRIVATE lyrvox_demo_song lyrvox_util lyrvox_test_support GTest::gtest_main)
    gtest_discover_tests(demo_song_test)
endif()
