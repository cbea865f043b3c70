# The media control, the event pump and whole sessions on the real Qt backend
# (headless: GStreamer plays into a fake sink that keeps real time).
if(LYRVOX_WITH_QT)
    function(lyrvox_media_test name)
        add_executable(${name} media/${name}.cpp)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE lyrvox_media lyrvox_test_support Qt6::Test Qt6::Gui)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES
            TIMEOUT 120
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-${name}")
        if(LYRVOX_SANITIZE)
            # The system media stack leaks at start-up; see the file.
            set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
                "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")
        endif()
    endfunction()

    lyrvox_media_test(qt_media_control_test)
    lyrvox_media_test(qt_session_test)
    lyrvox_media_test(qt_media_widgets_test)
    target_link_libraries(qt_media_widgets_test PRIVATE Qt6::Widgets)
endif()
