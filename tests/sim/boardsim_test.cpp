// The board simulator as the programs meet it: enumerator keys in the registry, the driver
// through CreateFileA/DeviceIoControl, and each modem on its serial device, spoken to with
// plain termios.
#include "boardsim_process.h"
#include "temp_machine.h"

#include "driver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using w95test::BoardsimProcess;
using w95test::ReadFileText;
using w95test::TempMachine;

const std::string kFirmwareReply = "ATI5\r\r\n105\r\n\r\nOK\r\n";  // 18 bytes
const std::string kBootRomReply = "ATI5\r\r\nOK\r\n";

// A modem's serial device opened as a client would: raw, 115200 bit/s, RTS/CTS.
class ModemLine {
  public:
    explicit ModemLine(const std::filesystem::path& device, speed_t speed = B115200,
                       bool handshake = true) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + device.string());
        termios settings{};
        ::tcgetattr(fd_, &settings);
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, speed);
        settings.c_cflag |= CLOCAL | CREAD;
        if (handshake) {
            settings.c_cflag |= CRTSCTS;
        } else {
            settings.c_cflag &= ~CRTSCTS;
        }
        ::tcsetattr(fd_, TCSANOW, &settings);
        ::tcflush(fd_, TCIFLUSH);
    }
    ~ModemLine() { ::close(fd_); }

    int fd() const { return fd_; }

    void Send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                throw std::runtime_error("write to the modem failed");
            done += static_cast<size_t>(n);
        }
    }

    // Everything that arrives until `text` has been seen (or, with no text, until the line has
    // been quiet for `quiet`), within `limit` in all.
    std::string Read(milliseconds limit, const std::string& text = "",
                     milliseconds quiet = milliseconds(0)) {
        std::string received;
        auto deadline = Clock::now() + limit;
        auto last = Clock::now();
        for (;;) {
            if (!text.empty() && received.find(text) != std::string::npos)
                break;
            auto now = Clock::now();
            if (now >= deadline)
                break;
            if (quiet.count() > 0 && !received.empty() && now - last >= quiet)
                break;
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fd_, buffer, sizeof(buffer));
            if (n <= 0)
                break;
            received.append(buffer, static_cast<size_t>(n));
            last = Clock::now();
        }
        return received;
    }

    // A command and the whole reply: everything until the modem has been quiet for 300 ms
    // after its first byte, or nothing when no byte comes within `limit`.
    std::string Ask(const std::string& command, milliseconds limit = milliseconds(1500)) {
        Send(command);
        return Read(limit, "", milliseconds(300));
    }

  private:
    int fd_ = -1;
};

struct DownloadReplies {
    std::string initiated;
    std::string announced;
    std::string checksum;
};

// The host's side of a download: "AT**\r", the loader, the firmware.
DownloadReplies Download(ModemLine& line, const std::string& loader, const std::string& firmware) {
    DownloadReplies replies;
    line.Send("AT**\r");
    replies.initiated = line.Read(milliseconds(3000), "Download Initiated\r\n");
    line.Send(loader);
    replies.announced = line.Read(milliseconds(9000), "115.2K\r\n");
    line.Send(firmware);
    // The checksum has no line end after it: read until the modem falls quiet.
    replies.checksum = line.Read(milliseconds(9000), "", milliseconds(400));
    return replies;
}

// Bytes of every value, CR, LF, XON and XOFF included, different for every seed.
std::string Image(size_t size, unsigned seed) {
    std::string image(size, '\0');
    uint32_t state = 2463534242u ^ seed;
    for (auto& c : image) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        c = static_cast<char>(state & 0xFF);
    }
    return image;
}

// The firmware checksum as the host computes it.
unsigned HostChecksum(const std::string& image) {
    unsigned sum = 0x8000;
    for (size_t i = 0; i < image.size(); ++i) {
        if (i != 65470 && i != 65471)
            sum += static_cast<unsigned char>(image[i]);
    }
    return sum & 0xFFFF;
}

std::string HexText(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%X", value);
    return text;
}

