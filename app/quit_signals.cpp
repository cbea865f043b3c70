#include "app/quit_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace lyrvox {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler can reach nothing but static storage: the write end of the
// socket pair the event loop watches. Only one QuitSignals exists per process.
int& signalWriteEnd() {
    static int fd = -1;
    return fd;
}

extern "C" void onQuitSignal(int signal) {
    const char byte = static_cast<char>(signal);
    // Async-signal-safe; a full socket means a quit is already on its way.
    [[maybe_unused]] const ssize_t ignored = ::write(signalWriteEnd(), &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), quit_(std::move(quit)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) return;
    signalWriteEnd() = fds_[0];
    notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(fds_[1], &byte, 1) == 1) {
        }
        if (quit_) quit_();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) {
        // A signal the user's shell set to be ignored (nohup) stays ignored.
        struct sigaction previous {};
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    for (int s : kSignals) {
        struct sigaction current {};
        if (sigaction(s, nullptr, &current) == 0 && current.sa_handler == onQuitSignal)
            std::signal(s, SIG_DFL);
    }
    signalWriteEnd() = -1;
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

}  // namespace lyrvox
