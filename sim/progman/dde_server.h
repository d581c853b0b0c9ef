// A DDE server of the emulated machine: listens on <machine>/dde/<SERVICE>, accepts
// conversations on its service and topic, and hands every execute request to a handler whose
// answer becomes the positive or negative acknowledgement. One thread per conversation; the
// handler is called under one lock, so requests are carried out one at a time.
#pragma once

#include "dde_wire.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace progman {

class DdeServer {
  public:
    using ExecuteHandler = std::function<bool(const w95::dde::Frame& request)>;
    using ConnectObserver = std::function<void(const w95::dde::Frame& request, bool accepted)>;

    // Binds the socket; throws std::runtime_error when it cannot, or when a server of the same
    // service already answers there. A socket left by a server that died is replaced.
    DdeServer(std::string service, std::string topic, ExecuteHandler on_execute,
              ConnectObserver on_connect);
    // Ends every conversation and removes the socket.
    ~DdeServer();
    DdeServer(const DdeServer&) = delete;
    DdeServer& operator=(const DdeServer&) = delete;

    // Serves until STOP_FD becomes readable.
    void Serve(int stop_fd);

  private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void Converse(int fd);
    bool Accepts(const std::string& payload) const;

    std::string service_;
    std::string topic_;
    ExecuteHandler on_execute_;
    ConnectObserver on_connect_;
    std::filesystem::path socket_path_;
    int listen_fd_ = -1;
    std::mutex handler_mutex_;
    std::list<Client> clients_;
};

}  // namespace progman
