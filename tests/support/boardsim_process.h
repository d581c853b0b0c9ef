// The board simulator run as a child process for one test: started on a board file in a
// machine, ready when it has printed "ready", stopped with SIGTERM. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace w95test {

// The built boardsim binary.
std::filesystem::path BoardsimBinary();

struct BoardsimExit {
    int status = -1;     // exit status, or -1 when it had to be killed
    std::string output;  // what it printed on stdout
    std::string errors;  // what it printed on stderr
};

// Runs boardsim on `board_json` until it ends by itself (for files it must refuse); kills it
// after `limit`.
BoardsimExit RunBoardsimToExit(const std::filesystem::path& machine, const std::string& board_json,
                               std::chrono::milliseconds limit = std::chrono::seconds(10));

class BoardsimProcess {
  public:
    // Writes `board_json` to <machine>/boardsim.json, starts boardsim on it and waits for its
    // "ready" line; throws std::runtime_error (with boardsim's stderr) when it ends or stays
    // silent for `ready_limit` instead.
    BoardsimProcess(const std::filesystem::path& machine, const std::string& board_json,
                    std::chrono::milliseconds ready_limit = std::chrono::seconds(10));
    ~BoardsimProcess();  // Stop()
    BoardsimProcess(const BoardsimProcess&) = delete;
    BoardsimProcess& operator=(const BoardsimProcess&) = delete;

    // Sends `signal_number`, waits for the end (SIGKILL after 10 s) and returns the exit status,
    // -1 when it did not exit normally. Later calls return the same status.
    int Stop(int signal_number = 15 /* SIGTERM */);

    pid_t pid() const { return pid_; }
    std::string Errors() const;  // boardsim's stderr so far

  private:
    std::filesystem::path errors_path_;
    pid_t pid_ = -1;
    int output_fd_ = -1;
    int status_ = -1;
};

}  // namespace w95test
