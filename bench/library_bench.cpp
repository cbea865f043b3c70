// The song library at scale: builds a library of tiny valid songs (loose pairs,
// graphics alone and MP3+G zips) in a temporary folder, then prints the first
// scan's rate, a rescan with nothing changed, search latencies by typed length
// and for words typed without their punctuation or with it,
// the longest the event loop went unserved during the scan, and the index size.
//   QT_QPA_PLATFORM=offscreen build/ci/bench/library_bench [SONGS]   (default 100000)
#include <zip.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/library/library_scan_job.h"

namespace fs = std::filesystem;
using lyrvox::LibraryIndex;

namespace {

const char* const kWords[] = {"love",   "night", "heart", "dance", "baby", "fire", "rain",
                              "summer", "dream", "blue",  "road",  "girl", "time", "light",
                              "river",  "money", "angel", "city",  "wild", "home", "sweet",
                              "crazy",  "stone", "queen", "gold",  "star", "moon", "tears"};
constexpr std::size_t kWordCount = std::size(kWords);

std::string word(std::size_t n) {
    return kWords[n % kWordCount];
}

void writeBytes(const std::string& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, '\0');
}

// Folders of 1000 songs: every fifth a zip, every fifth graphics alone, the rest pairs.
void buildLibrary(const std::string& root, int songs) {
    const std::string graphics(24 * 30, '\0'), audio(64, 'm');
    for (int i = 0; i < songs; ++i) {
        const std::string folder = root + "/disc" + std::to_string(i / 1000);
        if (i % 1000 == 0) fs::create_directories(folder);
        const auto n = static_cast<std::size_t>(i);
        char disc[32];
        std::snprintf(disc, sizeof disc, "SC%05d-%02d", i / 20, i % 20);
        // A third of the names with punctuation that search folds away: "Love's",
        // "Night & Heart", "Blue-Road".
        const std::string artistWord = word(n * 7) + (n % 3 == 0 ? "'s" : "");
        const std::string joint = n % 3 == 1 ? " & " : n % 3 == 2 && n % 2 == 0 ? "-" : " ";
        const std::string stem = std::string(disc) + " - " + artistWord + " " + word(n / 3) + " " +
                                 std::to_string(n % 500) + " - " + word(n) + joint +
                                 word(n / 11 + 3) + " " + word(n / 97 + 5);
        if (i % 5 == 0) {
            int error = 0;
            zip_t* z =
                zip_open((folder + "/" + stem + ".zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
            zip_file_add(z, "song.cdg", zip_source_buffer(z, graphics.data(), graphics.size(), 0),
                         0);
            zip_file_add(z, "song.mp3", zip_source_buffer(z, audio.data(), audio.size(), 0), 0);
            zip_close(z);
        } else {
            writeBytes(folder + "/" + stem + ".cdg", graphics.size());
            if (i % 5 != 1) writeBytes(folder + "/" + stem + ".mp3", audio.size());
        }
    }
}

// Runs one scan through the player's own job; returns its seconds and the longest
// gap between 10 ms watchdog ticks on this (the UI) thread.
std::pair<double, double> timedScan(const std::string& db, std::vector<lyrvox::LibraryFolder> f,
                                    lyrvox::ScanCounts& counts) {
    lyrvox::LibraryScanJob job(db);
    QElapsedTimer clock, gap;
    double longestGapMs = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    QObject::connect(&job, &lyrvox::LibraryScanJob::finished, [&](const lyrvox::ScanCounts& c) {
        counts = c;
        QCoreApplication::exit(0);
    });
    clock.start();
    gap.start();
    watchdog.start(10);
    job.start(std::move(f));
    QCoreApplication::exec();
    return {static_cast<double>(clock.nsecsElapsed()) / 1e9, longestGapMs - 10.0};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int songs = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path root = fs::temp_directory_path() / "lyrvox-library-bench";
    fs::remove_all(root);
    fs::create_directories(root / "songs");
    const std::string db = (root / "library.db").string();

    QElapsedTimer build;
    build.start();
    buildLibrary((root / "songs").string(), songs);
    std::printf("built %d songs in %.1f s\n", songs, static_cast<double>(build.elapsed()) / 1000);

    std::vector<lyrvox::LibraryFolder> folders;
    {
        LibraryIndex index(db);
        index.addFolder((root / "songs").string(), lyrvox::NameOrder::ArtistTitle);
        folders = index.folders();
    }
    lyrvox::ScanCounts counts;
    auto [seconds, gapMs] = timedScan(db, folders, counts);
    std::printf(
        "first scan: %lld songs (%lld skipped) in %.2f s = %.0f songs/s; "
        "longest UI-thread stall %.1f ms\n",
        static_cast<long long>(counts.songs), static_cast<long long>(counts.skipped), seconds,
        static_cast<double>(counts.songs) / seconds, gapMs);
    std::tie(seconds, gapMs) = timedScan(db, folders, counts);
    std::printf(
        "rescan, nothing changed: %lld unchanged, %lld updated in %.2f s; "
        "longest UI-thread stall %.1f ms\n",
        static_cast<long long>(counts.songs - counts.updated),
        static_cast<long long>(counts.updated), seconds, gapMs);

    LibraryIndex index(db);
    const std::vector<std::string> typed[] = {
        {"l", "n", "h", "d", "b", "f", "r", "s", "q", "g", "3", "1"},
        {"lo", "ni", "he", "da", "ba", "fi", "ra", "su", "qu", "go", "st", "mo"},
        {"lov", "nig", "hea", "dan", "bab", "fir", "rai", "sum", "que", "gol", "sc0", "ang"},
        {"love night", "heart dance", "queen gold", "fire rain summer", "sc01234", "angel 42",
         "crazy stone", "wild home sweet", "tears moon", "blue road", "money city", "dream"},
        {"loves", "love's", "dreams night", "heart and", "heart & dance", "bluero", "girlwild",
         "girl-wild", "queen and gold", "moons", "a&b", "it's"}};
    const char* names[] = {"1 char", "2 chars", "3 chars", "words", "folded"};
    for (std::size_t t = 0; t < std::size(typed); ++t) {
        std::vector<double> ms;
        for (int round = 0; round < 20; ++round) {
            for (const std::string& text : typed[t]) {
                const auto start = std::chrono::steady_clock::now();
                index.search(text, 500);
                ms.push_back(std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
            }
        }
        std::sort(ms.begin(), ms.end());
        std::printf("search %-7s: median %.2f ms, p99 %.2f ms, max %.2f ms (%zu searches)\n",
                    names[t], ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(), ms.size());
    }
    std::printf("database: %.1f MB (with its write-ahead log)\n",
                static_cast<double>(fs::file_size(db) +
                                    (fs::exists(db + "-wal") ? fs::file_size(db + "-wal") : 0)) /
                    1e6);
    fs::remove_all(root);
    return 0;
}
