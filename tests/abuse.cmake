# The whole player under a long run of random user actions, and its memory over
# ten songs back to back: real media backend, real windows, under Xvfb.
if(LYRVOX_WITH_QT)
    add_executable(tst_abuse abuse/tst_abuse.cpp abuse/random_driver.cpp abuse/random_driver.h)
    set_target_properties(tst_abuse PROPERTIES AUTOMOC ON)
    target_link_libraries(tst_abuse PRIVATE lyrvox_app lyrvox_test_support Qt6::Test Qt6::Widgets)
    target_compile_definitions(tst_abuse PRIVATE LYRVOX_DEMO_DIR="${PROJECT_BINARY_DIR}/demo")
    if(TARGET lyrvox_demo)
        add_dependencies(tst_abuse lyrvox_demo)
    endif()

    add_test(NAME abuse_xvfb COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/abuse_xvfb.sh $<TARGET_FILE:tst_abuse>)
    set_tests_properties(abuse_xvfb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
        ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg-abuse_xvfb;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0")
endif()
