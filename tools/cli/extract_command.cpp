// lyrvox-cdg extract IMAGE_OR_STEM: the Convert command of the player on the
// terminal, with the same rules and messages.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "extract/converter.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"

namespace lyrvox {
namespace {

const char kExtractUsage[] = "usage: lyrvox-cdg extract IMAGE_OR_STEM\n";

// Messages are collected and printed once the run's outcome is known, so that
// the success message goes to out and everything else to err. Progress is drawn
// on one terminal line, only when err is the process's own terminal.
class TerminalConvertHost : public ConvertHost {
  public:
    TerminalConvertHost(std::ostream& err, bool showProgress)
        : err_(err), showProgress_(showProgress) {}

    void showMessage(const std::string& text) override {
        clearLine();
        messages_.push_back(text);
    }
    void setConverting(bool) override {}
    void showImageName(const std::string& name) override { fileName_ = name; }
    void showProgress(const std::string& text) override {
        if (!showProgress_ || text.empty()) return;
        err_ << '\r' << fileName_ << ' ' << text << std::flush;
        lineDirty_ = true;
    }
    void serveEvents() override {}

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    void clearLine() {
        if (!lineDirty_) return;
        err_ << "\r\033[K" << std::flush;
        lineDirty_ = false;
    }

    std::ostream& err_;
    bool showProgress_;
    bool lineDirty_ = false;
    std::string fileName_;
    std::vector<std::string> messages_;
};

}  // namespace

int runExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    const QStringList sources = parser.positionalArguments();
    if (parsed && parser.isSet(help) && sources.isEmpty()) {
        out << kExtractUsage;
        return 0;
    }
    if (!parsed || parser.isSet(help) || sources.size() != 1) {
        err << kExtractUsage;
        return 2;
    }
    const std::string source = toStd(sources[0]);
    const bool showProgress = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    TerminalConvertHost host(err, showProgress);
    Converter converter(host);
    converter.convertOrStop(source);

    const ConvertSummary& run = converter.lastRun();
    bool ok = run.outcome == ConvertOutcome::Converted;
    for (const std::string& message : host.messages()) {
        if (ok) {
            out << message << '\n';
        } else {
            err << "lyrvox-cdg: " << message << '\n';
        }
    }
    // The window reports an empty series as converted; a script asking for a
    // series that is not there should hear about it.
    if (ok && run.imagesConverted == 0 && !Converter::isSingleImage(source)) {
        err << "lyrvox-cdg: no image found from " << source << "01.bin to " << source << "99.bin\n";
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace lyrvox
