// Disk files through CreateFileA/ReadFile/WriteFile/GetFileSize/CloseHandle, and the dispatch of
// those calls and DeviceIoControl to any I/O object.
#include "io_object.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
  protected:
    void WriteHostFile(const std::string& relative, const std::string& content) {
        fs::create_directories(machine_.path(relative).parent_path());
        std::ofstream(machine_.path(relative), std::ios::binary) << content;
    }

    HANDLE Open(const char* name, DWORD access, DWORD creation, DWORD flags = 0) {
        return CreateFileA(name, access, 0, nullptr, creation, flags, nullptr);
    }

    w95test::TempMachine machine_;
};

TEST_F(FilesTest, WritesAndReadsEveryByteValue) {
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    bytes += "\r\n\x1a\0tail";

    HANDLE file = Open("C:\\Image.BIN", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(written, bytes.size());
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(w95test::ReadFileText(machine_.path("c/Image.BIN")), bytes);

    file = Open("c:\\image.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), bytes.size());
    EXPECT_EQ(high, 0u);
    std::vector<char> buffer(bytes.size() + 10, '#');
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
    EXPECT_EQ(read, bytes.size());  // a short count at the end of the file, still success
    EXPECT_EQ(std::string(buffer.data(), read), bytes);
    ASSERT_TRUE(ReadFile(file, buffer.data(), 10, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
}

TEST_F(FilesTest, CreationDispositions) {
    struct Case {
        DWORD creation;
        DWORD access;
        bool exists_before;
        bool opens;
        DWORD last_error;
        const char* content_after;  // nullptr: no file
    } cases[] = {
        {CREATE_NEW, GENERIC_WRITE, false, true, ERROR_SUCCESS, ""},
        {CREATE_NEW, GENERIC_WRITE, true, false, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, GENERIC_WRITE, false, true, ERROR_SUCCESS, ""},
        {CREATE_ALWAYS, GENERIC_WRITE, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, GENERIC_READ, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {OPEN_EXISTING, GENERIC_READ, true, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, GENERIC_READ, false, true, ERROR_SUCCESS, ""},
        {OPEN_ALWAYS, GENERIC_READ, true, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, GENERIC_WRITE, true, true, ERROR_SUCCESS, ""},
        {TRUNCATE_EXISTING, GENERIC_WRITE, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {TRUNCATE_EXISTING, GENERIC_READ, true, false, ERROR_INVALID_PARAMETER, "old"},
        {0, GENERIC_READ, true, false, ERROR_INVALID_PARAMETER, "old"},
        {6, GENERIC_READ, false, false, ERROR_INVALID_PARAMETER, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "creation " << c.creation << " existing " << c.exists_before);
        fs::remove(machine_.path("c/state.txt"));
        fs::remove(machine_.path("c/STATE.TXT"));
        if (c.exists_before) {
            WriteHostFile("c/state.txt", "old");
        }
        SetLastError(12345);
        HANDLE file = Open("C:\\STATE.TXT", c.access, c.creation);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.last_error);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        // An existing file is found whatever its case; a new one takes the name as given.
        fs::path expected_file = machine_.path(c.exists_before ? "c/state.txt" : "c/STATE.TXT");
        if (c.content_after) {
            EXPECT_EQ(w95test::ReadFileText(expected_file), c.content_after);
        } else {
            EXPECT_FALSE(fs::exists(expected_file));
        }
        EXPECT_EQ(
            std::distance(fs::directory_iterator(machine_.path("c")), fs::directory_iterator()),
            (c.content_after ? 2 : 1));  // the file, if any, and WINDOWS
    }
}

TEST_F(FilesTest, OpenFailuresTellWhatIsMissing) {
    WriteHostFile("c/WINDOWS/SYSTEM/Tarvex/nvnmdmld.tm", "loader");
    struct Case {
        const char* name;
        DWORD creation;
        DWORD error;
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\TARVEX\\nvnmdmfw.tm", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"C:\\WINDOWS\\SYSTEM\\NOWHERE\\nvnmdmld.tm", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"C:\\WINDOWS\\SYSTEM\\NOWHERE\\new.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\nvnmdmld.tm\\x", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"C:\\WINDOWS\\SYSTEM", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"C:\\WINDOWS\\SYSTEM\\", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {"Q:\\file.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"C:\\bad|name.txt", CREATE_ALWAYS, ERROR_INVALID_NAME},
        {"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"\\\\.\\NOSUCHDEVICE", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Open(c.name, GENERIC_READ | GENERIC_WRITE, c.creation), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(FilesTest, HandleAccessLimitsReadsAndWrites) {
    WriteHostFile("c/data.txt", "data");
    char buffer[8];
    DWORD done = 77;

    HANDLE reader = Open("C:\\data.txt", GENERIC_READ, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(done, 0u);
    CloseHandle(reader);

    HANDLE writer = Open("C:\\data.txt", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    ASSERT_TRUE(WriteFile(writer, "DA", 2, &done, nullptr));
    CloseHandle(writer);
    EXPECT_EQ(w95test::ReadFileText(machine_.path("c/data.txt")), "DAta");

    // Overlapped input is not available on these handles; refused, not silently ignored.
    HANDLE both = Open("C:\\data.txt", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    OVERLAPPED overlapped{};
    EXPECT_FALSE(ReadFile(both, buffer, sizeof buffer, &done, &overlapped));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_FALSE(DeviceIoControl(both, 513, nullptr, 0, nullptr, 0, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    CloseHandle(both);
}

TEST_F(FilesTest, ReadOnlyAttributeAndDeleteOnClose) {
    HANDLE file = Open("C:\\readonly.txt", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "ro", 2, &done, nullptr));  // the creating handle still writes
    CloseHandle(file);
    if (geteuid() != 0) {  // root ignores file permissions
        EXPECT_EQ(Open("C:\\readonly.txt", GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    }

    HANDLE temporary =
        Open("C:\\scratch.tmp", GENERIC_WRITE, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(temporary, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::exists(machine_.path("c/scratch.tmp")));
    CloseHandle(temporary);
    EXPECT_FALSE(fs::exists(machine_.path("c/scratch.tmp")));
}

TEST_F(FilesTest, ClosedAndForgedHandlesAreInvalid) {
    WriteHostFile("c/a.txt", "a");
    HANDLE first = Open("C:\\a.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_TRUE(CloseHandle(first));
    // The slot is likely reused at once; the old handle must still be dead.
    HANDLE second = Open("C:\\a.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    char buffer[4];
    DWORD done = 5;
    for (HANDLE bad : {first, INVALID_HANDLE_VALUE, HANDLE{nullptr},
                       reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1230))}) {
        SetLastError(0);
        EXPECT_FALSE(ReadFile(bad, buffer, sizeof buffer, &done, nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_EQ(done, 0u);
        EXPECT_FALSE(WriteFile(bad, "x", 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_FALSE(DeviceIoControl(bad, 513, nullptr, 0, nullptr, 0, &done, nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
    ASSERT_TRUE(ReadFile(second, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 1u);
    EXPECT_TRUE(CloseHandle(second));
}

// An I/O object that records what the calls hand it, standing in for a device.
class RecordingDevice : public w95::IoObject {
  public:
    BOOL Write(const void* buffer, DWORD count, DWORD* done) override {
        written.assign(static_cast<const char*>(buffer), count);
        *done = count;
        return TRUE;
    }
    BOOL Control(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                 DWORD* returned) override {
        last_code = code;
        request.assign(static_cast<const char*>(in), in_size);
        std::string reply = "reply";
        if (out_size < reply.size())
            return w95::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
        std::memcpy(out, reply.data(), reply.size());
        *returned = static_cast<DWORD>(reply.size());
        return TRUE;
    }
    std::string written;
    std::string request;
    DWORD last_code = 0;
};

TEST_F(FilesTest, CallsReachTheObjectBehindTheHandle) {
    auto device = std::make_shared<RecordingDevice>();
    HANDLE handle = w95::AddHandle(device);

    DWORD done = 0;
    ASSERT_TRUE(WriteFile(handle, "AT**\r", 5, &done, nullptr));
    EXPECT_EQ(device->written, "AT**\r");
    EXPECT_EQ(done, 5u);

    char in[4] = {1, 0, 5, 0};
    char out[16] = {};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle, 515, in, sizeof in, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(device->last_code, 515u);
    EXPECT_EQ(device->request, std::string(in, sizeof in));
    EXPECT_EQ(returned, 5u);
    EXPECT_EQ(std::string(out, returned), "reply");

    returned = 99;
    EXPECT_FALSE(DeviceIoControl(handle, 515, in, sizeof in, out, 2, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(returned, 0u);

    // What the object does not support fails as for a handle of the wrong kind.
    char buffer[4];
    EXPECT_FALSE(ReadFile(handle, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
    EXPECT_TRUE(CloseHandle(handle));
}

}  // namespace
