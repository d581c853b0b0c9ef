// A board's serial port with its modem: the pty, the modem, and the thread that moves bytes
// between them (paced at the line rate when the board asks for it). The driver reaches the modem's
// reset line from other threads.
#pragma once

#include "board_file.h"
#include "line_pacer.h"
#include "modem.h"
#include "pty_port.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

namespace boardsim {

class ModemPort {
  public:
    ModemPort(const BoardSpec& board, const PortSpec& port, PortAddress address,
              const std::filesystem::path& files_dir);
    ~ModemPort();  // stops the thread; the pty and its link go with the object
    ModemPort(const ModemPort&) = delete;
    ModemPort& operator=(const ModemPort&) = delete;

    // Publishes dev/<name> and starts moving bytes.
    void Start(const std::filesystem::path& dev_dir);

    // The modem's reset line (driver requests 513, 514) and the board reset (517).
    void SetResetHeld(bool held);
    void PulseReset();

  private:
    void Run();
    void Wake();

    std::string name_;
    bool pacing_;
    PtyPort pty_;
    std::mutex mutex_;  // guards modem_
    Modem modem_;
    int wake_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace boardsim
