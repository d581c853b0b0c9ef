// Child processes for tests: one run to its end with its output captured, or a simulator kept
// running while a test talks to it. Every wait is bounded; a child that overstays is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace w95test {

// Waits for the end of child PID until DEADLINE: its exit status, -1 when a signal ended it (or
// it cannot be waited for), -2 while it still runs.
int WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline);

// As WaitUntil, but a child still running at DEADLINE is killed with SIGKILL and reaped; -1 then.
int WaitOrKill(pid_t pid, std::chrono::steady_clock::time_point deadline);

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

// A simulator run as a child process: ready when it has printed "ready", stopped with a signal.
class SimulatorProcess {
  public:
    // Starts ARGV (ARGV[0] a path) with stdin from /dev/null, stderr into ERRORS_FILE (or where
    // ours goes when that is empty), and waits for its "ready" line; throws std::runtime_error
    // (with its stderr when kept) when it ends or stays silent for READY_LIMIT instead.
    SimulatorProcess(const std::vector<std::string>& argv, const std::filesystem::path& errors_file,
                     std::chrono::milliseconds ready_limit);
    ~SimulatorProcess();  // Stop()
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Sends SIGNAL_NUMBER, waits for the end (SIGKILL after 10 s) and returns the exit status,
    // -1 when it did not exit normally. Later calls return the same status.
    int Stop(int signal_number = 15 /* SIGTERM */);

    pid_t pid() const { return pid_; }
    std::string Errors() const;  // its stderr so far; empty when not kept in a file

  private:
    std::filesystem::path errors_file_;
    pid_t pid_ = -1;
    int output_fd_ = -1;  // kept open until the end, so a late line never meets a closed pipe
    int status_ = -1;
};

}  // namespace w95test