HANDLE OpenDriver() {
    return CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL PortRequest(HANDLE driver, DWORD code, DWORD board, DWORD port) {
    PortKey key = MAKE_PORT_KEY(board, port);
    DWORD returned = 0;
    return DeviceIoControl(driver, code, &key, sizeof(key), &key, sizeof(key), &returned, nullptr);
}

DriverConfig ReadConfig() {
    DriverConfig config;
    std::memset(&config, 0, sizeof(config));
    config.RecordSize = sizeof(config);
    HANDLE driver = OpenDriver();
    EXPECT_NE(driver, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(driver, DRV_GET_CONFIG, &config, sizeof(config), &config,
                                sizeof(config), &returned, nullptr));
    CloseHandle(driver);
    return config;
}

std::vector<nlohmann::json> DriverJournal(const TempMachine& machine) {
    std::vector<nlohmann::json> events;
    std::ifstream in(machine.path("journal/driver.jsonl"));
    for (std::string line; std::getline(in, line);)
        events.push_back(nlohmann::json::parse(line));
    return events;
}

std::vector<std::string> Subkeys(const std::string& path) {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) {
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

// A string value, or "<none>" when the key or value is missing.
std::string StringValue(const std::string& path, const char* value) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS)
        return "<none>";
    char data[256] = {};
    DWORD size = sizeof(data), type = 0;
    LONG result =
        RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<none>";
}

bool IsLink(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, ignored));
}

// --- Start, end and the board file ---

TEST(BoardsimLifetime, PublishesPortsAndSocketAndRemovesThemOnEitherSignal) {
    for (int signal_number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal_number);
        TempMachine machine;
        BoardsimProcess sim(machine.dir(),
                            R"({"boards":[{"bus":"pci","revision":"002","ports":2}]})");
        for (const char* port : {"dev/COM5", "dev/COM6"}) {
            ASSERT_TRUE(IsLink(machine.path(port))) << port;
            int fd = ::open(machine.path(port).c_str(), O_RDWR | O_NOCTTY);
            ASSERT_GE(fd, 0);
            EXPECT_TRUE(::isatty(fd));
            ::close(fd);
        }
        struct stat info {};
        ASSERT_EQ(::stat(machine.path("dev/tarvexpt.vxd").c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));

        EXPECT_EQ(sim.Stop(signal_number), 0) << sim.Errors();
        EXPECT_TRUE(std::filesystem::is_empty(machine.path("dev")));
        HANDLE driver = OpenDriver();
        EXPECT_EQ(driver, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST(BoardsimLifetime, RefusesBadBoardFilesNamingTheFaultAndCreatesNothing) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"boards":[{"bus":"pci",]})", "not valid JSON"},
        {R"({"boards":[{"bus":"eisa"}]})", "boards[0].bus"},
        {R"({"boards":[{"bus":"pci","ports":9}]})", "boards[0].ports"},
        {R"({"boards":[{"bus":"pci","ports":[{"faults":["loud"]}]}]})", "unknown fault \"loud\""},
        {R"({"boards":[{"bus":"pci","ports":[{"name":"COM1234567890123"}]}]})",
         "boards[0].ports[0].name"},
        {R"({"boards":[{"bus":"pci","ports":[{"name":"COM7"}]},
                       {"bus":"isa","ports":[{"name":"com7"}]}]})",
         "used twice"},
        {R"({"boards":[{"bus":"isa","revision":"001"}]})", "boards[0].revision"},
        {R"({"boards":[{"bus":"pci","port_count":2}]})", "unknown field \"port_count\""},
        {R"({"boards":[{"bus":"pci"},{"bus":"pci"},{"bus":"pci"},{"bus":"isa"},{"bus":"isa"}]})",
         "at most 4 boards"},
        {R"({"boards":[{"bus":"pci"},{"bus":"pci","instance":"BUS_00&DEV_0A&FUNC_00"}]})",
         "used by an earlier board"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        TempMachine machine;
        auto result = w95test::RunBoardsimToExit(machine.dir(), c.json);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        EXPECT_EQ(result.output.find("ready"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_empty(machine.path("dev")));
        EXPECT_TRUE(Subkeys("ENUM").empty());
    }
}

