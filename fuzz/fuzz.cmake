# libFuzzer targets. Built by the "fuzz" preset with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer; scripts/fuzz.sh runs each for a bounded time.
foreach(lib lyrvox_util lyrvox_cdg lyrvox_extract)
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()
# The machine's whole-screen loops (clears, scrolls) would trace every loop
# compare: keep edge coverage and switch tracing, drop compare tracing there, or
# an input costs milliseconds.
target_compile_options(lyrvox_cdg PRIVATE -fno-sanitize-coverage=trace-cmp)

function(lyrvox_fuzz_target name)
    add_executable(${name} ${name}.cpp)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARGN})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

lyrvox_fuzz_target(fuzz_interpreter lyrvox_cdg)
lyrvox_fuzz_target(fuzz_extract lyrvox_extract)
lyrvox_fuzz_target(fuzz_text_helpers lyrvox_util)

# Seeds built in code (packet builders), written by a plain program.
add_executable(fuzz_make_seeds make_seeds.cpp)
target_include_directories(fuzz_make_seeds PRIVATE ${PROJECT_SOURCE_DIR})
