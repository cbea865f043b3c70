# Decoding speed of the CD+G machine on a real song.
if(benchmark_FOUND)
    add_executable(decode_bench ${CMAKE_CURRENT_SOURCE_DIR}/decode_bench.cpp)
    target_link_libraries(decode_bench PRIVATE lyrvox_cdg benchmark::benchmark)
    target_compile_definitions(decode_bench PRIVATE
        LYRVOX_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
endif()
