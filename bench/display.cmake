# Picture copy: cost of one stretched copy per display frame.
if(benchmark_FOUND)
    add_executable(display_bench display_bench.cpp)
    target_link_libraries(display_bench PRIVATE lyrvox_display_core benchmark::benchmark)
endif()
