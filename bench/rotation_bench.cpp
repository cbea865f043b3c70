// The singer rotation at a busy night's size: 60 singers with 600 queued songs in a
// real library file (WAL, as the player runs it). Times each host action as the
// player would run it, one transaction each, and prints median, p99 and max:
// adding a song, moving a singer, making one next, and taking the next turn
// (with the coming-songs list of 10 read after each, as an up-next view would).
// The thread's own processor time is printed beside the wall time: on a shared
// machine a wall-time outlier of one scheduler tick is another program's turn.
//   build/dev/bench/rotation_bench [FOLDER]   (default: a folder under $TMPDIR)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <time.h>

#include "library/library_index.h"
#include "library/singer_rotation.h"

namespace fs = std::filesystem;
using namespace lyrvox;

namespace {

constexpr int kSingers = 60;
constexpr int kSongsEach = 10;

using Clock = std::chrono::steady_clock;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Figures {
    std::vector<double> ms;
    double mostCpuMs = 0;
    template <class F>
    void time(F&& action) {
        const auto start = Clock::now();
        const double cpu = threadCpuMs();
        action();
        mostCpuMs = std::max(mostCpuMs, threadCpuMs() - cpu);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        const auto at = [&](double q) {
            return ms[std::min(ms.size() - 1,
                               static_cast<std::size_t>(q * static_cast<double>(ms.size())))];
        };
        std::printf(
            "%-26s n=%4zu  median %6.3f ms  p99 %6.3f ms  max %6.3f ms (cpu %6.3f ms)  %s\n", what,
            ms.size(), at(0.5), at(0.99), ms.back(), mostCpuMs, ms.back() < 5 ? "ok" : "OVER 5 ms");
    }
};

RotationSong song(int singer, int n) {
    return {0,
            "/songs/Singer" + std::to_string(singer) + " - Song " + std::to_string(n) + ".cdg",
            "Artist " + std::to_string(n),
            "Song " + std::to_string(n),
            std::nullopt,
            std::nullopt};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "lyrvox-rotation-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    LibraryIndex index((folder / "library.db").string());
    if (!index.isOpen()) {
        std::fprintf(stderr, "cannot open the library: %s\n", index.notice().c_str());
        return 1;
    }
    SingerRotation rotation(index);
    Figures addSinger, addSong, reorder, makeNext, next;
    for (int s = 0; s < kSingers; ++s)
        addSinger.time([&] { rotation.addSinger("Singer " + std::to_string(s)); });
    for (int n = 0; n < kSongsEach; ++n)
        for (int s = 0; s < kSingers; ++s)
            addSong.time([&] { rotation.addSong("Singer " + std::to_string(s), song(s, n)); });
    for (int i = 0; i < 300; ++i) {
        const std::string name = "Singer " + std::to_string(i * 7 % kSingers);
        reorder.time([&] { rotation.moveSinger(name, i * 13 % kSingers); });
    }
    int turns = 0;
    for (int i = 0; i < 300; ++i) {
        if (i % 5 == 0) {
            const std::string name = "Singer " + std::to_string(i * 11 % kSingers);
            makeNext.time([&] { rotation.makeNext(name); });
        }
        next.time([&] {
            if (rotation.next()) ++turns;
            (void)rotation.upcoming(10);
        });
    }
    if (!rotation.error().empty()) {
        std::fprintf(stderr, "a write failed: %s\n", rotation.error().c_str());
        return 1;
    }
    std::printf("rotation: %d singers, %d songs queued, in %s\n", kSingers, kSingers * kSongsEach,
                (folder / "library.db").c_str());
    addSinger.print("add a singer");
    addSong.print("add a song");
    reorder.print("move a singer");
    makeNext.print("make a singer next");
    next.print("next turn (+ coming 10)");
    std::printf("turns taken: %d\n", turns);
    fs::remove_all(folder);
    return 0;
}
