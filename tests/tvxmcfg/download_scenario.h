// Scenarios of the firmware download. A download costs seconds of prescribed waits, so each case
// runs in a child process of its own, in a machine of its own with its own board simulator, and
// the cases of a table run side by side. A child reports what it saw as one JSON object; the
// test asserts on that and on the journals and files its machine kept.
#pragma once

#include "boardsim_process.h"
#include "journal.h"
#include "machine.h"
#include "temp_machine.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace scenario {

using Json = nlohmann::json;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The body of a case: runs in the child, in `machine`, and returns what the test asserts on.
using CaseBody = std::function<Json(const fs::path& machine)>;

struct CaseRun {
    fs::path machine;
    Json outcome;  // the body's result, or {"error": "..."} when the child failed or timed out
};

// The machines of a batch of cases; removed with the batch unless W95_KEEP_MACHINES=1.
class CaseBatch {
  public:
    CaseBatch() = default;
    CaseBatch(const CaseBatch&) = delete;
    CaseBatch& operator=(const CaseBatch&) = delete;
    CaseBatch(CaseBatch&&) = default;
    ~CaseBatch() {
        const char* keep = std::getenv("W95_KEEP_MACHINES");
        if (keep && *keep == '1')
            return;
        for (const auto& run : runs) {
            std::error_code ignored;
            fs::remove_all(run.machine, ignored);
        }
    }
    const CaseRun& operator[](size_t i) const { return runs.at(i); }
    size_t size() const { return runs.size(); }

    std::vector<CaseRun> runs;
};

namespace detail {

inline fs::path MakeMachineDir() {
    std::string pattern = (fs::temp_directory_path() / "w95-download-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

inline void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// The child: its own process group (so that the simulators it starts can be ended with it), its
// machine, the body, the report. It never returns into the test program.
[[noreturn]] inline void RunChild(const CaseBody& body, const fs::path& machine, int report_fd) {
    ::setpgid(0, 0);
    std::string report;
    try {
        w95::InitMachine(machine);
        w95::UseMachine(machine);
        report = body(machine).dump();
    } catch (const std::exception& error) {
        report = Json{{"error", error.what()}}.dump();
    }
    WriteAll(report_fd, report);
    ::close(report_fd);
    ::_exit(0);
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
    std::string report;
};

}  // namespace detail

// Runs every body in its own child and machine, at most `parallel` at once; a child that has
// not reported within `limit` of its start is killed with everything it started.
inline CaseBatch RunCases(const std::vector<CaseBody>& bodies,
                          std::chrono::seconds limit = std::chrono::seconds(90),
                          size_t parallel = 12) {
    CaseBatch batch;
    std::vector<detail::Child> children(bodies.size());
    std::vector<Clock::time_point> deadlines(bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i)
        batch.runs.push_back({detail::MakeMachineDir(), Json()});

    size_t next = 0, running = 0, finished = 0;
    auto finish = [&](size_t i, bool timed_out) {
        auto& child = children[i];
        ::close(child.fd);
        child.fd = -1;
        if (timed_out)
            ::kill(-child.pid, SIGKILL);
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::kill(-child.pid, SIGKILL);  // whatever the child left running
        Json outcome = Json::parse(child.report, nullptr, false);
        if (timed_out) {
            outcome = Json{{"error", "the case did not end within its limit"}};
        } else if (outcome.is_discarded() || !outcome.is_object()) {
            outcome = Json{{"error", "the child ended without a report"}};
        }
        batch.runs[i].outcome = outcome;
        --running;
        ++finished;
    };

    while (finished < bodies.size()) {
        while (next < bodies.size() && running < parallel) {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0)
                throw std::runtime_error("pipe failed");
            pid_t pid = ::fork();
            if (pid < 0)
                throw std::runtime_error("fork failed");
            if (pid == 0) {
                ::close(fds[0]);
                detail::RunChild(bodies[next], batch.runs[next].machine, fds[1]);
            }
            ::setpgid(pid, pid);
            ::close(fds[1]);
            children[next] = {pid, fds[0], ""};
            deadlines[next] = Clock::now() + limit;
            ++next;
            ++running;
        }
        std::vector<pollfd> polled;
        std::vector<size_t> owners;
        for (size_t i = 0; i < next; ++i) {
            if (children[i].fd >= 0) {
                polled.push_back({children[i].fd, POLLIN, 0});
                owners.push_back(i);
            }
        }
        ::poll(polled.data(), polled.size(), 100);
        for (size_t k = 0; k < polled.size(); ++k) {
            size_t i = owners[k];
            if (polled[k].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[4096];
                ssize_t n = ::read(children[i].fd, buffer, sizeof(buffer));
                if (n > 0) {
                    children[i].report.append(buffer, static_cast<size_t>(n));
                    continue;
                }
                finish(i, false);
            } else if (Clock::now() >= deadlines[i]) {
                finish(i, true);
            }
        }
    }
    return batch;
}

// The events of journal/<name>.jsonl of a machine, in order.
inline std::vector<Json> Journal(const fs::path& machine, const std::string& name) {
    std::vector<Json> events;
    std::istringstream lines(w95test::ReadFileText(machine / "journal" / (name + ".jsonl")));
    for (std::string line; std::getline(lines, line);) {
        Json event = Json::parse(line, nullptr, false);
        if (!event.is_discarded())
            events.push_back(event);
    }
    return events;
}

// The driver requests of a machine's journal, optionally only those with `code`.
inline std::vector<Json> DriverRequests(const fs::path& machine, int code = 0) {
    std::vector<Json> requests;
    for (const auto& event : Journal(machine, "driver")) {
        if (event.value("event", "") == "request" && (code == 0 || event.value("code", 0) == code))
            requests.push_back(event);
    }
    return requests;
}

// An image file the build made (nvnmdmld.tm, nvnmdmfw.tm).
inline std::string BuiltImage(const std::string& file) {
    std::string bytes = w95test::ReadFileText(fs::path(TARVEX_BUILD_DIR) / "images" / file);
    if (bytes.empty())
        throw std::runtime_error("the build made no " + file);
    return bytes;
}

inline void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// Puts the two image files where the run looks for them: C:\WINDOWS\SYSTEM\tarvex.
inline void InstallImages(const fs::path& machine, const std::string& loader,
                          const std::string& firmware) {
    fs::path folder = machine / "c" / "WINDOWS" / "SYSTEM" / "tarvex";
    WriteFileBytes(folder / "nvnmdmld.tm", loader);
    WriteFileBytes(folder / "nvnmdmfw.tm", firmware);
}

// The bytes a modem received, kept by the simulator as boards/b<board>p<port>.<stage>; nothing
// when the file does not exist.
inline std::optional<std::string> ReceivedImage(const fs::path& machine, int board, int port,
                                                const std::string& stage) {
    fs::path path = machine / "boards" /
                    ("b" + std::to_string(board) + "p" + std::to_string(port) + "." + stage);
    if (!fs::exists(path))
        return std::nullopt;
    return w95test::ReadFileText(path);
}

}  // namespace scenario
