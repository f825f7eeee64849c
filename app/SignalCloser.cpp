#include "app/SignalCloser.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int gSignalSocket[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; a full socket means a close is already on its way.
    [[maybe_unused]] const ssize_t n = ::write(gSignalSocket[0], &byte, 1);
}
} // namespace
#endif

TSignalCloser::TSignalCloser(std::function<void()> close, QObject* parent)
    : QObject(parent), fClose(std::move(close)) {
#ifndef Q_OS_WIN
    if (gSignalSocket[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalSocket) != 0)
        return;
    fNotifier = new QSocketNotifier(gSignalSocket[1], QSocketNotifier::Read, this);
    connect(fNotifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(gSignalSocket[1], &byte, 1);
        if (fClose)
            fClose();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
#endif
}

TSignalCloser::~TSignalCloser() {
#ifndef Q_OS_WIN
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
#endif
}
