#include "driver_server.h"

#include "driver_protocol.h"
#include "unix_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace boardsim {

DriverServer::DriverServer(const std::filesystem::path& socket_path, BoardDriver& driver)
    : socket_path_(socket_path), driver_(driver) {
    listen_fd_ = w95::ListenUnixSocket(socket_path_, 64);
    if (listen_fd_ < 0)
        throw std::runtime_error("another board simulator serves " + socket_path_.string());
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_fd_ < 0) {
        std::string why = std::strerror(errno);
        ::close(listen_fd_);
        std::error_code ignored;
        std::filesystem::remove(socket_path_, ignored);
        throw std::runtime_error("cannot make the driver server's stop event: " + why);
    }
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
        if (w95::ReceiveAll(connection.fd, &request, sizeof(request)) !=
            w95::ReceiveResult::Complete) {
            break;
        }
        if (request.in_size > w95::kDriverMaxBuffer || request.out_size > w95::kDriverMaxBuffer) {
            break;  // not a caller of ours: drop the connection
        }
        input.resize(request.in_size);
        if (!input.empty() && w95::ReceiveAll(connection.fd, input.data(), input.size()) !=
                                  w95::ReceiveResult::Complete) {
            break;
        }
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
