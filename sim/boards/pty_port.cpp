#include "pty_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace boardsim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

PtyPort::PtyPort() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        ThrowErrno("cannot open a pseudo-terminal");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof(name)) != 0) {
        int saved = errno;
        ::close(master_);
        errno = saved;
        ThrowErrno("cannot prepare a pseudo-terminal");
    }
    slave_path_ = name;
    slave_keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_keeper_ < 0 || ::tcgetattr(slave_keeper_, &settings) != 0) {
        int saved = errno;
        if (slave_keeper_ >= 0)
            ::close(slave_keeper_);
        ::close(master_);
        errno = saved;
        ThrowErrno("cannot open " + slave_path_);
    }
    // Raw before anyone sees it: a fresh pty eats CR, XON and XOFF and echoes bytes back.
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~CRTSCTS;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(slave_keeper_, TCSANOW, &settings);
    // The modem's thread polls the master; it must never block in read or write.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPort::~PtyPort() {
    if (!link_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(link_, ignored);
    }
    ::close(slave_keeper_);
    ::close(master_);
}

void PtyPort::Publish(const std::filesystem::path& link) {
    std::error_code error;
    auto status = std::filesystem::symlink_status(link, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
        throw std::runtime_error(link.string() + " exists and is not a link to a port");
    }
    // Made under a temporary name and renamed, so a client never sees a half-made link.
    auto temporary = link;
    temporary += ".new";
    std::filesystem::remove(temporary, error);
    std::filesystem::create_symlink(slave_path_, temporary, error);
    if (!error)
        std::filesystem::rename(temporary, link, error);
    if (error)
        throw std::runtime_error("cannot link " + link.string() + ": " + error.message());
    link_ = link;
}

bool PtyPort::LineMatches() const {
    termios settings{};
    if (::tcgetattr(master_, &settings) != 0)
        return false;
    // An input speed of 0 means "the same as the output speed".
    speed_t in = ::cfgetispeed(&settings);
    return ::cfgetospeed(&settings) == B115200 && (in == B115200 || in == B0) &&
           (settings.c_cflag & CRTSCTS) != 0;
}

}  // namespace boardsim
