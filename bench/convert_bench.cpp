// Convert beside the event loop: runs the player's ConvertJob on a sparse image
// (SECTORS sectors of zeros that take no disk) while a 10 ms timer ticks on this,
// the window's, thread, and prints the run's throughput, its progress signals a
// second, and the longest the event loop went unserved; then a second run stopped
// at its first progress, and how long the Stop took to wind down and how long
// the waiting stop of shut-down took. Goals: the longest stall well under a
// frame (below 20 ms, or not above the idle figure it prints beside it on a busy
// machine), both stops under 100 ms.
//   QT_QPA_PLATFORM=offscreen build/dev/bench/convert_bench [SECTORS]   (default 1000000)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/convert_job.h"

namespace fs = std::filesystem;

namespace {

struct Figures {
    double seconds = 0;       // start to finished()
    double longestGapMs = 0;  // beyond the timer's own 10 ms
    double stopMs = 0;        // stop() to finished(), when stopped
    int progressSignals = 0;
    std::string message;
};

// One run of `image`; with `stopAtFirstProgress`, Stop at its first progress.
Figures run(const std::string& image, bool stopAtFirstProgress) {
    Figures f;
    lyrvox::ConvertJob job;
    QElapsedTimer clock, gap, stopClock;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        f.longestGapMs = std::max(f.longestGapMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    QObject::connect(&job, &lyrvox::ConvertJob::progressed, [&](const std::string&) {
        if (++f.progressSignals == 1 && stopAtFirstProgress) {
            stopClock.start();
            job.stop();
        }
    });
    QObject::connect(&job, &lyrvox::ConvertJob::finished, [&](const std::string& message) {
        f.message = message;
        if (stopClock.isValid()) f.stopMs = static_cast<double>(stopClock.nsecsElapsed()) / 1e6;
        QCoreApplication::exit(0);
    });
    lyrvox::ConvertPlan plan = lyrvox::Converter::plan(image);
    plan.answer(true);
    clock.start();
    gap.start();
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.start(10);
    job.start(std::move(plan));
    QCoreApplication::exec();
    f.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    f.longestGapMs = std::max(0.0, f.longestGapMs - 10.0);
    return f;
}

// The longest stall of the same watchdog over `seconds` with nothing else to do:
// what the machine itself costs, for comparison.
double idleGapMs(double seconds) {
    QElapsedTimer gap;
    double longest = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        longest = std::max(longest, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
    gap.start();
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.start(10);
    QCoreApplication::exec();
    return std::max(0.0, longest - 10.0);
}

// Milliseconds that the shut-down's waiting stop takes once a run is under way.
double waitingStopMs(const std::string& image) {
    lyrvox::ConvertJob job;
    lyrvox::ConvertPlan plan = lyrvox::Converter::plan(image);
    plan.answer(true);
    QObject::connect(&job, &lyrvox::ConvertJob::progressed,
                     [](const std::string&) { QCoreApplication::exit(0); });
    job.start(std::move(plan));
    QCoreApplication::exec();
    QElapsedTimer clock;
    clock.start();
    job.stopAndWait();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long sectors = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const fs::path root = fs::temp_directory_path() / "lyrvox-convert-bench";
    fs::remove_all(root);
    fs::create_directories(root);
    const std::string image = (root / "disc.bin").string();
    std::ofstream(image, std::ios::binary).close();
    fs::resize_file(image, static_cast<std::uintmax_t>(sectors) * 2448);
    const double megabytes = static_cast<double>(sectors) * 2448 / 1e6;

    const Figures whole = run(image, false);
    std::printf(
        "whole run: %.1f MB in %.2f s = %.0f MB/s, %d progress signals (%.1f a second); "
        "longest UI-thread stall %.1f ms; \"%s\"\n",
        megabytes, whole.seconds, megabytes / whole.seconds, whole.progressSignals,
        whole.progressSignals / whole.seconds, whole.longestGapMs, whole.message.c_str());
    std::printf("the same time idle: longest stall %.1f ms\n", idleGapMs(whole.seconds));
    const Figures stopped = run(image, true);
    std::printf("stopped at the first progress: Stop to the end %.1f ms; \"%s\"\n", stopped.stopMs,
                stopped.message.c_str());
    std::printf("shut-down's waiting stop: %.1f ms\n", waitingStopMs(image));
    fs::remove_all(root);
    return whole.message == "File(s) converted!" ? 0 : 1;
}
