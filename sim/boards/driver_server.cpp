#include "driver_server.h"

#include "driver_protocol.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace boardsim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Connects to `path` to see whether a simulator still listens there.
bool SomeoneListens(const std::filesystem::path& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    int dir_fd = -1;
    bool listening =
        w95::MakeSocketAddress(path.string(), address, dir_fd) &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (dir_fd >= 0)
        ::close(dir_fd);
    ::close(fd);
    return listening;
}

}  // namespace

DriverServer::DriverServer(const std::filesystem::path& socket_path, BoardDriver& driver)
    : socket_path_(socket_path), driver_(driver) {
    std::error_code error;
    if (std::filesystem::symlink_status(socket_path_, error).type() !=
        std::filesystem::file_type::not_found) {
        if (SomeoneListens(socket_path_)) {
            throw std::runtime_error("another board simulator serves " + socket_path_.string());
        }
        std::filesystem::remove(socket_path_, error);
    }
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (stop_fd_ < 0 || listen_fd_ < 0)
        ThrowErrno("cannot make the driver socket");
    sockaddr_un address{};
    int dir_fd = -1;
    if (!w95::MakeSocketAddress(socket_path_.string(), address, dir_fd)) {
        throw std::runtime_error("cannot address " + socket_path_.string());
    }
    int bound = ::bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    int saved = errno;
    if (dir_fd >= 0)
        ::close(dir_fd);
    errno = saved;
    if (bound != 0)
        ThrowErrno("cannot bind " + socket_path_.string());
    if (::listen(listen_fd_, 64) != 0)
        ThrowErrno("cannot listen on " + socket_path_.string());
}

DriverServer::~DriverServer() {
    uint64_t one = 1;
    ssize_t written = ::write(stop_fd_, &one, sizeof(one));
    (void)written;
    if (acceptor_.joinable())
        acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (auto& connection : connections_)
            ::shutdown(connection.fd, SHUT_RDWR);
    }
    for (auto& connection : connections_) {
        if (connection.thread.joinable())
            connection.thread.join();
        ::close(connection.fd);
    }
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
    if (stop_fd_ >= 0)
        ::close(stop_fd_);
    std::error_code ignored;
    std::filesystem::remove(socket_path_, ignored);
}

void DriverServer::Start() {
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

void DriverServer::AcceptLoop() {
    uint32_t next_handle = 1;
    for (;;) {
        pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (!(fds[1].revents & POLLIN))
            continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ReapFinished();
        std::lock_guard lock(mutex_);
        Connection& connection = connections_.emplace_back();
        connection.fd = fd;
        uint32_t handle = next_handle++;
        connection.thread = std::thread([this, &connection, handle] { Serve(connection, handle); });
    }
}

void DriverServer::ReapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (it->done)
                finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (auto& connection : finished) {
        connection.thread.join();
        ::close(connection.fd);
    }
}

void DriverServer::Serve(Connection& connection, uint32_t handle) {
    std::vector<char> input;
    for (;;) {
        w95::DriverRequestHeader request{};
        if (!w95::ReceiveAll(connection.fd, &request, sizeof(request)))
            break;
        if (request.in_size > w95::kDriverMaxBuffer || request.out_size > w95::kDriverMaxBuffer) {
            break;  // not a caller of ours: drop the connection
        }
        input.resize(request.in_size);
        if (!input.empty() && !w95::ReceiveAll(connection.fd, input.data(), input.size()))
            break;
        DriverResult result = driver_.Handle(handle, request.code, input, request.out_size);
        w95::DriverReplyHeader reply{result.ok ? 1u : 0u, result.error, result.returned,
                                     static_cast<uint32_t>(result.output.size())};
        if (!w95::SendAll(connection.fd, &reply, sizeof(reply)) ||
            (!result.output.empty() &&
             !w95::SendAll(connection.fd, result.output.data(), result.output.size()))) {
            break;
        }
    }
    connection.done = true;
}

}  // namespace boardsim
