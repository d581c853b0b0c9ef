#include "boardsim_process.h"

#include "temp_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace w95test {
namespace {

using Clock = std::chrono::steady_clock;

struct Spawned {
    pid_t pid = -1;
    int output_fd = -1;  // read end of boardsim's stdout
};

Spawned Spawn(const std::filesystem::path& machine, const std::string& board_json,
              const std::filesystem::path& errors_path) {
    auto board_file = machine / "boardsim.json";
    {
        std::ofstream out(board_file, std::ios::binary | std::ios::trunc);
        out << board_json;
    }
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string binary = BoardsimBinary().string();
    std::string machine_arg = machine.string();
    std::string boards_arg = board_file.string();
    std::vector<char*> argv = {binary.data(),      const_cast<char*>("--machine"),
                               machine_arg.data(), const_cast<char*>("--boards"),
                               boards_arg.data(),  nullptr};
    Spawned spawned;
    int error = posix_spawn(&spawned.pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (error != 0) {
        ::close(pipe_fds[0]);
        throw std::runtime_error("cannot start " + binary);
    }
    spawned.output_fd = pipe_fds[0];
    return spawned;
}

// Reads stdout until `stop_at` appears, the stream ends, or the deadline passes.
std::string ReadOutput(int fd, const std::string& stop_at, Clock::time_point deadline) {
    std::string output;
    while (stop_at.empty() || output.find(stop_at) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[256];
        ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    return output;
}

// Waits for the child's end until the deadline; -1 for a signal, -2 while it still runs.
int WaitUntil(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (Clock::now() >= deadline)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int WaitOrKill(pid_t pid, Clock::time_point deadline) {
    int status = WaitUntil(pid, deadline);
    if (status != -2)
        return status;
    ::kill(pid, SIGKILL);
    WaitUntil(pid, Clock::now() + std::chrono::seconds(10));
    return -1;
}

}  // namespace

std::filesystem::path BoardsimBinary() {
    return std::filesystem::path(TARVEX_BUILD_DIR) / "sim" / "boards" / "boardsim";
}

BoardsimExit RunBoardsimToExit(const std::filesystem::path& machine, const std::string& board_json,
                               std::chrono::milliseconds limit) {
    auto errors_path = machine / "boardsim.err";
    Spawned spawned = Spawn(machine, board_json, errors_path);
    auto deadline = Clock::now() + limit;
    BoardsimExit result;
    result.output = ReadOutput(spawned.output_fd, "", deadline);
    ::close(spawned.output_fd);
    result.status = WaitOrKill(spawned.pid, deadline);
    result.errors = ReadFileText(errors_path);
    return result;
}

BoardsimProcess::BoardsimProcess(const std::filesystem::path& machine,
                                 const std::string& board_json,
                                 std::chrono::milliseconds ready_limit)
    : errors_path_(machine / "boardsim.err") {
    Spawned spawned = Spawn(machine, board_json, errors_path_);
    pid_ = spawned.pid;
    output_fd_ = spawned.output_fd;
    std::string output = ReadOutput(output_fd_, "ready\n", Clock::now() + ready_limit);
    if (output.find("ready\n") == std::string::npos) {
        Stop(SIGKILL);
        throw std::runtime_error("boardsim did not become ready: " + Errors());
    }
}

BoardsimProcess::~BoardsimProcess() {
    Stop();
}

int BoardsimProcess::Stop(int signal_number) {
    if (pid_ > 0) {
        ::kill(pid_, signal_number);
        status_ = WaitOrKill(pid_, Clock::now() + std::chrono::seconds(10));
        pid_ = -1;
    }
    if (output_fd_ >= 0) {
        ::close(output_fd_);
        output_fd_ = -1;
    }
    return status_;
}

std::string BoardsimProcess::Errors() const {
    return ReadFileText(errors_path_);
}

}  // namespace w95test
