# The media control and the event pump on the real Qt backend (headless).
if(LYRVOX_WITH_QT)
    add_executable(qt_media_control_test media/qt_media_control_test.cpp)
    set_target_properties(qt_media_control_test PROPERTIES AUTOMOC ON)
    target_link_libraries(qt_media_control_test PRIVATE lyrvox_media lyrvox_test_support
                          Qt6::Test Qt6::Gui)
    add_test(NAME qt_media_control_test COMMAND qt_media_control_test)
    set_tests_properties(qt_media_control_test PROPERTIES
        TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-qt_media_control_test")
    if(LYRVOX_SANITIZE)
        # The system media stack leaks at start-up; see the file.
        set_property(TEST qt_media_control_test APPEND PROPERTY ENVIRONMENT
            "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/media/lsan_media.supp:print_suppressions=0")
    endif()
endif()
