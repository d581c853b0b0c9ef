#include "progman_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace w95test {
namespace {

using Clock = std::chrono::steady_clock;

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

// Reads both pipes until both end or the deadline passes.
void Collect(int out_fd, int err_fd, ProcessResult& result, Clock::time_point deadline) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int open_count = 2;
    while (open_count > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return;
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
            if (n <= 0) {
                fds[i].fd = -1;
                --open_count;
            } else {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            }
        }
    }
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& setting : extra) {
            if (setting.substr(0, setting.find('=')) == name)
                replaced = true;
        }
        if (!replaced)
            merged.push_back(text);
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

}  // namespace

std::filesystem::path ProgmanBinary() {
    return std::filesystem::path(TARVEX_BUILD_DIR) / "sim" / "progman" / "progman";
}

ProgmanProcess::ProgmanProcess(const std::filesystem::path& machine,
                               std::chrono::milliseconds ready_limit) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string binary = ProgmanBinary().string();
    std::string machine_arg = machine.string();
    std::vector<char*> argv = {binary.data(), const_cast<char*>("--machine"), machine_arg.data(),
                               nullptr};
    int error = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (error != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + binary);
    }
    std::string output;
    auto deadline = Clock::now() + ready_limit;
    while (output.find("ready\n") == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd entry{out[0], POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[256];
        ssize_t n = ::read(out[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (output.find("ready\n") == std::string::npos) {
        Stop(SIGKILL);
        throw std::runtime_error("progman did not become ready");
    }
}

ProgmanProcess::~ProgmanProcess() {
    Stop();
}

int ProgmanProcess::Stop(int signal_number) {
    if (pid_ > 0) {
        ::kill(pid_, signal_number);
        status_ = WaitOrKill(pid_, Clock::now() + std::chrono::seconds(10));
        pid_ = -1;
    }
    return status_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         std::chrono::milliseconds limit) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> args = argv;
    std::vector<char*> arg_pointers;
    for (auto& arg : args)
        arg_pointers.push_back(arg.data());
    arg_pointers.push_back(nullptr);
    std::vector<std::string> env = MergedEnvironment(environment);
    std::vector<char*> env_pointers;
    for (auto& entry : env)
        env_pointers.push_back(entry.data());
    env_pointers.push_back(nullptr);
    pid_t pid = -1;
    int error = posix_spawn(&pid, args.at(0).c_str(), &actions, nullptr, arg_pointers.data(),
                            env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    ProcessResult result;
    if (error == 0) {
        auto deadline = Clock::now() + limit;
        Collect(out[0], err[0], result, deadline);
        result.status = WaitOrKill(pid, deadline);
    }
    ::close(out[0]);
    ::close(err[0]);
    if (error != 0)
        throw std::runtime_error("cannot start " + args[0]);
    return result;
}

}  // namespace w95test
