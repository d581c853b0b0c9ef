// The program manager run as a child process for one test: started in a machine, ready when it
// has printed "ready", stopped with a signal. Every wait is bounded.
#pragma once

#include "child_process.h"

#include <chrono>
#include <filesystem>

namespace w95test {

// The built progman binary.
std::filesystem::path ProgmanBinary();

// Stop() and pid() come from SimulatorProcess; progman's stderr goes where the test's goes.
class ProgmanProcess : public SimulatorProcess {
  public:
    // Starts progman on MACHINE and waits for its "ready" line; throws std::runtime_error when it
    // ends or stays silent for READY_LIMIT instead.
    explicit ProgmanProcess(const std::filesystem::path& machine,
                            std::chrono::milliseconds ready_limit = std::chrono::seconds(10));
};

}  // namespace w95test
