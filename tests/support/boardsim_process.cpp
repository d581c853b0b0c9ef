#include "boardsim_process.h"

#include <fstream>
#include <vector>

namespace w95test {
namespace {

// The command line of boardsim on `board_json`, written to <machine>/boardsim.json first.
std::vector<std::string> BoardsimCommand(const std::filesystem::path& machine,
                                         const std::string& board_json) {
    auto board_file = machine / "boardsim.json";
    {
        std::ofstream out(board_file, std::ios::binary | std::ios::trunc);
        out << board_json;
    }
    return {BoardsimBinary().string(), "--machine", machine.string(), "--boards",
            board_file.string()};
}

}  // namespace

std::filesystem::path BoardsimBinary() {
    return std::filesystem::path(TARVEX_BUILD_DIR) / "sim" / "boards" / "boardsim";
}

BoardsimExit RunBoardsimToExit(const std::filesystem::path& machine, const std::string& board_json,
                               std::chrono::milliseconds limit) {
    return RunProcess(BoardsimCommand(machine, board_json), {}, limit);
}

BoardsimProcess::BoardsimProcess(const std::filesystem::path& machine,
                                 const std::string& board_json,
                                 std::chrono::milliseconds ready_limit)
    : SimulatorProcess(BoardsimCommand(machine, board_json), machine / "boardsim.err",
                       ready_limit) {}

}  // namespace w95test