TEST(BoardsimLifetime, ASecondSimulatorOnTheSameMachineIsRefused) {
    TempMachine machine;
    BoardsimProcess first(machine.dir(),
                          R"({"boards":[{"bus":"pci","revision":"002","ports":1}]})");
    auto second = w95test::RunBoardsimToExit(machine.dir(), R"({"boards":[]})");
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.errors.find("another board simulator"), std::string::npos) << second.errors;
    // The first one still serves.
    EXPECT_EQ(ReadConfig().Boards[0].PortCount, 1u);
}

TEST(BoardsimLifetime, ReplacesTheSocketAndLinksOfASimulatorThatDied) {
    TempMachine machine;
    {
        BoardsimProcess crashed(machine.dir(), R"({"boards":[{"bus":"pci","ports":1}]})");
        crashed.Stop(SIGKILL);
    }
    ASSERT_TRUE(IsLink(machine.path("dev/COM5")));
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"002","ports":1}]})");
    ModemLine line(machine.path("dev/COM5"));
    EXPECT_EQ(line.Ask("ATI5\r"), kFirmwareReply);
}

// --- Enumerator keys and the driver's board numbering ---

TEST(BoardsimBoards, WritesEnumeratorKeysAndNumbersBoardsAsDetectionFindsThem) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({
      "modem_reset_delay": 7,
      "boards": [
        {"bus": "isa", "hardware_id": "TRVX1002M", "instance": "0003", "ports": 2},
        {"bus": "pci", "revision": "001", "ports": 3},
        {"bus": "pci", "modems": false, "ports": [{"name": "COM9"}]},
        {"bus": "pci", "revision": "002", "instance": "BUS_01&DEV_02&FUNC_00", "ports": 1},
        {"bus": "isa", "hardware_id": "ABC0001", "driver": false}
      ]})");

    // Device keys in order of first use; boards sharing one are found together.
    EXPECT_EQ(Subkeys("ENUM\\PCI"),
              (std::vector<std::string>{"VEN_1D2C&DEV_000C", "VEN_1D2C&DEV_0004"}));
    EXPECT_EQ(Subkeys("ENUM\\PCI\\VEN_1D2C&DEV_000C"),
              (std::vector<std::string>{"BUS_00&DEV_0A&FUNC_00", "BUS_01&DEV_02&FUNC_00"}));
    EXPECT_EQ(StringValue("ENUM\\PCI\\VEN_1D2C&DEV_000C\\BUS_00&DEV_0A&FUNC_00", "HWRevision"),
              "001");
    EXPECT_EQ(StringValue("ENUM\\PCI\\VEN_1D2C&DEV_000C\\BUS_01&DEV_02&FUNC_00", "HWRevision"),
              "002");
    EXPECT_EQ(StringValue("ENUM\\PCI\\VEN_1D2C&DEV_0004\\BUS_00&DEV_0B&FUNC_00", "HWRevision"),
              "<none>");
    EXPECT_EQ(Subkeys("ENUM\\ROOT\\MULTIFUNCTION"), (std::vector<std::string>{"0003", "0001"}));
    EXPECT_EQ(StringValue("ENUM\\ROOT\\MULTIFUNCTION\\0003", "HardwareID"), "TRVX1002M");
    EXPECT_EQ(StringValue("ENUM\\ROOT\\MULTIFUNCTION\\0001", "HardwareID"), "ABC0001");

    // PCI in detection order (000C's two instances, then 0004), then ISA; unnamed ports are
    // numbered from COM5 in that order, passing over COM9.
    DriverConfig config = ReadConfig();
    EXPECT_EQ(config.RecordSize, 540u);
    EXPECT_EQ(config.ModemResetDelay, 7u);
    const std::vector<std::vector<std::string>> expected = {
        {"COM5", "COM6", "COM7"}, {"COM8"}, {"COM9"}, {"COM10", "COM11"}};
    for (size_t b = 0; b < expected.size(); ++b) {
        SCOPED_TRACE(b);
        ASSERT_EQ(config.Boards[b].PortCount, expected[b].size());
        for (size_t p = 0; p < MAX_PORTS_PER_BOARD; ++p) {
            std::string name(config.Boards[b].PortNames[p],
                             strnlen(config.Boards[b].PortNames[p], 16));
            EXPECT_EQ(name, p < expected[b].size() ? expected[b][p] : "");
            if (p < expected[b].size()) {
                EXPECT_TRUE(IsLink(machine.path("dev/" + name))) << name;
            }
        }
    }
}

