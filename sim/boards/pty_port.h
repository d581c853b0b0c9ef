// One serial port of a board: a pseudo-terminal whose slave side the programs open as
// dev/<name>, and whose master side the port's modem reads and writes.
#pragma once

#include <filesystem>
#include <string>

namespace boardsim {

class PtyPort {
  public:
    // Opens the pair and makes the slave raw (9600 bit/s, no handshake, as a port's power-on
    // state). The link is not published yet. Throws std::runtime_error on failure.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Links `link` (dev/<name>) to the slave, replacing a stale link; the link is removed with
    // the port. Throws when `link` exists and is not a symbolic link.
    void Publish(const std::filesystem::path& link);

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }

    // Whether the line is set as the modem needs it: 115200 bit/s with RTS/CTS handshaking
    // (the client's settings, read on the master side).
    bool LineMatches() const;

  private:
    int master_ = -1;
    // The simulator keeps the slave open itself, so the master never sees the hang-up that
    // follows a client's close (POLLHUP for ever, then EIO): the line stays up between clients.
    int slave_keeper_ = -1;
    std::string slave_path_;
    std::filesystem::path link_;
};

}  // namespace boardsim
