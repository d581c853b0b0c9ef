// The version the emulated system reports, after the machine's platform setting.
#include "machine.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

TEST(VersionTest, EachPlatformSetting) {
    struct Case {
        const char* platform;  // nullptr: the machine's default
        DWORD major, minor, build, platform_id, build_number, version;
    } cases[] = {
        {nullptr, 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, 0x040003B6, 0x80000004},
        {"95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, 0x040003B6, 0x80000004},
        {"98", 4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, 0x040A07CE, 0x80000A04},
        {"nt", 4, 0, 1381, VER_PLATFORM_WIN32_NT, 1381, 0x05650004},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.platform ? c.platform : "default");
        w95test::TempMachine machine;
        if (c.platform)
            w95::SetMachineSetting("platform", c.platform);
        OSVERSIONINFOA info;
        std::memset(&info, 0xCC, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ(info.dwMajorVersion, c.major);
        EXPECT_EQ(info.dwMinorVersion, c.minor);
        EXPECT_EQ(LOWORD(info.dwBuildNumber), c.build);
        EXPECT_EQ(info.dwBuildNumber, c.build_number);
        EXPECT_EQ(info.dwPlatformId, c.platform_id);
        EXPECT_STREQ(info.szCSDVersion, "");
        EXPECT_EQ(GetVersion(), c.version);
    }
}

TEST(VersionTest, RefusesAStructureOfAnotherSize) {
    w95test::TempMachine machine;
    for (DWORD size : {DWORD{0}, DWORD{147}, DWORD{156}}) {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = size;
        EXPECT_FALSE(GetVersionExA(&info));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
        EXPECT_EQ(info.dwPlatformId, 0u);
    }
}

}  // namespace
