// lyrvox-cdg extract [--force] IMAGE_OR_STEM: the Convert command of the player on
// the terminal, with the same rules and messages. An existing output is kept
// unless --force is given. SIGINT, SIGTERM and SIGHUP stop the run as the Stop
// button does (no output of the image in progress is left, an earlier file of its
// name is untouched), and then end the process as they would have.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "extract/converter.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

const char kExtractUsage[] = "usage: lyrvox-cdg extract [--force] IMAGE_OR_STEM\n";

// Holds back the signals that ask a program to end while it lives, so that a run
// can notice them between sectors and clean up; afterwards the signal mask is as it
// was, and a signal that came in the meantime takes effect then. Signals the
// process ignores (SIGHUP under nohup, SIGINT in a script's background job) are
// left alone: Linux would keep them pending while held, as if they counted.
class HeldEndSignals {
  public:
    HeldEndSignals() {
        sigemptyset(&signals_);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction action {};
            if (sigaction(s, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
                sigaddset(&signals_, s);
        }
        sigprocmask(SIG_BLOCK, &signals_, &previous_);
    }
    ~HeldEndSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    HeldEndSignals(const HeldEndSignals&) = delete;
    HeldEndSignals& operator=(const HeldEndSignals&) = delete;

    bool arrived() const {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            if (sigismember(&signals_, s) == 1 && sigismember(&pending, s) == 1) return true;
        }
        return false;
    }

  private:
    sigset_t signals_;
    sigset_t previous_;
};

// Messages are collected and printed once the run's outcome is known, so that
// the success message goes to out and everything else to err. Progress is drawn
// on one terminal line, only when err is the process's own terminal. The run is
// on the calling thread: the terminal has nothing else to serve meanwhile.
class TerminalConvertHost : public ConvertHost {
  public:
    TerminalConvertHost(std::ostream& err, bool showProgress, const HeldEndSignals& held)
        : err_(err), showProgress_(showProgress), held_(held) {}

    void showMessage(const std::string& text) override {
        clearLine();
        messages_.push_back(text);
    }
    void showImageName(const std::string& name) override { fileName_ = name; }
    void showProgress(const std::string& text) override {
        if (!showProgress_) return;
        err_ << '\r' << fileName_ << ' ' << text << std::flush;
        lineDirty_ = true;
    }
    // A signal to end is the terminal's Stop button.
    bool stopRequested() override { return held_.arrived(); }

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    void clearLine() {
        if (!lineDirty_) return;
        err_ << "\r\033[K" << std::flush;
        lineDirty_ = false;
    }

    std::ostream& err_;
    bool showProgress_;
    const HeldEndSignals& held_;
    bool lineDirty_ = false;
    std::string fileName_;
    std::vector<std::string> messages_;
};

}  // namespace

int runExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption force(QStringLiteral("force"));
    parser.addOptions({help, force});
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
    const HeldEndSignals held;
    TerminalConvertHost host(err, showProgress, held);
    ConvertPlan plan = Converter::plan(source);
    // The question is answered by --force alone.
    if (!plan.question.empty()) plan.answer(parser.isSet(force));
    Converter converter(host);
    const ConvertSummary run = converter.run(plan);
    const bool converted = run.outcome == ConvertOutcome::Converted;
    for (const std::string& message : host.messages()) {
        if (converted) {
            out << message << '\n';
        } else {
            err << "lyrvox-cdg: " << escapeForTerminal(message) << '\n';
        }
    }
    for (const std::string& kept : run.keptOutputs) {
        err << "lyrvox-cdg: " << escapeForTerminal(kept)
            << " exists and was kept; --force replaces it\n";
    }
    // Everything is said before a held signal ends the process.
    out.flush();
    err.flush();
    return converted && run.keptOutputs.empty() ? 0 : 1;
}

}  // namespace lyrvox
