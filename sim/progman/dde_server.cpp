#include "dde_server.h"

#include "unix_socket.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace progman {
namespace {

using w95::dde::Frame;
using w95::dde::FrameKind;

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

DdeServer::DdeServer(std::string service, std::string topic, ExecuteHandler on_execute,
                     ConnectObserver on_connect)
    : service_(std::move(service)),
      topic_(std::move(topic)),
      on_execute_(std::move(on_execute)),
      on_connect_(std::move(on_connect)),
      socket_path_(w95::dde::ServiceSocketPath(service_)) {
    std::filesystem::create_directories(socket_path_.parent_path());
    listen_fd_ = w95::ListenUnixSocket(socket_path_, 16);
    if (listen_fd_ < 0) {
        throw std::runtime_error("a server of " + service_ + " already runs at " +
                                 socket_path_.string());
    }
}

DdeServer::~DdeServer() {
    std::error_code error;
    std::filesystem::remove(socket_path_, error);
    ::close(listen_fd_);
    for (auto& client : clients_)
        ::shutdown(client.fd, SHUT_RDWR);
    for (auto& client : clients_) {
        client.thread.join();
        ::close(client.fd);
    }
}

void DdeServer::Serve(int stop_fd) {
    for (;;) {
        pollfd watched[2] = {{listen_fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        int ready = ::poll(watched, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (watched[1].revents)
            return;
        if (!(watched[0].revents & POLLIN))
            continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Conversations that have ended are collected as new ones come.
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (it->finished->load()) {
                it->thread.join();
                ::close(it->fd);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
        Client& client = clients_.emplace_back();
        client.fd = fd;
        client.finished = std::make_shared<std::atomic<bool>>(false);
        client.thread = std::thread([this, fd, finished = client.finished] {
            Converse(fd);
            finished->store(true);
        });
    }
}

bool DdeServer::Accepts(const std::string& payload) const {
    // service NUL topic NUL; an empty name stands for any.
    size_t first = payload.find('\0');
    if (first == std::string::npos)
        return false;
    size_t second = payload.find('\0', first + 1);
    if (second == std::string::npos)
        return false;
    std::string service = payload.substr(0, first);
    std::string topic = payload.substr(first + 1, second - first - 1);
    return (service.empty() || Lowered(service) == Lowered(service_)) &&
           (topic.empty() || Lowered(topic) == Lowered(topic_));
}

void DdeServer::Converse(int fd) {
    bool connected = false;
    for (;;) {
        Frame request;
        if (w95::dde::ReadFrame(fd, request, -1) != w95::dde::ReadResult::Ok)
            break;
        if (request.kind == FrameKind::Connect && !connected) {
            connected = Accepts(request.payload);
            {
                std::lock_guard lock(handler_mutex_);
                on_connect_(request, connected);
            }
            w95::dde::WriteAck(fd, request.sequence, connected);
            if (!connected)
                break;
        } else if (request.kind == FrameKind::Execute && connected) {
            bool done;
            {
                std::lock_guard lock(handler_mutex_);
                done = on_execute_(request);
            }
            w95::dde::WriteAck(fd, request.sequence, done);
        } else {
            break;  // out of order: the client is not speaking the protocol
        }
    }
    ::shutdown(fd, SHUT_RDWR);
}

}  // namespace progman