TEST(BoardsimBoards, RewritesItsInstanceKeysOnARestartWithoutDuplicates) {
    TempMachine machine;
    const char* file = R"({"boards":[{"bus":"pci","revision":"001","ports":1}]})";
    BoardsimProcess(machine.dir(), file).Stop();
    BoardsimProcess again(machine.dir(),
                          R"({"boards":[{"bus":"pci","revision":"002","ports":1}]})");
    EXPECT_EQ(Subkeys("ENUM\\PCI\\VEN_1D2C&DEV_000C"),
              std::vector<std::string>{"BUS_00&DEV_0A&FUNC_00"});
    EXPECT_EQ(StringValue("ENUM\\PCI\\VEN_1D2C&DEV_000C\\BUS_00&DEV_0A&FUNC_00", "HWRevision"),
              "002");
}

// --- The driver ---

TEST(BoardsimDriver, JournalsEveryRequestWithItsKeyAndHandleAndWritesTheKeyBack) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"002","ports":2},{"bus":"isa","ports":6}]})");
    HANDLE first = OpenDriver();
    HANDLE second = OpenDriver();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    // One key variable reused across a sequence, as the reset utility does.
    PortKey key = MAKE_PORT_KEY(1, 5);
    DWORD returned = 0;
    for (DWORD code : {DRV_MODEM_RESET_ON, DRV_MODEM_RESET_OFF, DRV_MODEM_INIT}) {
        EXPECT_TRUE(DeviceIoControl(second, code, &key, 4, &key, 4, &returned, nullptr));
        EXPECT_EQ(key, MAKE_PORT_KEY(1, 5));
        EXPECT_EQ(returned, 4u);
    }
    EXPECT_TRUE(PortRequest(first, DRV_BOARD_RESET, 0, 0));
    // Keys that name no port, and codes the driver does not know, fail and are journalled.
    EXPECT_FALSE(PortRequest(first, DRV_MODEM_RESET_ON, 0, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(PortRequest(first, DRV_MODEM_INIT, 3, 0));
    EXPECT_FALSE(PortRequest(first, 600, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(first);
    CloseHandle(second);

    std::vector<std::string> lines;
    for (auto event : DriverJournal(machine)) {
        EXPECT_TRUE(event.contains("t") && event.contains("pid"));
        event.erase("t");
        event.erase("pid");
        lines.push_back(event.dump());
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  R"({"board":1,"code":513,"event":"request","handle":2,"port":5})",
                  R"({"board":1,"code":514,"event":"request","handle":2,"port":5})",
                  R"({"board":1,"code":516,"event":"request","handle":2,"port":5})",
                  R"({"board":0,"code":517,"event":"request","handle":1,"port":0})",
                  R"({"board":0,"code":513,"error":87,"event":"request","handle":1,"port":2})",
                  R"({"board":3,"code":516,"error":87,"event":"request","handle":1,"port":0})",
                  R"({"code":600,"error":1,"event":"request","handle":1})",
              }));
    // The journal keeps the documented key order.
    std::string text = ReadFileText(machine.path("journal/driver.jsonl"));
    EXPECT_NE(text.find(R"("event":"request","code":513,"board":1,"port":5,"handle":2})"),
              std::string::npos)
        << text;
}

TEST(BoardsimDriver, GetConfigFailsWithTheConfiguredErrorAndLeavesTheRecordAlone) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"driver":{"get_config_error":31},
        "boards":[{"bus":"pci","revision":"002","ports":2}]})");
    HANDLE driver = OpenDriver();
    DriverConfig config;
    std::memset(&config, 0, sizeof(config));
    config.RecordSize = 540;
    DWORD returned = 0;
    EXPECT_FALSE(
        DeviceIoControl(driver, DRV_GET_CONFIG, &config, 540, &config, 540, &returned, nullptr));
    EXPECT_EQ(GetLastError(), 31u);
    EXPECT_EQ(config.Boards[0].PortCount, 0u);
    CloseHandle(driver);
    auto journal = DriverJournal(machine);
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["code"], 515);
    EXPECT_EQ(journal[0]["error"], 31);
}

