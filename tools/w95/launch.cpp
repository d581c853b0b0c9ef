#include "launch.h"

#include "command_line.h"
#include "machine.h"
#include "paths.h"
#include "registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace w95tool {
namespace {

// ENVIRON with NAME set to VALUE.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& settings) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        bool replaced = false;
        for (const auto& [name, value] : settings) {
            if (text.compare(0, name.size() + 1, name + "=") == 0)
                replaced = true;
        }
        if (!replaced)
            result.push_back(text);
    }
    for (const auto& [name, value] : settings)
        result.push_back(name + "=" + value);
    return result;
}

int WaitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + strerror(errno));
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

}  // namespace

int RunWindowsProgram(const std::string& command_line) {
    const std::string program = w95::CommandLineProgram(command_line);
    if (program.empty())
        throw std::runtime_error("the command line names no program");
    auto host_path = w95::ResolveProgramPath(program);
    if (!host_path)
        throw std::runtime_error("no program " + program + " in the machine");
    if (::access(host_path->c_str(), X_OK) != 0) {
        throw std::runtime_error(program + " (" + host_path->string() +
                                 ") is not a program this machine can start");
    }

    const std::vector<std::string> environment = EnvironmentWith(
        {{"W95_COMMAND_LINE", command_line}, {"W95_MACHINE", w95::MachineDir().string()}});
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    std::string argv0 = host_path->string();
    char* argv[] = {argv0.data(), nullptr};

    // The child reports a failed exec through a pipe that a successful exec closes.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + strerror(errno));
    }
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        throw std::runtime_error(std::string("fork: ") + strerror(errno));
    }
    if (pid == 0) {
        ::close(report[0]);
        ::execve(argv0.c_str(), argv, envp.data());
        int error = errno;
        ssize_t written = ::write(report[1], &error, sizeof(error));
        (void)written;
        ::_exit(127);
    }
    ::close(report[1]);
    int exec_error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &exec_error, sizeof(exec_error));
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    int code = WaitForChild(pid);
    if (got == static_cast<ssize_t>(sizeof(exec_error))) {
        throw std::runtime_error("cannot start " + argv0 + ": " + strerror(exec_error));
    }
    return code;
}

std::vector<std::pair<std::string, std::string>> StartListEntries(const std::string& key_path) {
    std::vector<std::pair<std::string, std::string>> entries;
    w95::RegistryTransaction transaction(w95::RegistryTransaction::Mode::Read);
    auto key = transaction.FindKey(w95::kRootKeyId, key_path);
    if (!key)
        return entries;
    for (const auto& value : transaction.Values(*key)) {
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
            std::fprintf(stderr, "w95: %s\\%s is not a text value; passed over\n", key_path.c_str(),
                         value.name.c_str());
            continue;
        }
        // The stored text ends at its terminating NUL.
        entries.emplace_back(value.name, value.data.substr(0, value.data.find('\0')));
    }
    return entries;
}

int RunStartList(const std::string& key_path) {
    int result = 0;
    for (const auto& [name, command_line] : StartListEntries(key_path)) {
        try {
            RunWindowsProgram(command_line);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "w95: %s (\"%s\"): %s\n", name.c_str(), command_line.c_str(),
                         error.what());
            result = 1;
        }
    }
    return result;
}

}  // namespace w95tool
