// Windows paths on the host: drive mapping, case-insensitive resolution, program lookup and the
// reverse mapping, with the system directory and module name built on them.
#include "paths.h"

#include "machine.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class PathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A fresh machine already has C:\WINDOWS\SYSTEM\tarvex, spelt so.
        Touch("c/WINDOWS/SYSTEM/tarvex/NvnMdmLd.tm");
        Touch("c/WINDOWS/SYSTEM/tarvex/TvxMCfg.exe");
        Touch("c/WINDOWS/SYSTEM/tarvex/tool");
        Touch("c/WINDOWS/SYSTEM/tarvex/tool.exe");
        Touch("c/WINDOWS/SYSTEM/tarvex/plain");
        Touch("c/WINDOWS/SYSTEM/syscmd.exe");
        fs::create_directories(machine_.path("c/WINDOWS/SYSTEM/tarvex/folder.exe"));
    }

    void Touch(const std::string& relative) {
        fs::create_directories(machine_.path(relative).parent_path());
        std::ofstream(machine_.path(relative)) << "x";
    }

    w95test::TempMachine machine_;
};

TEST_F(PathsTest, ResolvesEveryComponentIgnoringCase) {
    struct Case {
        const char* windows;
        const char* host;  // relative to the machine
        bool parent_exists;
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\NvnMdmLd.tm", "c/WINDOWS/SYSTEM/tarvex/NvnMdmLd.tm", true},
        {"c:\\windows\\system\\TARVEX\\nvnmdmld.TM", "c/WINDOWS/SYSTEM/tarvex/NvnMdmLd.tm", true},
        {"C:/Windows/System/tarvex/NVNMDMLD.tm", "c/WINDOWS/SYSTEM/tarvex/NvnMdmLd.tm", true},
        {"C:\\WINDOWS\\\\SYSTEM\\.\\tarvex\\", "c/WINDOWS/SYSTEM/tarvex", true},
        {"\\windows\\system", "c/WINDOWS/SYSTEM", true},
        {"C:", "c", true},
        // A missing last component keeps its spelling, so files can be created under it.
        {"C:\\windows\\system\\tarvex\\NewFile.TXT", "c/WINDOWS/SYSTEM/tarvex/NewFile.TXT", true},
        // Below a missing folder nothing is resolved and the parent is reported missing.
        {"C:\\windows\\Missing\\tarvex", "c/WINDOWS/Missing/tarvex", false},
        // A file used as a folder is no folder.
        {"C:\\windows\\system\\syscmd.exe\\x", "c/WINDOWS/SYSTEM/syscmd.exe/x", false},
        // ".." never leaves the drive.
        {"C:\\..\\..\\windows\\..\\..\\WINDOWS", "c/WINDOWS", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        w95::HostPath result = w95::ToHostPath(c.windows);
        EXPECT_EQ(result.error, DWORD{ERROR_SUCCESS});
        EXPECT_EQ(result.path, machine_.path(c.host));
        EXPECT_EQ(result.parent_exists, c.parent_exists);
    }
}

TEST_F(PathsTest, ExactSpellingWinsOverOtherCases) {
    for (const char* name : {"Data", "data", "DATA2", "data2"}) {
        fs::create_directories(machine_.path(std::string("c/") + name));
    }
    EXPECT_EQ(w95::ToHostPath("C:\\data").path, machine_.path("c/data"));
    EXPECT_EQ(w95::ToHostPath("C:\\Data").path, machine_.path("c/Data"));
    // With no exact match, the choice does not depend on the directory's listing order.
    EXPECT_EQ(w95::ToHostPath("C:\\dAtA").path, machine_.path("c/Data"));
    EXPECT_EQ(w95::ToHostPath("C:\\Data2").path, machine_.path("c/DATA2"));
}

TEST_F(PathsTest, DriveZIsTheHostRoot) {
    EXPECT_EQ(w95::ToHostPath("Z:\\").path, fs::path("/"));
    // The machine seen from outside: Z: plus its host path, resolved ignoring case as well.
    std::string through_z = "Z:" + machine_.path("c/windows/system").string();
    w95::HostPath result = w95::ToHostPath(through_z);
    EXPECT_EQ(result.path, machine_.path("c/WINDOWS/SYSTEM"));
}

TEST_F(PathsTest, RefusesUnknownDrivesAndBadNames) {
    struct Case {
        const char* windows;
        DWORD error;
    } cases[] = {
        {"", ERROR_PATH_NOT_FOUND},
        {"D:\\WINDOWS", ERROR_PATH_NOT_FOUND},
        {"C:\\WINDOWS\\a?b", ERROR_INVALID_NAME},
        {"C:\\WINDOWS\\*.tm", ERROR_INVALID_NAME},
        {"C:\\WIN\"DOWS", ERROR_INVALID_NAME},
        {"C:\\WINDOWS\\x:y", ERROR_INVALID_NAME},
        {"C:\\WINDOWS\\tab\there", ERROR_INVALID_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(w95::ToHostPath(c.windows).error, c.error);
    }
}

TEST_F(PathsTest, FindsProgramsAsWindowsDoes) {
    struct Case {
        const char* program;
        const char* found;  // relative to the machine; nullptr: not found
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg", "c/WINDOWS/SYSTEM/tarvex/TvxMCfg.exe"},
        {"c:\\windows\\system\\tarvex\\tvxmcfg.EXE", "c/WINDOWS/SYSTEM/tarvex/TvxMCfg.exe"},
        // ".exe" is looked for first, then the name as it is.
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\tool", "c/WINDOWS/SYSTEM/tarvex/tool.exe"},
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\PLAIN", "c/WINDOWS/SYSTEM/tarvex/plain"},
        // A name with an extension gets no ".exe".
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\nvnmdmld.tm", "c/WINDOWS/SYSTEM/tarvex/NvnMdmLd.tm"},
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\NvnMdmLd", nullptr},
        // A bare name is looked for in the system directories.
        {"SYSCMD", "c/WINDOWS/SYSTEM/syscmd.exe"},
        // Folders are no programs.
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\folder", nullptr},
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\missing", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        auto found = w95::ResolveProgramPath(c.program);
        if (c.found) {
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(*found, machine_.path(c.found));
        } else {
            EXPECT_FALSE(found.has_value());
        }
    }
}

TEST_F(PathsTest, HostPathsMapBackToDrives) {
    EXPECT_EQ(w95::ToWindowsPath(machine_.path("c")), "C:\\");
    EXPECT_EQ(w95::ToWindowsPath(machine_.path("c/WINDOWS/SYSTEM/tarvex/TvxMCfg.exe")),
              "C:\\WINDOWS\\SYSTEM\\tarvex\\TvxMCfg.exe");
    EXPECT_EQ(w95::ToWindowsPath(machine_.path("c/WINDOWS/SYSTEM/")), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(w95::ToWindowsPath("/usr/bin/env"), "Z:\\usr\\bin\\env");
    // The rest of the machine folder lies outside drive C:, even a name that starts like it.
    for (const char* outside : {"registry.db", "cx/file"}) {
        std::string expected = "Z:" + machine_.path(outside).string();
        std::replace(expected.begin(), expected.end(), '/', '\\');
        EXPECT_EQ(w95::ToWindowsPath(machine_.path(outside)), expected);
    }

    // The same file reached through a link into the machine is still on drive C:.
    fs::path link = machine_.path("link-to-c");
    fs::create_directory_symlink(machine_.path("c/WINDOWS"), link);
    EXPECT_EQ(w95::ToWindowsPath(link / "SYSTEM"), "C:\\WINDOWS\\SYSTEM");
}

TEST_F(PathsTest, SystemDirectoryNeedsRoomForItsTerminator) {
    const std::string expected = "C:\\WINDOWS\\SYSTEM";  // 17 characters
    struct Case {
        UINT size;
        UINT result;
        bool written;
    } cases[] = {{260, 17, true}, {18, 17, true}, {17, 18, false}, {1, 18, false}, {0, 18, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[300];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetSystemDirectoryA(buffer, c.size), c.result);
        if (c.written) {
            EXPECT_STREQ(buffer, expected.c_str());
        } else {
            EXPECT_EQ(buffer[0], '#');
        }
    }
    EXPECT_EQ(w95::ToHostPath(expected).path, machine_.path("c/WINDOWS/SYSTEM"));
}

TEST_F(PathsTest, ModuleFileNameIsTheProgramAsAWindowsPath) {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, name, sizeof name);
    ASSERT_GT(length, 0u);
    std::string expected = w95::ToWindowsPath(fs::read_symlink("/proc/self/exe"));
    EXPECT_EQ(std::string(name), expected);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(expected.rfind("Z:\\", 0), 0u);

    // Too small a buffer: cut, terminated, the buffer's size returned.
    char small[8];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), DWORD{sizeof small});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(std::string(small), expected.substr(0, 7));

    HMODULE other = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
    EXPECT_EQ(GetModuleFileNameA(other, name, sizeof name), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

}  // namespace
