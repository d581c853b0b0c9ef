#include "temp_machine.h"

#include "machine.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace w95test {

TempMachine::TempMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "w95-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    w95::InitMachine(dir_);
    w95::UseMachine(dir_);
}

TempMachine::~TempMachine() {
    const char* keep = std::getenv("W95_KEEP_MACHINES");
    if (keep && *keep == '1')
        return;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace w95test
