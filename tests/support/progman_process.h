// The program manager run as a child process for one test: started in a machine, ready when it
// has printed "ready", stopped with a signal. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace w95test {

// The built progman binary.
std::filesystem::path ProgmanBinary();

class ProgmanProcess {
  public:
    // Starts progman on MACHINE and waits for its "ready" line; throws std::runtime_error (with
    // progman's stderr) when it ends or stays silent for READY_LIMIT instead.
    explicit ProgmanProcess(const std::filesystem::path& machine,
                            std::chrono::milliseconds ready_limit = std::chrono::seconds(10));
    ~ProgmanProcess();  // Stop()
    ProgmanProcess(const ProgmanProcess&) = delete;
    ProgmanProcess& operator=(const ProgmanProcess&) = delete;

    // Sends SIGNAL_NUMBER, waits for the end (SIGKILL after 10 s) and returns the exit status, -1
    // when it did not exit normally. Later calls return the same status.
    int Stop(int signal_number = 15 /* SIGTERM */);

    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

struct ProcessResult {
    int status = -1;     // exit status; -1 when a signal ended it or it had to be killed
    std::string output;  // what it printed on stdout
    std::string errors;  // what it printed on stderr
};

// Runs ARGV (ARGV[0] a path) with the environment of this process plus ENVIRONMENT (NAME=VALUE
// entries, replacing those of the same name) until it ends; kills it after LIMIT.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace w95test
