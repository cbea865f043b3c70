// lyrvox-cdg video SONG... -o OUT: songs to video files (H.264 and AAC in MP4 or
// Matroska), every frame the exact picture. With several songs OUT is a folder and
// the videos are named after the songs; --jobs N exports N at once. SIGINT, SIGTERM
// and SIGHUP cancel the exports in progress (nothing of them is left) and then end
// the process as they would have.
#include <signal.h>
#include <unistd.h>
#include <QCommandLineParser>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "util/settings_table.h"
#include "util/text_helpers.h"
#include "video/video_exporter.h"

namespace lyrvox {
namespace {

const char kVideoUsage[] =
    "usage: lyrvox-cdg video SONG... -o OUT [--format mp4|mkv] [--size WxH] [--stretch]\n"
    "                        [--fps 25|30|50|60] [--key N] [--tempo P] [--offset MS] [--yuv444]\n"
    "                        [--background COLOUR|IMAGE|FOLDER|VIDEO] [--transparent-background]\n"
    "                        [--slide-seconds N]\n"
    "                        [--jobs N] [--progress-lines]\n";

// The signal that asked the exports to end (0: none yet).
std::atomic<int> endSignal{0};

extern "C" void noteEndSignal(int signal) {
    endSignal.store(signal);
}

// Catches the signals that end a program while the exports run, so that they can
// remove their temporary files; afterwards the signal is raised again with its
// usual effect. Signals the process ignores (nohup, a script's background job)
// stay ignored.
class CaughtEndSignals {
  public:
    CaughtEndSignals() {
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction previous {};
            if (sigaction(s, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = noteEndSignal;
            sigemptyset(&action.sa_mask);
            sigaction(s, &action, &previous_[s]);
        }
    }
    ~CaughtEndSignals() {
        for (auto& [s, previous] : previous_) sigaction(s, &previous, nullptr);
        if (const int s = endSignal.exchange(0); s != 0) raise(s);
    }
    CaughtEndSignals(const CaughtEndSignals&) = delete;
    CaughtEndSignals& operator=(const CaughtEndSignals&) = delete;

  private:
    std::map<int, struct sigaction> previous_;
};

std::optional<int> parseInt(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

struct VideoJobs {
    VideoExportOptions common;
    // "progress F" lines (F from 0 to 1) for a program that runs this one.
    bool progressLines = false;
    std::vector<std::string> songs;
    std::vector<std::string> outputs;
    int jobs = 1;
};

std::string outputName(const std::string& song, VideoContainer container) {
    return stripExtension(fileNameOf(song)) + (container == VideoContainer::Mp4 ? ".mp4" : ".mkv");
}

// Empty result = parsed; otherwise the message for the user.
std::string parseVideoArgs(const std::vector<std::string>& args, VideoJobs& run) {
    QCommandLineParser parser;
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QString(), QStringLiteral("OUT"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption stretch(QStringLiteral("stretch"));
    const QCommandLineOption fps(QStringLiteral("fps"), QString(), QStringLiteral("N"));
    const QCommandLineOption key(QStringLiteral("key"), QString(), QStringLiteral("N"));
    const QCommandLineOption tempo(QStringLiteral("tempo"), QString(), QStringLiteral("P"));
    const QCommandLineOption offset(QStringLiteral("offset"), QString(), QStringLiteral("MS"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    const QCommandLineOption yuv444(QStringLiteral("yuv444"));
    const QCommandLineOption progressLines(QStringLiteral("progress-lines"));
    const QCommandLineOption background(QStringLiteral("background"), QString(),
                                        QStringLiteral("B"));
    const QCommandLineOption transparentBackground(QStringLiteral("transparent-background"));
    const QCommandLineOption slideSeconds(QStringLiteral("slide-seconds"), QString(),
                                          QStringLiteral("N"));
    parser.addOptions({output, format, size, stretch, fps, key, tempo, offset, jobs, yuv444,
                       progressLines, background, transparentBackground, slideSeconds});
    const ParseProblem problem = parseArguments(parser, args);
    if (problem.kind == ParseProblem::UnknownOption)
        return "unknown option '" + escapeForTerminal(problem.argument) + "'";
    if (problem.kind == ParseProblem::MissingValue)
        return escapeForTerminal(problem.argument) + " needs a value";

    VideoExportOptions& o = run.common;
    const std::string out = toStd(parser.value(output));
    if (out.empty()) return "no OUT given: name the video with -o";
    if (parser.isSet(format)) {
        const std::string f = toLowerAscii(toStd(parser.value(format)));
        if (f == "mp4") {
            o.container = VideoContainer::Mp4;
        } else if (f == "mkv") {
            o.container = VideoContainer::Matroska;
        } else {
            return "unknown format '" + escapeForTerminal(f) + "': use mp4 or mkv";
        }
    } else if (toLowerAscii(extensionOf(out)) == "mkv") {
        o.container = VideoContainer::Matroska;  // the name says which
    }
    if (parser.isSet(size)) {
        const std::string s = toStd(parser.value(size));
        const std::size_t x = s.find_first_of("xX");
        const auto w = parseInt(s.substr(0, x));
        const auto h = x == std::string::npos ? std::nullopt : parseInt(s.substr(x + 1));
        if (!w || !h)
            return "bad size '" + escapeForTerminal(s) +
                   "': expected WIDTHxHEIGHT such as 1280x720";
        o.width = *w;
        o.height = *h;
    }
    o.stretch = parser.isSet(stretch);
    o.fullChroma = parser.isSet(yuv444);
    o.background = toStd(parser.value(background));
    if (parser.isSet(background) && o.background.empty()) return "--background needs a value";
    o.transparentBackground = parser.isSet(transparentBackground);
    // A folder's slides change as often as the player's slideshow does by default.
    o.slideSeconds = settingNumber(settings::kBackgroundPeriod, std::nullopt);
    run.progressLines = parser.isSet(progressLines);
    struct Number {
        const QCommandLineOption& option;
        int& value;
        const char* expected;
    };
    for (const Number& n : {Number{fps, o.fps, "25, 30, 50 or 60"},
                            Number{key, o.semitones, "semitones such as -2 or 3"},
                            Number{tempo, o.tempoPercent, "a percentage such as 90"},
                            Number{offset, o.offsetMs, "milliseconds such as -120"},
                            Number{jobs, run.jobs, "a count such as 2"},
                            Number{slideSeconds, o.slideSeconds, "seconds such as 10"}}) {
        if (!parser.isSet(n.option)) continue;
        const std::string v = toStd(parser.value(n.option));
        const auto parsed = parseInt(v);
        if (!parsed)
            return "bad --" + toStd(n.option.names().front()) + " '" + escapeForTerminal(v) +
                   "': expected " + n.expected;
        n.value = *parsed;
    }
    if (run.jobs < 1 || run.jobs > 64) return "--jobs must be from 1 to 64";
    if (const std::string bad = VideoExporter::checkOptions(o); !bad.empty()) return bad;

    for (const QString& song : parser.positionalArguments()) run.songs.push_back(toStd(song));
    if (run.songs.empty()) return "no SONG given";
    std::error_code ec;
    const bool outIsFolder = std::filesystem::is_directory(out, ec);
    if (run.songs.size() > 1 && !outIsFolder) {
        if (std::filesystem::exists(out, ec))
            return "with several songs OUT must be a folder; '" + escapeForTerminal(out) +
                   "' is a file";
        if (!std::filesystem::create_directory(out, ec))
            return "cannot make the folder '" + escapeForTerminal(out) + "': " + ec.message();
    }
    std::map<std::string, std::string> taken;  // output -> song
    for (const std::string& song : run.songs) {
        const std::string name =
            run.songs.size() > 1 || outIsFolder
                ? (std::filesystem::path(out) / outputName(song, o.container)).string()
                : out;
        if (auto [it, fresh] = taken.emplace(name, song); !fresh)
            return "'" + escapeForTerminal(it->second) + "' and '" + escapeForTerminal(song) +
                   "' would both be written to '" + escapeForTerminal(name) + "'";
        if (std::filesystem::equivalent(song, name, ec))
            return "the video would overwrite the song '" + escapeForTerminal(song) +
                   "'; choose another OUT";
        run.outputs.push_back(name);
    }
    return {};
}

// One terminal line of progress for all the exports, at most five times a second.
class ProgressLine {
  public:
    enum class Style { None, Terminal, Lines };
    ProgressLine(std::ostream& err, Style style, std::size_t songs)
        : err_(err), style_(style), done_(songs, 0.0) {}

    void update(std::size_t song, double done) {
        if (style_ == Style::None) return;
        const std::lock_guard lock(mutex_);
        done_[song] = done;
        double sum = 0.0;
        std::size_t finished = 0;
        for (double d : done_) {
            sum += d;
            finished += d >= 1.0 ? 1 : 0;
        }
        const double share = sum / static_cast<double>(done_.size());
        // The whole is always told; the steps between at most five times a second.
        const auto now = std::chrono::steady_clock::now();
        if (finished < done_.size() && now - drawn_ < std::chrono::milliseconds(200)) return;
        drawn_ = now;
        if (style_ == Style::Lines) {
            err_ << "progress " << std::fixed << std::setprecision(3) << share << std::endl;
            return;
        }
        err_ << "\r\033[Kexporting: " << static_cast<int>(100.0 * share) << "%";
        if (done_.size() > 1) err_ << " (" << finished << " of " << done_.size() << " songs done)";
        err_ << std::flush;
        dirty_ = true;
    }
    // Prints a whole line of its own, above the progress.
    void say(std::ostream& stream, const std::string& line) {
        const std::lock_guard lock(mutex_);
        if (dirty_) err_ << "\r\033[K" << std::flush;
        dirty_ = false;
        drawn_ = {};
        stream << line << std::flush;
    }

  private:
    std::ostream& err_;
    Style style_;
    std::mutex mutex_;
    std::vector<double> done_;
    std::chrono::steady_clock::time_point drawn_{};
    bool dirty_ = false;
};

std::string minutes(double seconds) {
    const int whole = static_cast<int>(seconds + 0.5);
    const std::string s = std::to_string(whole % 60);
    return std::to_string(whole / 60) + ":" + (s.size() < 2 ? "0" : "") + s;
}

}  // namespace

int runVideo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    VideoJobs run;
    if (const std::string problem = parseVideoArgs(args, run); !problem.empty()) {
        err << "lyrvox-cdg video: " << problem << "\n" << kVideoUsage;
        return 2;
    }
    if (const std::string missing = VideoExporter::missingElements(run.common); !missing.empty()) {
        err << "lyrvox-cdg video: " << missing << "\n";
        return 1;
    }
    // A background that cannot be shown stops every export before any is written.
    if (const std::string why = VideoExporter::checkBackground(run.common); !why.empty()) {
        err << "lyrvox-cdg video: cannot read the background: "
            << escapeForTerminal(run.common.background) << ": " << why << "\n";
        return 1;
    }
    const CaughtEndSignals caught;
    const bool onTerminal = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    const auto style = run.progressLines ? ProgressLine::Style::Lines
                       : onTerminal      ? ProgressLine::Style::Terminal
                                         : ProgressLine::Style::None;
    ProgressLine progress(err, style, run.songs.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> anyFailed{false};
    std::atomic<bool> cancel{false};
    auto worker = [&] {
        for (std::size_t i = next++; i < run.songs.size(); i = next++) {
            if (endSignal.load() != 0) cancel = true;
            if (cancel) return;
            VideoExportOptions options = run.common;
            options.song = run.songs[i];
            options.output = run.outputs[i];
            const VideoExportResult result = VideoExporter().run(options, cancel, [&](double done) {
                if (endSignal.load() != 0) cancel = true;
                progress.update(i, done);
            });
            const std::string song = escapeForTerminal(run.songs[i]);
            if (result.outcome == VideoExportResult::Outcome::Written) {
                progress.update(i, 1.0);
                progress.say(
                    out, "wrote " + escapeForTerminal(options.output) + " (" +
                             minutes(result.seconds) + ", " + std::to_string(options.width) + "x" +
                             std::to_string(options.height) + ", " + std::to_string(options.fps) +
                             " fps" + (result.withAudio ? "" : ", no audio: graphics only") +
                             ")\n");
            } else if (result.outcome == VideoExportResult::Outcome::Failed) {
                anyFailed = true;
                progress.say(err, "lyrvox-cdg video: " + song + ": " +
                                      escapeForTerminal(result.message) + "\n");
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(run.jobs, run.songs.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    if (cancel || endSignal.load() != 0) {
        progress.say(err, "lyrvox-cdg video: stopped; the unfinished videos were removed\n");
        return 1;
    }
    return anyFailed ? 1 : 0;
}

}  // namespace lyrvox
