// The driver device of the layer: CreateFileA on \\.\tarvexpt.vxd connects to the board
// simulator, DeviceIoControl carries a request and brings back result, error, output and count.
#include "boardsim_process.h"
#include "machine.h"
#include "temp_machine.h"

#include "driver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <vector>

namespace {

using w95test::BoardsimProcess;
using w95test::TempMachine;

const char kEightPorts[] = R"({"boards":[{"bus":"pci","revision":"002","ports":8}]})";

HANDLE OpenDriver() {
    return CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<nlohmann::json> DriverJournal(const std::filesystem::path& machine) {
    std::vector<nlohmann::json> events;
    std::ifstream in(machine / "journal" / "driver.jsonl");
    for (std::string line; std::getline(in, line);)
        events.push_back(nlohmann::json::parse(line));
    return events;
}

TEST(DriverDevice, OpenFailsWithFileNotFoundWhenNoSimulatorListens) {
    TempMachine machine;
    EXPECT_EQ(OpenDriver(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A socket left behind by a simulator that is gone is no driver either.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = machine.path("dev/tarvexpt.vxd").string();
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    SetLastError(0);
    EXPECT_EQ(OpenDriver(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DriverDevice, CarriesOutputCountAndErrorBetweenCallerAndDriver) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), kEightPorts);
    HANDLE driver = OpenDriver();
    ASSERT_NE(driver, INVALID_HANDLE_VALUE);

    // The record is input and output at once.
    DriverConfig config;
    std::memset(&config, 0, sizeof(config));
    config.RecordSize = 540;
    DWORD returned = 0;
    ASSERT_TRUE(
        DeviceIoControl(driver, DRV_GET_CONFIG, &config, 540, &config, 540, &returned, nullptr));
    EXPECT_EQ(returned, 540u);
    EXPECT_EQ(config.Boards[0].PortCount, 8u);
    EXPECT_STREQ(config.Boards[0].PortNames[7], "COM12");

    // An output too small for the record: the driver's error, and not a byte written.
    unsigned char small[100];
    std::memset(small, 0xAA, sizeof(small));
    returned = 77;
    EXPECT_FALSE(DeviceIoControl(driver, DRV_GET_CONFIG, small, sizeof(small), small, sizeof(small),
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    for (unsigned char byte : small)
        ASSERT_EQ(byte, 0xAA);

    // No output buffer and no count variable.
    PortKey key = MAKE_PORT_KEY(0, 3);
    EXPECT_TRUE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 4, nullptr, 0, nullptr, nullptr));
    // A separate output buffer receives the key; a short input is refused.
    PortKey out = 0;
    EXPECT_TRUE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 4, &out, 4, &returned, nullptr));
    EXPECT_EQ(out, key);
    EXPECT_FALSE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 2, &out, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_TRUE(CloseHandle(driver));
    EXPECT_FALSE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 4, &key, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(DriverDevice, ManyThreadsOnSharedAndOwnHandlesGetTheirOwnReplies) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), kEightPorts);
    const int kRequests = 40;
    HANDLE shared = OpenDriver();
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (int port = 0; port < 8; ++port) {
        threads.emplace_back([&, port] {
            // Ports 0 to 3 share one handle; ports 4 to 7 have one each.
            HANDLE driver = port < 4 ? shared : OpenDriver();
            for (int i = 0; i < kRequests; ++i) {
                PortKey key = MAKE_PORT_KEY(0, port);
                DWORD returned = 0;
                DWORD code = i % 2 ? DRV_MODEM_RESET_OFF : DRV_MODEM_RESET_ON;
                if (!DeviceIoControl(driver, code, &key, 4, &key, 4, &returned, nullptr) ||
                    key != MAKE_PORT_KEY(0, port) || returned != 4) {
                    ++mismatches[port];
                }
            }
            if (port >= 4)
                CloseHandle(driver);
        });
    }
    for (auto& thread : threads)
        thread.join();
    CloseHandle(shared);
    EXPECT_EQ(mismatches, std::vector<int>(8, 0));

    // Per port: all its requests, alternating on and off, on one handle number.
    std::map<int, std::vector<int>> codes;
    std::map<int, std::set<int>> handles;
    for (const auto& event : DriverJournal(machine.dir())) {
        codes[event["port"]].push_back(event["code"]);
        handles[event["port"]].insert(event["handle"].get<int>());
    }
    std::set<int> own_handles;
    for (int port = 0; port < 8; ++port) {
        SCOPED_TRACE(port);
        ASSERT_EQ(codes[port].size(), static_cast<size_t>(kRequests));
        for (int i = 0; i < kRequests; ++i)
            EXPECT_EQ(codes[port][i], i % 2 ? 514 : 513);
        ASSERT_EQ(handles[port].size(), 1u);
        if (port >= 4)
            own_handles.insert(*handles[port].begin());
    }
    EXPECT_EQ(handles[0], handles[3]);
    EXPECT_EQ(own_handles.size(), 4u);
    EXPECT_EQ(own_handles.count(*handles[0].begin()), 0u);
}

TEST(DriverDevice, ASimulatorThatEndsFailsLaterRequestsAtOnce) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), kEightPorts);
    HANDLE driver = OpenDriver();
    ASSERT_NE(driver, INVALID_HANDLE_VALUE);
    ASSERT_EQ(sim.Stop(), 0);
    PortKey key = MAKE_PORT_KEY(0, 1);
    DWORD returned = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 4, &key, 4, &returned, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    }
    EXPECT_EQ(key, MAKE_PORT_KEY(0, 1));
    EXPECT_TRUE(CloseHandle(driver));
}

TEST(DriverDevice, WorksInAMachineWhosePathIsTooLongForASocketAddress) {
    TempMachine base;
    auto deep = base.dir() / std::string(60, 'd') / std::string(60, 'e');
    w95::InitMachine(deep);
    w95::UseMachine(deep);
    ASSERT_GT((deep / "dev/tarvexpt.vxd").string().size(), sizeof(sockaddr_un::sun_path));
    BoardsimProcess sim(deep, kEightPorts);
    HANDLE driver = OpenDriver();
    ASSERT_NE(driver, INVALID_HANDLE_VALUE);
    PortKey key = MAKE_PORT_KEY(0, 2);
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(driver, DRV_MODEM_INIT, &key, 4, &key, 4, &returned, nullptr));
    CloseHandle(driver);
    EXPECT_EQ(DriverJournal(deep).size(), 1u);
}

}  // namespace
