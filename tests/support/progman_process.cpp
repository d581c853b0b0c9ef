#include "progman_process.h"

namespace w95test {

std::filesystem::path ProgmanBinary() {
    return std::filesystem::path(TARVEX_BUILD_DIR) / "sim" / "progman" / "progman";
}

ProgmanProcess::ProgmanProcess(const std::filesystem::path& machine,
                               std::chrono::milliseconds ready_limit)
    : SimulatorProcess({ProgmanBinary().string(), "--machine", machine.string()}, {}, ready_limit) {
}

}  // namespace w95test
