#include "tests/support/PtyPeer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {
void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Writes all of `bytes`, waiting while the slave's input queue is full; gives up after a few
// seconds so a test whose port nobody reads cannot hang the peer.
void WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (left > 0 && std::chrono::steady_clock::now() < giveUp) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 20);
        }
    }
}

int BaudOf(speed_t speed) {
    static const std::pair<speed_t, int> kSpeeds[] = {
        {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    for (const auto& [code, baud] : kSpeeds)
        if (code == speed)
            return baud;
    return 0;
}

TPtyPeer::TLine LineOf(int fd) {
    termios tio{};
    TPtyPeer::TLine line;
    if (::tcgetattr(fd, &tio) != 0)
        return line;
    line.baud = BaudOf(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        line.dataBits = 5;
        break;
    case CS6:
        line.dataBits = 6;
        break;
    case CS7:
        line.dataBits = 7;
        break;
    default:
        line.dataBits = 8;
        break;
    }
    line.parity = (tio.c_cflag & PARENB) != 0;
    line.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    line.hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    line.softwareFlow = (tio.c_iflag & (IXON | IXOFF)) != 0;
    line.raw = (tio.c_lflag & (ECHO | ICANON)) == 0 && (tio.c_iflag & (ICRNL | INLCR | IGNCR)) == 0 &&
               (tio.c_oflag & OPOST) == 0;
    return line;
}
} // namespace

TPtyPeer::TPtyPeer() {
    fMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fMaster < 0)
        return;
    char name[128] = {};
    if (::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0 || ::ptsname_r(fMaster, name, sizeof name) != 0 ||
        ::pipe(fWakePipe) != 0) {
        CloseFd(fMaster);
        return;
    }
    fSlaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fSlaveKeeper < 0) {
        CloseFd(fMaster);
        return;
    }
    // Raw and silent, as a serial line: no echo, no line editing, no CR/LF translation.
    termios tio{};
    ::tcgetattr(fSlaveKeeper, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fSlaveKeeper, TCSANOW, &tio);
    ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    fPortPath = QString::fromLocal8Bit(name);
    fThread = std::thread([this] { Run(); });
}

TPtyPeer::~TPtyPeer() {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fStop = true;
    }
    Wake();
    if (fThread.joinable())
        fThread.join();
    CloseFd(fSlaveKeeper);
    CloseFd(fMaster);
    CloseFd(fWakePipe[0]);
    CloseFd(fWakePipe[1]);
}

void TPtyPeer::SetResponder(TResponder responder) {
    std::lock_guard<std::mutex> lock(fMutex);
    fResponder = std::move(responder);
}

void TPtyPeer::ReplyAlways(const QByteArray& reply, int delayMs) {
    SetResponder([reply, delayMs](const QByteArray&) { return std::vector<TPiece>{{reply, delayMs}}; });
}

void TPtyPeer::StaySilent() {
    SetResponder(nullptr);
}

QList<QByteArray> TPtyPeer::Requests() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fRequests;
}

QList<TPtyPeer::TLine> TPtyPeer::LinesAtRequests() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fLines;
}

QByteArray TPtyPeer::Pending() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fPending;
}

bool TPtyPeer::WaitForRequests(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(fMutex);
    return fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return fRequests.size() >= count; });
}

bool TPtyPeer::WaitForPiecesSent(int count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(fMutex);
    return fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return fPiecesSent >= count; });
}

int TPtyPeer::PiecesSent() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fPiecesSent;
}

void TPtyPeer::Wake() {
    if (fWakePipe[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const ssize_t n = ::write(fWakePipe[1], &c, 1);
    }
}

void TPtyPeer::Run() {
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (fStop)
                return;
            if (!fScheduled.empty()) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                    fScheduled.front().due - Clock::now());
                timeoutMs = int(std::clamp<long long>(wait.count() + 1, 0, INT_MAX));
            }
        }
        pollfd fds[2] = {{fMaster, POLLIN, 0}, {fWakePipe[0], POLLIN, 0}};
        const int rc = ::poll(fds, 2, timeoutMs);
        if (rc < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            [[maybe_unused]] const ssize_t n = ::read(fWakePipe[0], drain, sizeof drain);
        }
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            const ssize_t n = ::read(fMaster, buf, sizeof buf);
            if (n > 0)
                HandleInput(buf, size_t(n), Clock::now());
        }
        SendDue(Clock::now());
    }
}

void TPtyPeer::HandleInput(const char* data, size_t n, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(fMutex);
    for (size_t i = 0; i < n; ++i) {
        fPending.append(data[i]);
        if (data[i] != '\r')
            continue;
        const QByteArray request = fPending;
        fPending.clear();
        fRequests.append(request);
        fLines.append(LineOf(fSlaveKeeper));
        if (fResponder)
            for (const TPiece& piece : fResponder(request))
                fScheduled.push_back({now + std::chrono::milliseconds(piece.delayMs), piece.bytes});
    }
    std::stable_sort(fScheduled.begin(), fScheduled.end(),
                     [](const TScheduled& a, const TScheduled& b) { return a.due < b.due; });
    fChanged.notify_all();
}

void TPtyPeer::SendDue(Clock::time_point now) {
    for (;;) {
        QByteArray bytes;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (fScheduled.empty() || fScheduled.front().due > now)
                return;
            bytes = fScheduled.front().bytes;
            fScheduled.erase(fScheduled.begin());
        }
        WriteAll(fMaster, bytes);
        std::lock_guard<std::mutex> lock(fMutex);
        ++fPiecesSent;
        fChanged.notify_all();
    }
}
