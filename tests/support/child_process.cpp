#include "child_process.h"

#include "temp_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace w95test {
namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor closed with its owner.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.Release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

Pipe MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    return {Fd(fds[0]), Fd(fds[1])};
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

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Where a child's stderr goes.
enum class ErrorsTo { kPipe, kFile, kParent };

struct Spawned {
    pid_t pid = -1;
    Fd output;  // read end of the child's stdout
    Fd errors;  // read end of its stderr, with ErrorsTo::kPipe
};

// Starts ARGV (ARGV[0] a path) with stdin from /dev/null and stdout into a pipe.
Spawned Spawn(std::vector<std::string> argv, const std::vector<std::string>& environment,
              ErrorsTo errors_to, const std::filesystem::path& errors_file = {}) {
    Pipe output = MakePipe();
    Pipe errors;
    if (errors_to == ErrorsTo::kPipe)
        errors = MakePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
    if (errors_to == ErrorsTo::kPipe)
        posix_spawn_file_actions_adddup2(&actions, errors.write.get(), STDERR_FILENO);
    else if (errors_to == ErrorsTo::kFile)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> arg_pointers = Pointers(argv);
    std::vector<std::string> env = MergedEnvironment(environment);
    std::vector<char*> env_pointers = Pointers(env);
    Spawned spawned;
    int error = posix_spawn(&spawned.pid, argv.at(0).c_str(), &actions, nullptr,
                            arg_pointers.data(), env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    spawned.output = std::move(output.read);
    spawned.errors = std::move(errors.read);
    return spawned;  // the write ends close here, so the reads see the child's end
}

// Reads FD until STOP_AT appears, the stream ends, or the deadline passes.
std::string ReadUntil(int fd, const std::string& stop_at, Clock::time_point deadline) {
    std::string output;
    while (output.find(stop_at) == std::string::npos) {
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

}  // namespace

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

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         std::chrono::milliseconds limit) {
    Spawned spawned = Spawn(argv, environment, ErrorsTo::kPipe);
    auto deadline = Clock::now() + limit;
    ProcessResult result;
    Collect(spawned.output.get(), spawned.errors.get(), result, deadline);
    result.status = WaitOrKill(spawned.pid, deadline);
    return result;
}

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& argv,
                                   const std::filesystem::path& errors_file,
                                   std::chrono::milliseconds ready_limit)
    : errors_file_(errors_file) {
    Spawned spawned =
        Spawn(argv, {}, errors_file.empty() ? ErrorsTo::kParent : ErrorsTo::kFile, errors_file);
    pid_ = spawned.pid;
    output_fd_ = spawned.output.Release();
    std::string output = ReadUntil(output_fd_, "ready\n", Clock::now() + ready_limit);
    if (output.find("ready\n") == std::string::npos) {
        Stop(SIGKILL);
        std::string message =
            std::filesystem::path(argv.at(0)).filename().string() + " did not become ready";
        if (!errors_file_.empty())
            message += ": " + Errors();
        throw std::runtime_error(message);
    }
}

SimulatorProcess::~SimulatorProcess() {
    Stop();
}

int SimulatorProcess::Stop(int signal_number) {
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

std::string SimulatorProcess::Errors() const {
    return errors_file_.empty() ? std::string() : ReadFileText(errors_file_);
}

}  // namespace w95test
