#include "journal.h"

#include "machine.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>

namespace w95 {

uint64_t MachineMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void JournalEvent(const std::string& name, const nlohmann::ordered_json& event) {
    nlohmann::ordered_json line = {{"t", MachineMillis()}, {"pid", static_cast<int>(getpid())}};
    line.update(event);
    std::string text =
        line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";

    auto dir = MachinePath("journal");
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    auto path = dir / (name + ".jsonl");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;  // a journal is an observer: the emulated call goes on without it
    ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
}

}  // namespace w95
