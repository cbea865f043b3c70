// Times ExtractSubcode over one image file and prints the throughput.
// usage: lyrvox_extract_bench IMAGE [OUTPUT]   (OUTPUT defaults to /dev/null)
// LYRVOX_BLOCK_SECTORS=N reads N sectors at a time instead of the default.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "extract/cdg_extractor.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: lyrvox_extract_bench IMAGE [OUTPUT]\n";
        return 2;
    }
    const std::string imagePath = argv[1];
    const std::string outputPath = argc == 3 ? argv[2] : "/dev/null";

    const auto start = std::chrono::steady_clock::now();
    std::ifstream image(imagePath, std::ios::binary | std::ios::ate);
    std::ofstream output(outputPath, std::ios::binary | std::ios::trunc);
    if (!image || !output) {
        std::cerr << "cannot open " << (image ? outputPath : imagePath) << "\n";
        return 1;
    }
    const auto length = static_cast<std::int64_t>(image.tellg());
    image.seekg(0);
    lyrvox::ExtractOptions options;
    if (const char* blocks = std::getenv("LYRVOX_BLOCK_SECTORS")) {
        options.blockSectors = std::atoll(blocks);
    }
    std::int64_t progressCalls = 0;
    const lyrvox::ExtractResult result = lyrvox::ExtractSubcode(
        image, length, output,
        [&](const lyrvox::ExtractProgress&) {
            ++progressCalls;
            return true;
        },
        options);
    output.close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.outcome != lyrvox::ExtractOutcome::Completed) {
        std::cerr << "extraction failed: " << result.error.message() << "\n";
        return 1;
    }
    std::printf(
        "core: %.1f MB in %.3f s = %.0f MB/s (%lld sectors, %lld progress calls)\n",
        static_cast<double>(length) / 1e6, seconds, static_cast<double>(length) / 1e6 / seconds,
        static_cast<long long>(result.sectorsWritten), static_cast<long long>(progressCalls));
    return 0;
}
