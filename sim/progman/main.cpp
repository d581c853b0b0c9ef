// progman --machine DIR: the shell's program manager of an emulated machine. Serves execute
// requests on the service and topic PROGMAN, keeps the program groups in the start menu folder of
// drive C:, and journals every request in journal/progman.jsonl. Prints "ready" once its socket
// is up; ends cleanly on SIGTERM or SIGINT, removing the socket.
#include "dde_server.h"
#include "execute_parser.h"
#include "journal.h"
#include "machine.h"
#include "program_groups.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

constexpr char kService[] = "PROGMAN";
constexpr char kProgramsFolder[] = "c/WINDOWS/Start Menu/Programs";

void Usage() {
    std::cerr << "usage: progman [--machine DIR]\n";
}

// The execute data as text: up to its terminating NUL, or all of it when there is none.
std::string CommandText(const std::string& data) {
    return data.substr(0, data.find('\0'));
}

bool CarryOut(progman::ProgramGroups& groups, const w95::dde::Frame& request) {
    const std::string command = CommandText(request.payload);
    std::string why;
    bool ok = false;
    if (auto commands = progman::ParseExecuteString(command)) {
        // Commands run in order; the first that fails ends the request.
        ok = true;
        for (const auto& one : *commands) {
            if (!groups.Execute(one, why)) {
                ok = false;
                break;
            }
        }
    } else {
        why = "not a well-formed execute string";
    }
    nlohmann::ordered_json event = {{"event", "execute"},
                                    {"command", command},
                                    {"ok", ok},
                                    {"bytes", request.payload.size()},
                                    {"format", request.format},
                                    {"client_pid", request.client_pid},
                                    {"client_tick", request.client_tick}};
    if (!ok)
        event["error"] = why;
    w95::JournalEvent("progman", event);
    return ok;
}

void JournalConnect(const w95::dde::Frame& request, bool accepted) {
    const std::string& payload = request.payload;
    size_t split = payload.find('\0');
    std::string service = payload.substr(0, split);
    std::string topic = split == std::string::npos ? "" : CommandText(payload.substr(split + 1));
    w95::JournalEvent("progman", {{"event", "connect"},
                                  {"service", service},
                                  {"topic", topic},
                                  {"ok", accepted},
                                  {"client_pid", request.client_pid}});
}

// A descriptor that becomes readable on SIGTERM or SIGINT; the signals are blocked in every
// thread from here on, so they arrive only there.
int StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) {
        throw std::runtime_error("cannot block signals");
    }
    int fd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) {
            w95::UseMachine(argv[++i]);
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else {
            Usage();
            return 2;
        }
    }
    try {
        const int stop_fd = StopSignals();
        progman::ProgramGroups groups(w95::MachinePath(kProgramsFolder));
        std::filesystem::create_directories(groups.folder());
        progman::DdeServer server(
            kService, kService,
            [&groups](const w95::dde::Frame& request) { return CarryOut(groups, request); },
            JournalConnect);
        std::cout << "ready" << std::endl;
        server.Serve(stop_fd);
        ::close(stop_fd);
    } catch (const std::exception& error) {
        std::cerr << "progman: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
