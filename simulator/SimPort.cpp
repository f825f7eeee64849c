#include "simulator/SimPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedOf(int baud) {
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

TSimPort::TSimPort(std::string linkPath, int baud) : fLinkPath(std::move(linkPath)), fBaud(baud) {}

TSimPort::~TSimPort() {
    Close();
}

bool TSimPort::Open(std::string& error) {
    if (IsOpen())
        return true;
    auto fail = [&](const std::string& what) {
        error = fLinkPath + ": " + what + ": " + std::strerror(errno);
        Close();
        return false;
    };
    fMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fMaster < 0)
        return fail("posix_openpt");
    if (::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0)
        return fail("grantpt/unlockpt");
    char name[256];
    if (::ptsname_r(fMaster, name, sizeof name) != 0)
        return fail("ptsname");
    fDevicePath = name;
    fSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fSlave < 0)
        return fail("open " + fDevicePath);
    termios tio{};
    if (::tcgetattr(fSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, SpeedOf(fBaud));
        ::cfsetospeed(&tio, SpeedOf(fBaud));
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fSlave, TCSANOW, &tio);
    }
    ::fcntl(fMaster, F_SETFL, ::fcntl(fMaster, F_GETFL) | O_NONBLOCK);

    // Our own descriptor is open before the watch starts, so only other openers are counted.
    fOpeners = 0;
    fNotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fNotify >= 0 && ::inotify_add_watch(fNotify, name, IN_OPEN | IN_CLOSE) < 0)
        CloseFd(fNotify);

    struct stat st {};
    if (::lstat(fLinkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return fail("exists and is not a link");
        }
        ::unlink(fLinkPath.c_str());
    }
    if (::symlink(fDevicePath.c_str(), fLinkPath.c_str()) != 0)
        return fail("symlink");
    return true;
}

void TSimPort::Close() {
    if (!fDevicePath.empty()) {
        char target[512];
        const ssize_t n = ::readlink(fLinkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == fDevicePath)
            ::unlink(fLinkPath.c_str());
    }
    CloseFd(fNotify);
    CloseFd(fSlave);
    CloseFd(fMaster);
    fDevicePath.clear();
    fOpeners = 0;
}

void TSimPort::HandleNotify() {
    if (fNotify < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = ::read(fNotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
            if (e->mask & IN_OPEN) {
                if (fOpeners++ == 0 && fSlave >= 0)
                    ::tcflush(fSlave, TCIFLUSH); // a freshly opened port holds no old bytes
            }
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (fOpeners > 0 && --fOpeners == 0 && fSlave >= 0) {
                    // The last user is gone: what it left unread is lost, as on a real line, and
                    // an exclusive lock it may have left behind is released.
                    ::tcflush(fSlave, TCIFLUSH);
                    ::ioctl(fSlave, TIOCNXCL);
                }
            }
            i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

std::string TSimPort::ReadAvailable() {
    std::string data;
    if (fMaster < 0)
        return data;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(fMaster, buffer, sizeof buffer);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

bool TSimPort::Write(const std::string& bytes) {
    if (fMaster < 0 || !HasReader())
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fMaster, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}
