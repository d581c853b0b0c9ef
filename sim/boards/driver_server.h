// The driver's device endpoint: a Unix socket at <machine>/dev/tarvexpt.vxd. Every connection is
// one open driver handle, numbered 1, 2, ... in the order they connect, and served by a thread
// of its own, so requests on different handles run at the same time.
#pragma once

#include "board_driver.h"

#include <atomic>
#include <filesystem>
#include <list>
#include <mutex>
#include <thread>

namespace boardsim {

class DriverServer {
  public:
    // Binds the socket; throws when another simulator already serves it. A socket left by a
    // simulator that is gone is replaced.
    DriverServer(const std::filesystem::path& socket_path, BoardDriver& driver);
    ~DriverServer();  // closes every connection, waits for their threads, removes the socket
    DriverServer(const DriverServer&) = delete;
    DriverServer& operator=(const DriverServer&) = delete;

    void Start();

  private:
    struct Connection {
        int fd;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop();
    void Serve(Connection& connection, uint32_t handle);
    void ReapFinished();

    std::filesystem::path socket_path_;
    BoardDriver& driver_;
    int listen_fd_ = -1;
    int stop_fd_ = -1;
    std::thread acceptor_;
    std::mutex mutex_;  // guards connections_
    std::list<Connection> connections_;
};

}  // namespace boardsim