// --- The modems ---

TEST(BoardsimModem, PowersOnWithFirmwareOrInBootRomByRevisionAndFault) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","ports":[{}, {"faults":["firmware_running"]}]},
        {"bus":"pci","revision":"002","device":"VEN_1D2C&DEV_000D","ports":1},
        {"bus":"isa","ports":[{"answer":"XYZ"}]}]})");
    struct Case {
        const char* port;
        std::string reply;
    };
    const Case cases[] = {{"COM5", kBootRomReply},
                          {"COM6", kFirmwareReply},
                          {"COM7", kFirmwareReply},
                          {"COM8", "ATI5\r\r\nXYZ\r\n\r\nOK\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        ModemLine line(machine.path(std::string("dev/") + c.port));
        EXPECT_EQ(line.Ask("ATI5\r"), c.reply);
        EXPECT_EQ(line.Ask("AT&F\r"), "AT&F\r\r\nOK\r\n");
    }
}

TEST(BoardsimModem, AnswersOnlyAt115200WithHandshake) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"002","ports":1}]})");
    auto device = machine.path("dev/COM5");
    EXPECT_EQ(ModemLine(device, B9600, true).Ask("ATI5\r"), "");
    EXPECT_EQ(ModemLine(device, B115200, false).Ask("ATI5\r"), "");
    EXPECT_EQ(ModemLine(device, B115200, true).Ask("ATI5\r"), kFirmwareReply);
}

TEST(BoardsimModem, DownloadsLoaderAndFirmwareAndKeepsThemAcrossResets) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":2}]})");
    ModemLine line(machine.path("dev/COM6"));
    ASSERT_EQ(line.Ask("ATI5\r"), kBootRomReply);

    // Large enough that the two skipped offsets lie inside it.
    std::string loader = Image(5000, 1);
    std::string firmware = Image(70000, 2);
    DownloadReplies replies = Download(line, loader, firmware);
    EXPECT_EQ(replies.initiated, "AT**\r\r\nDownload Initiated\r\n");
    EXPECT_EQ(replies.announced, "\r\nDownload Modem Firmware at 115.2K\r\n");
    std::string checksum = HexText(HostChecksum(firmware));
    EXPECT_EQ(replies.checksum, "\r\nChecksum: " + checksum);

    EXPECT_EQ(ReadFileText(machine.path("boards/b0p1.loader")), loader);
    EXPECT_EQ(ReadFileText(machine.path("boards/b0p1.firmware")), firmware);
    auto journal = DriverJournal(machine);
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0]["event"], "download");
    EXPECT_EQ(journal[0]["board"], 0);
    EXPECT_EQ(journal[0]["port"], 1);
    EXPECT_EQ(journal[0]["loader_bytes"], 5000);
    EXPECT_EQ(journal[0]["firmware_bytes"], 70000);
    EXPECT_EQ(journal[0]["checksum"], checksum);
    EXPECT_FALSE(journal[0].contains("reported"));

    EXPECT_EQ(line.Ask("ATI5\r"), kFirmwareReply);
    // The firmware lives in RAM that survives a reset pulse and a board reset.
    HANDLE driver = OpenDriver();
    EXPECT_TRUE(PortRequest(driver, DRV_MODEM_RESET_ON, 0, 1));
    EXPECT_TRUE(PortRequest(driver, DRV_MODEM_RESET_OFF, 0, 1));
    EXPECT_EQ(line.Ask("ATI5\r"), kFirmwareReply);
    EXPECT_TRUE(PortRequest(driver, DRV_BOARD_RESET, 0, 0));
    EXPECT_EQ(line.Ask("ATI5\r"), kFirmwareReply);
    CloseHandle(driver);
    // The other port of the board never got one.
    EXPECT_EQ(ModemLine(machine.path("dev/COM5")).Ask("ATI5\r"), kBootRomReply);
}

