// The running program's one module: its instance handle and the file it was loaded from.
#pragma once

#include <windows.h>

#include <filesystem>

namespace w95 {

// The instance handle that WinMain receives; GetModuleFileNameA knows it as well as NULL.
HINSTANCE ProgramInstance();

// The host file of the running program.
std::filesystem::path ProgramFile();

}  // namespace w95
