#include "unix_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace w95 {
namespace {

// The address of a socket file. sun_path holds only 107 characters, so a longer path is reached
// through a descriptor of its directory (/proc/self/fd/N/NAME), held while the object lives:
// bind and connect must be done before it goes.
class SocketAddress {
  public:
    explicit SocketAddress(const std::filesystem::path& path) {
        address_.sun_family = AF_UNIX;
        const std::string text = path.string();
        std::string target = text;
        if (target.size() >= sizeof(address_.sun_path)) {
            auto slash = text.rfind('/');
            if (slash == std::string::npos) {
                errno = ENAMETOOLONG;
                return;
            }
            std::string dir = slash == 0 ? "/" : text.substr(0, slash);
            dir_fd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (dir_fd_ < 0)
                return;
            target = "/proc/self/fd/" + std::to_string(dir_fd_) + text.substr(slash);
            if (target.size() >= sizeof(address_.sun_path)) {
                errno = ENAMETOOLONG;
                return;
            }
        }
        std::memcpy(address_.sun_path, target.c_str(), target.size() + 1);
        valid_ = true;
    }
    ~SocketAddress() {
        if (dir_fd_ >= 0) {
            int saved = errno;
            ::close(dir_fd_);
            errno = saved;
        }
    }
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;

    bool valid() const { return valid_; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t size() const { return sizeof(address_); }

  private:
    sockaddr_un address_{};
    int dir_fd_ = -1;
    bool valid_ = false;
};

void CloseKeepingErrno(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

bool SendAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t sent = ::send(fd, p, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        p += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

ReceiveResult ReceiveAll(int fd, void* data, size_t size,
                         std::optional<std::chrono::steady_clock::time_point> deadline) {
    using Clock = std::chrono::steady_clock;
    char* p = static_cast<char*>(data);
    while (size > 0) {
        if (deadline) {
            // Rounded up, so that a wait never ends a little before the deadline.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                return ReceiveResult::TimedOut;
            pollfd watched{fd, POLLIN, 0};
            int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return ReceiveResult::Closed;
            if (ready == 0)
                continue;  // the deadline is checked at the top
        }
        ssize_t got = ::recv(fd, p, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (deadline)
                continue;
            return ReceiveResult::TimedOut;  // the socket's own receive time-out
        }
        if (got <= 0)
            return ReceiveResult::Closed;
        p += got;
        size -= static_cast<size_t>(got);
    }
    return ReceiveResult::Complete;
}

int ConnectUnixSocket(const std::filesystem::path& path) {
    SocketAddress address(path);
    if (!address.valid())
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, address.get(), address.size()) != 0) {
        CloseKeepingErrno(fd);
        return -1;
    }
    return fd;
}

int ListenUnixSocket(const std::filesystem::path& path, int backlog) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        int probe = ConnectUnixSocket(path);
        if (probe >= 0) {
            ::close(probe);
            return -1;
        }
        std::filesystem::remove(path, error);
    }
    SocketAddress address(path);
    if (!address.valid()) {
        throw std::runtime_error("cannot address a socket at " + path.string() + ": " +
                                 std::strerror(errno));
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot make a socket: ") + std::strerror(errno));
    if (::bind(fd, address.get(), address.size()) != 0 || ::listen(fd, backlog) != 0) {
        std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen at " + path.string() + ": " + why);
    }
    return fd;
}

}  // namespace w95