TEST(BoardsimModem, SkipsTheTwoChecksumOffsetsAndAcceptsEmptyImages) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":4}]})");
    std::string base(65473, '\x01');
    std::string skipped_changed = base;
    skipped_changed[65470] = '\xF0';
    skipped_changed[65471] = '\x0F';
    std::string neighbour_changed = base;
    neighbour_changed[65472] = '\x02';
    struct Case {
        const char* port;
        std::string loader;
        std::string firmware;
        std::string checksum;
    };
    // 0x8000 + 65471 counted bytes of 1 = 0x17FBF; the empty firmware reports 0x8000. An empty
    // image arrives as no bytes at all: the stage ends after its wait for a first byte.
    const Case cases[] = {{"COM5", "L", skipped_changed, "7FBF"},
                          {"COM6", "L", neighbour_changed, "7FC0"},
                          {"COM7", "L", "", "8000"},
                          {"COM8", "", "\x01", "8001"}};
    const size_t kCases = sizeof(cases) / sizeof(cases[0]);
    std::vector<std::thread> hosts;
    std::vector<DownloadReplies> replies(kCases);
    for (size_t i = 0; i < kCases; ++i) {
        hosts.emplace_back([&, i] {
            ModemLine line(machine.path(std::string("dev/") + cases[i].port));
            replies[i] = Download(line, cases[i].loader, cases[i].firmware);
        });
    }
    for (auto& host : hosts)
        host.join();
    for (size_t i = 0; i < kCases; ++i) {
        SCOPED_TRACE(cases[i].port);
        EXPECT_EQ(replies[i].announced, "\r\nDownload Modem Firmware at 115.2K\r\n");
        EXPECT_EQ(replies[i].checksum, "\r\nChecksum: " + cases[i].checksum);
    }
}

TEST(BoardsimModem, LoaderBytesRightBehindTheDownloadCommandArePartOfTheLoader) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":1}]})");
    ModemLine line(machine.path("dev/COM5"));
    std::string loader = Image(3000, 9);
    line.Send("AT**\r" + loader);
    std::string replies = line.Read(milliseconds(9000), "115.2K\r\n");
    EXPECT_EQ(replies, "AT**\r\r\nDownload Initiated\r\n\r\nDownload Modem Firmware at 115.2K\r\n");
    EXPECT_EQ(ReadFileText(machine.path("boards/b0p0.loader")), loader);
}

TEST(BoardsimModem, HeldInResetIsSilentAndDropsADownloadInProgress) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":[{"faults":["firmware_running"]}]}]})");
    ModemLine line(machine.path("dev/COM5"));
    HANDLE driver = OpenDriver();
    ASSERT_TRUE(PortRequest(driver, DRV_MODEM_RESET_ON, 0, 0));
    EXPECT_EQ(line.Ask("ATI5\r"), "");
    ASSERT_TRUE(PortRequest(driver, DRV_MODEM_RESET_OFF, 0, 0));
    EXPECT_EQ(line.Ask("ATI5\r"), kFirmwareReply);

    // "AT**" clears the RAM; a reset before the firmware is complete leaves the boot ROM, and
    // the loader bytes sent so far count for nothing.
    line.Send("AT**\r");
    EXPECT_NE(line.Read(milliseconds(3000), "Download Initiated\r\n").find("Initiated"),
              std::string::npos);
    line.Send("partial loader");
    std::this_thread::sleep_for(milliseconds(50));
    ASSERT_TRUE(PortRequest(driver, DRV_MODEM_RESET_ON, 0, 0));
    ASSERT_TRUE(PortRequest(driver, DRV_MODEM_RESET_OFF, 0, 0));
    EXPECT_EQ(line.Ask("ATI5\r"), kBootRomReply);
    CloseHandle(driver);
    EXPECT_FALSE(std::filesystem::exists(machine.path("boards/b0p0.loader")));
}

