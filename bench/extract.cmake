# Extraction throughput against cat; run bench/extract_bench.sh [BUILD_DIR].
add_executable(lyrvox_extract_bench extract_bench_main.cpp)
target_link_libraries(lyrvox_extract_bench PRIVATE lyrvox_extract)
