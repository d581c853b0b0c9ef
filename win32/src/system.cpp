// The system's directories, the running program's file and its command line.
#include "command_line.h"
#include "handles.h"
#include "module.h"
#include "paths.h"

#include <unistd.h>

#include <cstring>

namespace w95 {

HINSTANCE ProgramInstance() {
    // Where Windows 95 loads a program's image; any fixed value other than NULL would do.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x00400000));
}

std::filesystem::path ProgramFile() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

}  // namespace w95

using w95::Fail;

extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    static const char kSystemDirectory[] = "C:\\WINDOWS\\SYSTEM";
    const UINT length = sizeof(kSystemDirectory) - 1;
    if (!lpBuffer || uSize <= length)
        return length + 1;  // the size needed, NUL included
    std::memcpy(lpBuffer, kSystemDirectory, length + 1);
    return length;
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule && hModule != w95::ProgramInstance())
        return Fail(ERROR_MOD_NOT_FOUND, DWORD{0});
    auto file = w95::ProgramFile();
    if (file.empty())
        return Fail(ERROR_FILE_NOT_FOUND, DWORD{0});
    std::string name = w95::ToWindowsPath(file);
    if (!lpFilename || nSize == 0)
        return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
    if (name.size() < nSize) {
        std::memcpy(lpFilename, name.c_str(), name.size() + 1);
        return static_cast<DWORD>(name.size());
    }
    // Cut to the buffer, still terminated, and say so.
    std::memcpy(lpFilename, name.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

extern "C" LPSTR WINAPI GetCommandLineA(void) {
    return w95::ProcessCommandLine();
}
