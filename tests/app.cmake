# The control window, its pure pieces and snapshots (Qt).
if(LYRVOX_WITH_QT)
    function(lyrvox_app_test name)
        add_executable(${name} app/${name}.cpp app/app_fakes.h)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE lyrvox_app lyrvox_test_support Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT
            "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-${name};LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp")
    endfunction()
    lyrvox_app_test(tst_control_window)
    lyrvox_app_test(tst_window_text)
    lyrvox_app_test(tst_snapshot)

    # The real program under a virtual X server playing the built-in demo song,
    # with a screenshot to look at.
    add_test(NAME app_smoke_xvfb
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smoke_xvfb.sh $<TARGET_FILE:lyrvox>
                     ${PROJECT_BINARY_DIR}/demo/lyrvox-demo.cdg ${LYRVOX_TEST_OUTPUT_DIR})
    set_tests_properties(app_smoke_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60
        ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-app_smoke_xvfb;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp")
endif()
