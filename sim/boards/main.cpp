// boardsim --machine DIR --boards FILE: the boards of an emulated machine. Writes the hardware
// enumerator's keys, puts one modem on a pty per port (dev/COMn), serves the driver socket
// (dev/tarvexpt.vxd), prints "ready" and runs until SIGTERM or SIGINT, then removes its links
// and socket.
#include "board_driver.h"
#include "board_file.h"
#include "driver_protocol.h"
#include "driver_server.h"
#include "enumerator_keys.h"
#include "modem_port.h"

#include "machine.h"

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] = "usage: boardsim --machine DIR --boards FILE\n";

struct Options {
    std::string machine;
    std::string boards;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--machine" || arg == "--boards") && i + 1 < argc) {
            (arg == "--machine" ? options.machine : options.boards) = argv[++i];
        } else {
            return false;
        }
    }
    return !options.machine.empty() && !options.boards.empty();
}

int Run(const Options& options) {
    // Everything about the file is checked before anything is created.
    boardsim::BoardFile file = boardsim::LoadBoardFile(options.boards);

    std::filesystem::path machine = std::filesystem::absolute(options.machine);
    if (!std::filesystem::is_directory(machine)) {
        throw std::runtime_error(machine.string() + " is not a machine directory");
    }
    w95::UseMachine(machine);
    std::filesystem::create_directories(machine / "dev");
    std::filesystem::path socket_path = machine / "dev" / w95::kDriverSocketName;

    // The signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::unique_ptr<boardsim::ModemPort>> ports;
    std::vector<std::vector<boardsim::ModemPort*>> by_index;
    for (size_t index = 0; index < file.driver_order.size(); ++index) {
        const boardsim::BoardSpec& board = file.boards[file.driver_order[index]];
        by_index.emplace_back();
        for (size_t p = 0; p < board.ports.size(); ++p) {
            boardsim::PortAddress address{static_cast<uint32_t>(index), static_cast<uint32_t>(p)};
            ports.push_back(std::make_unique<boardsim::ModemPort>(board, board.ports[p], address,
                                                                  machine / "boards"));
            by_index.back().push_back(ports.back().get());
        }
    }
    boardsim::BoardDriver driver(file, by_index);
    // Declared after the ports, so it is torn down first: no request reaches a port that is gone.
    boardsim::DriverServer server(socket_path, driver);
    boardsim::WriteEnumeratorKeys(file);
    for (auto& port : ports)
        port->Start(machine / "dev");
    server.Start();

    std::cout << "ready" << std::endl;
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::cerr << "boardsim: " << error.what() << std::endl;
        return 1;
    }
}