TEST(BoardsimModem, FaultsChangeWhatTheProbeSees) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"002","ports":[
        {"faults":["silent"]}, {"faults":["garbage"]}, {"faults":["no_echo"]},
        {"faults":["long_answer"]}, {"modem":false}]}]})");
    struct Case {
        const char* port;
        std::string reply;
    };
    const Case cases[] = {{"COM5", ""},
                          {"COM7", "\r\n105\r\n\r\nOK\r\n"},
                          {"COM8", "ATI5\r\r\n1050\r\n\r\nOK\r\n"},
                          {"COM9", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(ModemLine(machine.path(std::string("dev/") + c.port)).Ask("ATI5\r"), c.reply);
    }
    std::string noise = ModemLine(machine.path("dev/COM6")).Ask("ATI5\r");
    EXPECT_EQ(noise.size(), kFirmwareReply.size());
    EXPECT_EQ(noise.find_first_of("\r\nOK"), std::string::npos) << noise;
}

TEST(BoardsimModem, SlowModemAnswersOnlyAfterItsDelay) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"002",
        "ports":[{"faults":["slow"],"slow_ms":1500}]}]})");
    ModemLine line(machine.path("dev/COM5"));
    auto start = Clock::now();
    line.Send("ATI5\r");
    std::string reply = line.Read(milliseconds(6000), "OK\r\n");
    EXPECT_GE(Clock::now() - start, milliseconds(1500));
    EXPECT_EQ(reply, kFirmwareReply);
}

TEST(BoardsimModem, CtsHeldLowStopsTakingBytesSoWritesStall) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"002",
        "ports":[{"faults":["cts_low"]}, {}]}]})");
    // Bytes the port takes before `limit` passes, stopping once `target` is reached.
    auto accepted = [&](const char* port, size_t target, milliseconds limit) {
        ModemLine line(machine.path(std::string("dev/") + port));
        ::fcntl(line.fd(), F_SETFL, ::fcntl(line.fd(), F_GETFL) | O_NONBLOCK);
        std::string chunk(4096, 'x');
        size_t total = 0;
        auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline && total < target) {
            ssize_t n = ::write(line.fd(), chunk.data(), chunk.size());
            if (n > 0) {
                total += static_cast<size_t>(n);
            } else {
                std::this_thread::sleep_for(milliseconds(5));
            }
        }
        return total;
    };
    // The pty queues about 20 KiB; after that nothing more goes.
    size_t stalled = accepted("COM5", 1u << 20, milliseconds(1500));
    EXPECT_GT(stalled, 0u);
    EXPECT_LT(stalled, 128u * 1024u);
    // The healthy port keeps taking bytes far beyond that.
    EXPECT_GE(accepted("COM6", 512u * 1024u, milliseconds(30000)), 512u * 1024u);
}

TEST(BoardsimModem, ChecksumReplyVariantsAndWrongChecksum) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"001",
        "quiet_ms":300,"ports":[{}, {"faults":["checksum_leading_zero"]},
        {"faults":["checksum_trailing_text"]}, {"faults":["wrong_checksum"]}]}]})");
    // 139 bytes of 0xFF and one of 0x47 give the three-digit checksum 0xABC.
    std::string firmware = std::string(139, '\xFF') + '\x47';
    ASSERT_EQ(HostChecksum(firmware), 0xABCu);
    struct Case {
        const char* port;
        std::string checksum_reply;
        std::string probe_after;
    };
    const Case cases[] = {
        {"COM5", "\r\nChecksum: ABC", kFirmwareReply},
        {"COM6", "\r\nChecksum: 0ABC", kFirmwareReply},
        {"COM7", "\r\nChecksum: ABC\r\n", kFirmwareReply},
        {"COM8", "\r\nChecksum: ABD", kBootRomReply},
    };
    std::vector<std::thread> hosts;
    std::vector<std::string> replies(4), probes(4);
    for (size_t i = 0; i < 4; ++i) {
        hosts.emplace_back([&, i] {
            ModemLine line(machine.path(std::string("dev/") + cases[i].port));
            replies[i] = Download(line, "loader", firmware).checksum;
            probes[i] = line.Ask("ATI5\r");
        });
    }
    for (auto& host : hosts)
        host.join();
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(cases[i].port);
        EXPECT_EQ(replies[i], cases[i].checksum_reply);
        EXPECT_EQ(probes[i], cases[i].probe_after);
    }
    // The journal gives the firmware's checksum, and what was reported when it differs.
    int downloads = 0;
    for (const auto& event : DriverJournal(machine)) {
        if (event["event"] != "download")
            continue;
        ++downloads;
        EXPECT_EQ(event["checksum"], "ABC");
        if (event["port"] == 3) {
            EXPECT_EQ(event["reported"], "ABD");
        } else if (event["port"] == 0) {
            EXPECT_FALSE(event.contains("reported"));
        }
    }
    EXPECT_EQ(downloads, 4);
}

