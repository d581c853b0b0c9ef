// The version of the emulated system, after the machine's platform setting.
#include "handles.h"
#include "machine.h"

#include <cstring>

namespace {

struct SystemVersion {
    DWORD major;
    DWORD minor;
    DWORD build;
    DWORD platform_id;
};

SystemVersion CurrentVersion() {
    switch (w95::LoadMachineConfig().platform) {
        case 98:
            return {4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS};
        case 0:
            return {4, 0, 1381, VER_PLATFORM_WIN32_NT};
        default:
            return {4, 0, 950, VER_PLATFORM_WIN32_WINDOWS};
    }
}

}  // namespace

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (!lpVersionInformation)
        return w95::Fail(ERROR_NOACCESS, FALSE);
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        return w95::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    SystemVersion version = CurrentVersion();
    lpVersionInformation->dwMajorVersion = version.major;
    lpVersionInformation->dwMinorVersion = version.minor;
    lpVersionInformation->dwBuildNumber = version.build;
    if (version.platform_id == VER_PLATFORM_WIN32_WINDOWS) {
        // Windows 95 and 98 repeat major and minor version in the build number's high word.
        lpVersionInformation->dwBuildNumber |= (version.major << 24) | (version.minor << 16);
    }
    lpVersionInformation->dwPlatformId = version.platform_id;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
    return TRUE;
}

extern "C" DWORD WINAPI GetVersion(void) {
    SystemVersion version = CurrentVersion();
    DWORD low_word = version.major | (version.minor << 8);
    if (version.platform_id == VER_PLATFORM_WIN32_NT)
        return low_word | (version.build << 16);
    // Windows 95 and 98 set the high bit and give no build number here.
    return low_word | 0x80000000u;
}
