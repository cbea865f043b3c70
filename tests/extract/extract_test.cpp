// Subcode extraction from in-memory images, and the Convert command on real files: what
// the window shows and what is left on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <sstream>

#include "extract/cdg_extractor.h"
#include "extract/converter.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

// Hands out its bytes, then fails with `error` (0: a plain end) as a bad disk does.
struct FailingReadBuffer : std::stringbuf {
    FailingReadBuffer(const std::string& bytes, int e) : std::stringbuf(bytes), error(e) {}
    int_type underflow() override {
        errno = error;
        return traits_type::eof();
    }
    int error;
};

// An image stated as `sectors` long gives `bytes`, then fails with `error`; `block` sectors
// are read at once, reporting after each (0: the defaults); a stop after `stopAt`.
TEST(ExtractSubcode, CopiesTheLast96BytesOfEverySectorUntilStopOrFailure) {
    using O = ExtractOutcome;
    struct Case {
        std::int64_t sectors;
        std::size_t bytes = SIZE_MAX;
        int error = 0;
        std::int64_t block = 0, stopAt = -1;
        ExtractOutcome outcome = O::Completed;
        std::int64_t written = sectors;
    };
    std::vector<Case> cases = {
        {.sectors = 1},
        {.sectors = 10, .block = 3},  // a short last block
        {.sectors = 1000},
        {.sectors = 9, .block = 4, .stopAt = 9},             // nothing left to stop
        {6, 3 * 2448 + 1000, EIO, 2, -1, O::ReadFailed, 3},  // whole blocks only
        {3, 2 * 2448, 0, 1, -1, O::ReadFailed, 2},  // shorter than stated: no system reason
    };
    for (std::int64_t k : {1, 3, 4, 8}) cases.push_back({9, SIZE_MAX, 0, 4, k, O::Stopped, k});
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases.data());
        const std::string image = testing::makeImage(c.sectors, 5);
        FailingReadBuffer buffer(image.substr(0, c.bytes), c.error);
        std::istream in(&buffer);
        std::ostringstream out;
        std::vector<std::int64_t> reports;
        ExtractOptions options;
        if (c.block > 0) options = {.progressInterval = {}, .blockSectors = c.block};
        const auto progress = [&](const ExtractProgress& p) {
            reports.push_back(p.sectorsDone);
            return p.sectorsDone != c.stopAt;
        };
        const ExtractResult result = ExtractSubcode(in, c.sectors * 2448, out, progress, options);
        EXPECT_EQ(std::tuple(result.outcome, result.sectorsWritten, result.error.value()),
                  std::tuple(c.outcome, c.written, c.error));
        EXPECT_EQ(out.str(), testing::expectedSubcode(image, c.written));
        EXPECT_EQ(reports.empty() ? -1 : reports.back(), c.written);  // one after the last
        EXPECT_EQ(std::ssize(reports), c.block ? c.written : std::ssize(reports));  // each sector
    }
}

namespace fs = std::filesystem;
using O = ConvertOutcome;
using Strings = std::vector<std::string>;

// A window recording what a run shows; it asks the plan's question ("?" first) and answers
// !keep. The run's looks at the stop are counted from 1 (before the first image, then after
// each sector's progress and before each later image); onLook runs in each.
struct Window : ConvertHost {
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showImageName(const std::string& text) override { labels += text + "|"; }
    void showProgress(const std::string& text) override { labels += text + "|"; }
    bool stopRequested() override {
        onLook(++looks);
        return stop;
    }
    std::string convert(const std::string& source) {  // a click, and the run to its end
        ConvertPlan plan = Converter::plan(source);
        if (!plan.question.empty()) {
            messages.push_back("?" + plan.question);
            plan.answer(!keep);
        }
        summary = converter.run(plan);
        std::string all;
        for (const std::string& m : messages) all += (all.empty() ? "" : "\n") + m;
        return all;
    }
    Strings messages;
    bool keep = false;   // the answer to the question
    bool stop = false;   // what the run is told when it looks
    std::string labels;  // each label as shown, then "|"
    int looks = 0;
    std::function<void(int)> onLook = [](int) {};
    Converter converter{*this, {.progressInterval = {}}};
    ConvertSummary summary;
};