TEST(BoardsimModem, PacedLineTakesItsBytesNoFasterThan115200Bits) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[{"bus":"pci","revision":"001",
        "quiet_ms":300,"pacing":true,"ports":1}]})");
    ModemLine line(machine.path("dev/COM5"));
    line.Send("AT**\r");
    ASSERT_NE(line.Read(milliseconds(3000), "Initiated\r\n").find("Initiated"), std::string::npos);
    std::string loader = Image(11520, 7);  // one second of line time
    auto start = Clock::now();
    line.Send(loader);
    std::string announced = line.Read(milliseconds(9000), "115.2K\r\n");
    // One second of bytes, then the quiet that ends the transfer.
    EXPECT_GE(Clock::now() - start, milliseconds(1000 + 300 - 10));
    EXPECT_EQ(announced, "\r\nDownload Modem Firmware at 115.2K\r\n");
    EXPECT_EQ(ReadFileText(machine.path("boards/b0p0.loader")), loader);
}

TEST(BoardsimModem, ManyPortsDownloadAtOnceWithoutCrossTalk) {
    TempMachine machine;
    BoardsimProcess sim(machine.dir(), R"({"boards":[
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":4},
        {"bus":"pci","revision":"001","quiet_ms":300,"ports":4}]})");
    const size_t kPorts = 8;
    std::vector<std::string> checksums(kPorts);
    std::vector<std::thread> hosts;
    for (size_t i = 0; i < kPorts; ++i) {
        hosts.emplace_back([&, i] {
            // Each host has its own driver handle and pulses its own modem's reset first.
            HANDLE driver = OpenDriver();
            PortRequest(driver, DRV_MODEM_RESET_ON, static_cast<DWORD>(i / 4), i % 4);
            PortRequest(driver, DRV_MODEM_RESET_OFF, static_cast<DWORD>(i / 4), i % 4);
            CloseHandle(driver);
            ModemLine line(machine.path("dev/COM" + std::to_string(5 + i)));
            checksums[i] =
                Download(line, Image(3000 + i, 100 + i), Image(20000 + i, 200 + i)).checksum;
        });
    }
    for (auto& host : hosts)
        host.join();
    for (size_t i = 0; i < kPorts; ++i) {
        SCOPED_TRACE(i);
        std::string stem = "boards/b" + std::to_string(i / 4) + "p" + std::to_string(i % 4);
        EXPECT_EQ(ReadFileText(machine.path(stem + ".loader")), Image(3000 + i, 100 + i));
        EXPECT_EQ(ReadFileText(machine.path(stem + ".firmware")), Image(20000 + i, 200 + i));
        EXPECT_EQ(checksums[i],
                  "\r\nChecksum: " + HexText(HostChecksum(Image(20000 + i, 200 + i))));
    }
    std::set<int> handles;
    for (const auto& event : DriverJournal(machine)) {
        if (event["event"] == "request")
            handles.insert(event["handle"].get<int>());
    }
    EXPECT_EQ(handles.size(), kPorts);
}

}  // namespace
