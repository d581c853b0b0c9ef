// A fresh emulated machine in a temporary directory for one test; the process uses it while the
// object lives. Set W95_KEEP_MACHINES=1 to keep the directory for a look after the test.
#pragma once

#include <filesystem>
#include <string>

namespace w95test {

class TempMachine {
  public:
    TempMachine();
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path path(const std::string& relative) const { return dir_ / relative; }

  private:
    std::filesystem::path dir_;
};

// The whole content of a file; empty when it does not exist.
std::string ReadFileText(const std::filesystem::path& path);

}  // namespace w95test
