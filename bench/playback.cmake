# The playback loop measured: a headless player for the CPU and sync scripts.
if(LYRVOX_WITH_QT)
    add_executable(headless_player ${CMAKE_CURRENT_SOURCE_DIR}/headless_player.cpp)
    target_link_libraries(headless_player PRIVATE lyrvox_media Qt6::Gui)
endif()
