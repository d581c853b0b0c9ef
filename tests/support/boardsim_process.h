// The board simulator run as a child process for one test: started on a board file in a
// machine, ready when it has printed "ready", stopped with SIGTERM. Every wait is bounded.
#pragma once

#include "child_process.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace w95test {

// The built boardsim binary.
std::filesystem::path BoardsimBinary();

using BoardsimExit = ProcessResult;

// Runs boardsim on `board_json` until it ends by itself (for files it must refuse); kills it
// after `limit`.
BoardsimExit RunBoardsimToExit(const std::filesystem::path& machine, const std::string& board_json,
                               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Stop(), pid() and Errors() (boardsim's stderr so far) come from SimulatorProcess.
class BoardsimProcess : public SimulatorProcess {
  public:
    // Writes `board_json` to <machine>/boardsim.json, starts boardsim on it and waits for its
    // "ready" line; throws std::runtime_error (with boardsim's stderr) when it ends or stays
    // silent for `ready_limit` instead.
    BoardsimProcess(const std::filesystem::path& machine, const std::string& board_json,
                    std::chrono::milliseconds ready_limit = std::chrono::seconds(10));
};

}  // namespace w95test