// f(name, bytes) for each "name:size" of `list`: sizes in sectors, or bytes ("5b").
void forEachFile(const std::string& list, const std::function<void(std::string, long)>& f) {
    std::istringstream in(list);
    for (std::string it; in >> it;) {
        const std::size_t colon = it.find(':');
        f(it.substr(0, colon), std::stol(it.substr(colon + 1)) * (it.back() == 'b' ? 1 : 2448));
    }
}

// In a current folder of its own, a click with `source`, `action` in look `at` (1: before
// the first image, 1 + k: after its sector k); the folder gains the outputs of `converted` and
// nothing else: no temporary file, and an earlier output is replaced only by a whole one.
TEST(Converter, ConvertsStopsAndFailsLeavingTheRightFiles) {
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const rlimit limited{10000, unlimited.rlim_max};
    auto* const previousHandler = signal(SIGXFSZ, SIG_IGN);
    const fs::path previousFolder = fs::current_path();
    Window* w = nullptr;
    const auto stop = [&] { w->stop = true; };
    const std::string done = "File(s) converted!", notFound = "File not found!",
                      invalid = "Not a valid CDRWin CD+G file!",
                      overwrite = "The output would overwrite the image: ",
                      stopped = "Conversion stopped: ", longName(300, 'a');
    const auto ask = [](const std::string& names) {
        return "?1 file(s) exist and would be replaced: " + names + ". Replace?\n";
    };
    struct Case {
        std::string source, images, message;
        ConvertOutcome outcome;
        std::string converted = "";
        int at = 0;  // the look in which `action` runs; 0: before the click
        std::function<void()> action = nullptr;
        std::optional<std::string> labels = std::nullopt;  // when checked
        bool keep = false;                                 // the answer to the question
    };
    std::vector<Case> cases = {
        {"one.bin", "one.bin:3", done, O::Converted, "one.bin:3", 0, nullptr,
         "one.bin|033%|067%|100%|"},
        {"empty.bin", "empty.bin:0", done, O::Converted, "empty.bin:0"},
        {".hidden.bin", ".hidden.bin:1", done, O::Converted, ".hidden.bin:1"},
        {"./rel.bin", "rel.bin:1", done, O::Converted, "rel.bin:1"},
        {"missing.bin", "", notFound, O::NotFound},
        {"*.bin", "a.bin:1", notFound, O::NotFound},
        {"dir.bin", "", notFound, O::NotFound, "", 0, [] { fs::create_directory("dir.bin"); }},
        // Series: gaps skipped, any letter case, none past 99; "" one in the current folder.
        {"disc", "disc01.bin:2 disc03.bin:1 Disc05.BIN:3 disc100.bin:1", done, O::Converted,
         "disc01.bin:2 disc03.bin:1 Disc05.BIN:3"},
        {"vol.2disc", "vol.2disc01.bin:1", done, O::Converted, "vol.2disc01.bin:1"},
        {"none", "", notFound, O::NotFound},
        {"", "01.bin:1",
         "Choose a CDRWin image first (or type the stem of a numbered series: "
         "disc for disc01.bin to disc99.bin).",
         O::NothingChosen},
        {longName, "", "Cannot read the image: " + longName + " (File name too long)",
         O::ReadFailed},
        // The output's name ends where the image's extension begins.
        {"real.cdg.bin", "real.cdg.bin:1 real.cdg:5b", done, O::Converted, "real.cdg.bin:1"},
        // Existing outputs: replaced whole when the user agrees, else kept, their images
        // skipped; a name taken during the run is never replaced.
        {"one.bin", "one.bin:2 one.cdg:5b", ask("one.cdg") + done, O::Converted, "one.bin:2"},
        {"one.bin", "one.bin:2 one.cdg:5b",
         ask("one.cdg") + "Nothing converted: the existing file(s) were kept.", O::AllKept, "", 0,
         nullptr, std::nullopt, true},
        {"t", "t01.bin:1 t01.cdg:5b t02.bin:2", ask("t01.cdg") + done, O::Converted, "t02.bin:2", 0,
         nullptr, std::nullopt, true},
        {"p", "p01.bin:1 p01.cdg:5b p02.bin:2 p02.cdg:6b p03.bin:1",
         "?2 file(s) exist and would be replaced: p01.cdg, p02.cdg. Replace?\n" + done,
         O::Converted, "p03.bin:1", 0, nullptr, std::nullopt, true},
        {"r.bin", "r.bin:3", "Cannot write the output: r.cdg (File exists)", O::WriteFailed, "", 2,
         [] { testing::writeFile("r.cdg", std::string("new")); }},
        // A bad member ends the run: earlier outputs stay, later members are not read.
        {"disc", "disc01.bin:1 disc02.bin:5b disc03.bin:1", invalid, O::InvalidImage,
         "disc01.bin:1"},
        // Stop ends the series and leaves nothing of the image in progress, an earlier output
        // of its name untouched; one after the last sector leaves that image whole.
        {"disc", "disc01.bin:1 disc02.bin:3 disc02.cdg:5b",
         ask("disc02.cdg") + stopped + "1 file(s) converted.", O::Stopped, "disc01.bin:1", 5, stop,
         "disc01.bin|100%|disc02.bin|033%|067%|"},
        {"s.bin", "s.bin:3 s.cdg:1", ask("s.cdg") + stopped + "no file converted.", O::Stopped, "",
         1, stop, ""},
        {"last.bin", "last.bin:2", stopped + "1 file(s) converted.", O::Stopped, "last.bin:2", 3,
         stop},
        // Never over the image, whatever its name: the same, a hard or a symbolic link.
        {"x.cdg", "x.cdg:2", overwrite + "x.cdg", O::WouldOverwrite},
        {"h.bin", "h.bin:2", overwrite + "h.cdg", O::WouldOverwrite, "", 0,
         [] { fs::create_hard_link("h.bin", "h.cdg"); }},
        {"s.bin", "s.bin:2", overwrite + "s.cdg", O::WouldOverwrite, "", 0,
         [] { fs::create_symlink("s.bin", "s.cdg"); }},
        {"d.bin", "d.bin:2", "Cannot write the output: d.cdg (Is a directory)", O::WriteFailed, "",
         0, [] { fs::create_directory("d.cdg"); }},
        // The file-size limit fails 19,200 bytes of output part way, as a full disk does.
        {"big.bin", "big.bin:200 big.cdg:5b",
         ask("big.cdg") + "Cannot write the output: big.cdg (File too large)", O::WriteFailed, "",
         0, [&] { setrlimit(RLIMIT_FSIZE, &limited); }},
        {"shrinks.bin", "shrinks.bin:500 shrinks.cdg:7b",
         ask("shrinks.cdg") + "Cannot read the image: shrinks.bin (the image ended early)",
         O::ReadFailed, "", 2, [] { fs::resize_file("shrinks.bin", 3 * 2448); }},
    };
    // No read permission (root reads anything: for root the folder case stands in).
    if (geteuid() != 0) {
        cases.push_back({"l.bin", "l.bin:1", "Cannot read the image: l.bin (Permission denied)",
                         O::ReadFailed, "", 0, [] { fs::permissions("l.bin", {}); }});
    }
    for (long n : {1, 95, 96, 2447, 2449, 4895, 4897, 3 * 2448 + 1})
        cases.push_back({"i.bin", "i.bin:" + std::to_string(n) + "b", invalid, O::InvalidImage});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 20) + " " + c.images);
        const testing::TempFolder folder;
        fs::current_path(folder.path());
        int seed = 0;
        forEachFile(c.images, [&](std::string name, long bytes) {
            testing::writeFile(name, testing::makeImage(bytes / 2448 + 1, ++seed).substr(0, bytes));
        });
        if (c.action && c.at == 0) c.action();
        auto expected = testing::filesIn(".");
        int whole = 0;  // images converted whole
        forEachFile(c.converted, [&](std::string image, long bytes) {
            ++whole;
            expected[Converter::outputNameFor(image)] =
                testing::expectedSubcode(expected[image], bytes / 2448);
        });
        if (c.source == "shrinks.bin") expected[c.source].resize(3 * 2448);
        if (c.source == "r.bin") expected["r.cdg"] = "new";
        Window window;
        window.keep = c.keep;
        w = &window;
        window.onLook = [&](int n) {
            if (n == c.at) c.action();
        };
        EXPECT_EQ(window.convert(c.source), c.message);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(window.summary.outcome, c.outcome);
        EXPECT_EQ(window.summary.imagesConverted, whole);
        EXPECT_EQ(testing::filesIn("."), expected);
        EXPECT_EQ(window.labels, c.labels.value_or(window.labels));
        fs::current_path(previousFolder);
    }
    signal(SIGXFSZ, previousHandler);
}

}  // namespace
}  // namespace lyrvox
