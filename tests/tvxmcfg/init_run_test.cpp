// The modem initialisation run against the board simulator: the images and their checksum, which
// ports get a worker, how failed ports are reported, and the driver requests of the board reset
// and the re-initialisation with their waits. Each scenario runs in a child process with a
// machine of its own, side by side with the others.
#include "download_scenario.h"
#include "tvxmcfg_state.h"

#include "comm.h"
#include "port_worker.h"
#include "tvxmcfg.h"
#include "ui_journal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <tuple>

namespace {

using scenario::Json;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The checksum of the firmware image.

DWORD Checksum(const std::string& image) {
    return ComputeFirmwareChecksum(reinterpret_cast<const BYTE*>(image.data()),
                                   static_cast<DWORD>(image.size()));
}

TEST(FirmwareChecksum, SumsEveryByteButTwoFromHalfTheRange) {
    std::string big(65536, '\0');
    auto with = [&](size_t offset, char value) {
        std::string image = big;
        image[offset] = value;
        return image;
    };
    struct Case {
        const char* what;
        std::string image;
        DWORD checksum;
    };
    const Case cases[] = {
        {"empty image", "", 0x8000},
        {"one byte", "\x01", 0x8001},
        {"bytes count as unsigned", "\xFF\xFF", 0x8000 + 0x1FE},
        {"sum wraps at 65536", std::string(129, '\xFF'), (0x8000 + 129 * 0xFF) & 0xFFFF},
        {"image of exactly 65470 bytes", std::string(65470, '\x01'), (0x8000 + 65470) & 0xFFFF},
        {"byte before the skipped two", with(65469, '\x10'), 0x8010},
        {"first skipped byte", with(65470, '\x10'), 0x8000},
        {"second skipped byte", with(65471, '\x10'), 0x8000},
        {"byte after the skipped two", with(65472, '\x10'), 0x8010},
        {"last byte of 64 KiB", with(65535, '\x10'), 0x8010},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Checksum(c.image), c.checksum);
    }
    // The built firmware is longer than the skipped offsets, so they matter for it.
    std::string firmware = scenario::BuiltImage("nvnmdmfw.tm");
    ASSERT_GT(firmware.size(), 65471u);
    std::string changed = firmware;
    changed[65470] = static_cast<char>(changed[65470] + 1);
    changed[65471] = static_cast<char>(changed[65471] + 7);
    EXPECT_EQ(Checksum(changed), Checksum(firmware));
}

// ---------------------------------------------------------------------------------------------
// Scenarios.

std::string BuiltLoader() {
    return scenario::BuiltImage("nvnmdmld.tm");
}
std::string BuiltFirmware() {
    return scenario::BuiltImage("nvnmdmfw.tm");
}

// The program's state as the entry leaves it, with `flags` as detection's BoardNeedsFirmware.
void PrepareProgram(std::initializer_list<BYTE> flags) {
    ResetProgramState();
    size_t board = 0;
    for (BYTE flag : flags)
        BoardNeedsFirmware[board++] = flag;
    w95test::AnswerMessageBoxesWithDefaults();
}

std::vector<Json> MessageBoxes(const fs::path& machine) {
    std::vector<Json> boxes;
    for (const auto& event : scenario::Journal(machine, "ui")) {
        if (event.value("event", "") == "messagebox")
            boxes.push_back(event);
    }
    return boxes;
}

// The driver requests from the `from`-th on, as (code, board, port).
using Request = std::tuple<int, int, int>;
std::vector<Request> RequestsFrom(const fs::path& machine, size_t from) {
    std::vector<Request> requests;
    auto all = scenario::DriverRequests(machine);
    for (size_t i = from; i < all.size(); ++i) {
        requests.emplace_back(all[i].value("code", 0), all[i].value("board", -1),
                              all[i].value("port", -1));
    }
    return requests;
}

// Journal time of the first request at or after `from` with `code`, and of the last one.
uint64_t FirstTime(const fs::path& machine, size_t from, int code) {
    auto all = scenario::DriverRequests(machine);
    for (size_t i = from; i < all.size(); ++i) {
        if (all[i].value("code", 0) == code)
            return all[i]["t"].get<uint64_t>();
    }
    ADD_FAILURE() << "no request " << code;
    return 0;
}
uint64_t LastTime(const fs::path& machine, size_t from, int code) {
    auto all = scenario::DriverRequests(machine);
    uint64_t last = 0;
    for (size_t i = from; i < all.size(); ++i) {
        if (all[i].value("code", 0) == code)
            last = all[i]["t"].get<uint64_t>();
    }
    EXPECT_NE(last, 0u) << "no request " << code;
    return last;
}

std::string FailedPortText(const std::string& port, const std::string& code) {
    return "The TarvexModem on port " + port +
           " is failing\nto respond properly.  Applications that\nuse this port may not "
           "function properly.\n\nRun the TarvexModem diagnostics program\nfor additional "
           "testing and information.\n\n(error code = " +
           code + ")";
}

// The failed-port box for `port`; the system error after the point is checked when given.
void ExpectFailedPortBox(const Json& box, const std::string& port, int code,
                         std::optional<int> error = std::nullopt) {
    EXPECT_EQ(box["caption"], "TarvexModem Error : " + port);
    EXPECT_EQ(box["style"], MB_OK);
    EXPECT_EQ(box["owner"], false);
    std::string text = box["text"].get<std::string>();
    if (error) {
        EXPECT_EQ(text, FailedPortText(port, std::to_string(code) + "." + std::to_string(*error)));
    } else {
        std::string stem = FailedPortText(port, std::to_string(code) + ".");
        EXPECT_EQ(text.substr(0, stem.size() - 1), stem.substr(0, stem.size() - 1)) << text;
        EXPECT_EQ(text.back(), ')');
    }
}

TEST(InitializeModems, ReadsBothImagesFirst) {
    struct Case {
        const char* what;
        bool loader;
        bool firmware;
        int result;
    };
    const Case cases[] = {
        {"loader missing", false, true, 3},
        {"both missing", false, false, 3},
        {"firmware missing", true, false, 4},
        {"both present, no board flagged", true, true, 0},
    };
    std::vector<scenario::CaseBody> bodies;
    for (const auto& c : cases) {
        bodies.push_back([&c](const fs::path& machine) {
            w95test::BoardsimProcess sim(
                machine, R"({"boards":[{"bus":"pci","revision":"001","ports":2}]})");
            fs::path folder = machine / "c" / "WINDOWS" / "SYSTEM" / "tarvex";
            if (c.loader)
                scenario::WriteFileBytes(folder / "nvnmdmld.tm", BuiltLoader());
            if (c.firmware)
                scenario::WriteFileBytes(folder / "nvnmdmfw.tm", BuiltFirmware());
            PrepareProgram({0, 0, 0, 0});
            DriverConfig config;
            GetDriverConfig(&config);
            return Json{{"result", InitializeModems(config)}};
        });
    }
    auto batch = scenario::RunCases(bodies);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        const Json& outcome = batch[i].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["result"], cases[i].result);
        // No worker ran: the modems saw no request, and nothing was reported.
        EXPECT_EQ(RequestsFrom(batch[i].machine, 0),
                  (std::vector<Request>{{DRV_GET_CONFIG, -1, -1}}));
        EXPECT_TRUE(MessageBoxes(batch[i].machine).empty());
    }
}

// Three boards of revision "001": board 0 with four ports, the second silent, the third without
// a name in the record; board 1 with a flag of 2; board 2 with a silent port and one whose name
// leads nowhere.
const char kThreeBoards[] = R"({"modem_reset_delay":5,"boards":[
    {"bus":"pci","revision":"001","ports":[{},{"faults":["silent"]},{},{}]},
    {"bus":"pci","revision":"001","ports":2},
    {"bus":"pci","revision":"001","ports":[{"faults":["silent"]},{}]}]})";

Json ServeThreeBoards(const fs::path& machine) {
    w95test::BoardsimProcess sim(machine, kThreeBoards);
    scenario::InstallImages(machine, BuiltLoader(), BuiltFirmware());
    PrepareProgram({1, 2, 1, 0});
    DriverConfig config;
    GetDriverConfig(&config);
    config.Boards[0].PortNames[2][0] = '\0';
    lstrcpyA(config.Boards[2].PortNames[1], "COM99");
    Json outcome;
    outcome["result"] = InitializeModems(config);
    outcome["before_reset"] = scenario::DriverRequests(machine).size();
    outcome["reset"] = ResetFirmwareBoards(config);
    outcome["before_reinit"] = scenario::DriverRequests(machine).size();
    outcome["reinit"] = ReinitializeModems(config);
    return outcome;
}

// The modems were given no firmware of the board's own: an empty image, checksum 0x8000.
Json ServeEmptyFirmware(const fs::path& machine) {
    w95test::BoardsimProcess sim(machine,
                                 R"({"boards":[{"bus":"pci","revision":"001","ports":1}]})");
    scenario::InstallImages(machine, BuiltLoader(), "");
    PrepareProgram({1});
    DriverConfig config;
    GetDriverConfig(&config);
    return Json{{"result", InitializeModems(config)}};
}

TEST(InitializeModems, ServesFlaggedBoardsAndReportsFailedPortsInOrder) {
    auto batch = scenario::RunCases({ServeThreeBoards, ServeEmptyFirmware});

    {
        SCOPED_TRACE("three boards");
        const fs::path& machine = batch[0].machine;
        const Json& outcome = batch[0].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["result"], 0);

        // Downloads for the two healthy named ports of board 0 only.
        std::vector<std::pair<int, int>> downloaded;
        for (const auto& event : scenario::Journal(machine, "driver")) {
            if (event.value("event", "") != "download")
                continue;
            downloaded.emplace_back(event["board"], event["port"]);
            EXPECT_EQ(event["checksum"], [] {
                char hex[8];
                std::snprintf(hex, sizeof(hex), "%X", unsigned(Checksum(BuiltFirmware())));
                return std::string(hex);
            }());
            EXPECT_FALSE(event.contains("reported"));
        }
        std::sort(downloaded.begin(), downloaded.end());
        EXPECT_EQ(downloaded, (std::vector<std::pair<int, int>>{{0, 0}, {0, 3}}));
        // The workers pulsed the reset of the ports they downloaded to, nothing else.
        std::vector<Request> worker_requests = RequestsFrom(machine, 1);
        worker_requests.resize(outcome["before_reset"].get<size_t>() - 1);
        std::sort(worker_requests.begin(), worker_requests.end());
        EXPECT_EQ(worker_requests, (std::vector<Request>{{DRV_MODEM_RESET_ON, 0, 0},
                                                         {DRV_MODEM_RESET_ON, 0, 3},
                                                         {DRV_MODEM_RESET_OFF, 0, 0},
                                                         {DRV_MODEM_RESET_OFF, 0, 3}}));

        // One box per failed port, in service order: board 0 port 1, board 2 ports 0 and 1.
        auto boxes = MessageBoxes(machine);
        ASSERT_EQ(boxes.size(), 3u);
        ExpectFailedPortBox(boxes[0], "COM6", WORKER_PROBE_REPLY);
        ExpectFailedPortBox(boxes[1], "COM11", WORKER_PROBE_REPLY);
        ExpectFailedPortBox(boxes[2], "COM99", WORKER_PORT_OPEN, ERROR_FILE_NOT_FOUND);

        // The board reset: flagged boards only, every port up to the count, the empty name too.
        size_t before_reset = outcome["before_reset"];
        size_t before_reinit = outcome["before_reinit"];
        std::vector<Request> reset = RequestsFrom(machine, before_reset);
        reset.resize(before_reinit - before_reset);
        EXPECT_EQ(reset, (std::vector<Request>{{DRV_BOARD_RESET, 0, 0},
                                               {DRV_MODEM_RESET_ON, 0, 0},
                                               {DRV_MODEM_RESET_ON, 0, 1},
                                               {DRV_MODEM_RESET_ON, 0, 2},
                                               {DRV_MODEM_RESET_ON, 0, 3},
                                               {DRV_MODEM_RESET_OFF, 0, 0},
                                               {DRV_MODEM_RESET_OFF, 0, 1},
                                               {DRV_MODEM_RESET_OFF, 0, 2},
                                               {DRV_MODEM_RESET_OFF, 0, 3},
                                               {DRV_BOARD_RESET, 2, 0},
                                               {DRV_MODEM_RESET_ON, 2, 0},
                                               {DRV_MODEM_RESET_ON, 2, 1},
                                               {DRV_MODEM_RESET_OFF, 2, 0},
                                               {DRV_MODEM_RESET_OFF, 2, 1}}));
        // Each board's modems are held in reset for 40 ms.
        auto all = scenario::DriverRequests(machine);
        EXPECT_GE(all[before_reset + 5]["t"].get<uint64_t>(),
                  all[before_reset + 4]["t"].get<uint64_t>() + 40);
        EXPECT_GE(all[before_reset + 12]["t"].get<uint64_t>(),
                  all[before_reset + 11]["t"].get<uint64_t>() + 40);

        // Re-initialisation: every port of every board, no flag or name consulted, the first
        // after ModemResetDelay x 100 ms.
        EXPECT_EQ(RequestsFrom(machine, before_reinit),
                  (std::vector<Request>{{DRV_MODEM_INIT, 0, 0},
                                        {DRV_MODEM_INIT, 0, 1},
                                        {DRV_MODEM_INIT, 0, 2},
                                        {DRV_MODEM_INIT, 0, 3},
                                        {DRV_MODEM_INIT, 1, 0},
                                        {DRV_MODEM_INIT, 1, 1},
                                        {DRV_MODEM_INIT, 2, 0},
                                        {DRV_MODEM_INIT, 2, 1}}));
        EXPECT_GE(FirstTime(machine, before_reinit, DRV_MODEM_INIT),
                  LastTime(machine, before_reset, DRV_MODEM_RESET_OFF) + 500);
    }
    {
        SCOPED_TRACE("empty firmware");
        const Json& outcome = batch[1].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["result"], 0);
        EXPECT_TRUE(MessageBoxes(batch[1].machine).empty());
        auto events = scenario::Journal(batch[1].machine, "driver");
        auto download = std::find_if(events.begin(), events.end(), [](const Json& event) {
            return event.value("event", "") == "download";
        });
        ASSERT_NE(download, events.end());
        EXPECT_EQ((*download)["firmware_bytes"], 0);
        EXPECT_EQ((*download)["checksum"], "8000");
    }
}

// ---------------------------------------------------------------------------------------------
// The driver sequences without a download.

Json ResetWithoutDelay(const fs::path& machine) {
    w95test::BoardsimProcess sim(
        machine, R"({"modem_reset_delay":0,"boards":[{"bus":"pci","revision":"001","ports":2}]})");
    PrepareProgram({1});
    DriverConfig config;
    GetDriverConfig(&config);
    Json outcome;
    outcome["before_reset"] = scenario::DriverRequests(machine).size();
    ResetFirmwareBoards(config);
    ReinitializeModems(config);
    // A record as sent, every count 0: the board reset alone, and no port request.
    DriverConfig empty;
    ZeroMemory(&empty, sizeof(empty));
    empty.RecordSize = DRIVER_CONFIG_SIZE;
    PrepareProgram({1, 0, 1});
    outcome["before_empty"] = scenario::DriverRequests(machine).size();
    ResetFirmwareBoards(empty);
    ReinitializeModems(empty);
    return outcome;
}

Json NoDriver(const fs::path&) {
    PrepareProgram({1});
    DriverConfig config;
    std::memset(&config, 0xA5, sizeof(config));
    GetDriverConfig(&config);
    Json outcome;
    outcome["untouched"] = true;
    for (size_t i = 0; i < sizeof(config); ++i) {
        if (reinterpret_cast<const BYTE*>(&config)[i] != 0xA5)
            outcome["untouched"] = false;
    }
    DriverConfig board;
    ZeroMemory(&board, sizeof(board));
    board.ModemResetDelay = 100;  // ten seconds, were it waited
    board.Boards[0].PortCount = 2;
    lstrcpyA(board.Boards[0].PortNames[0], "COM5");
    lstrcpyA(board.Boards[0].PortNames[1], "COM6");
    uint64_t start = w95::MachineMillis();
    outcome["reset"] = ResetFirmwareBoards(board);
    outcome["reinit"] = ReinitializeModems(board);
    outcome["elapsed"] = w95::MachineMillis() - start;
    return outcome;
}

TEST(DriverSequences, BoardResetAndReinitialisation) {
    auto batch = scenario::RunCases({ResetWithoutDelay, NoDriver});
    {
        SCOPED_TRACE("no delay");
        const fs::path& machine = batch[0].machine;
        const Json& outcome = batch[0].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        size_t before_reset = outcome["before_reset"];
        size_t before_empty = outcome["before_empty"];
        std::vector<Request> requests = RequestsFrom(machine, before_reset);
        EXPECT_EQ(requests, (std::vector<Request>{{DRV_BOARD_RESET, 0, 0},
                                                  {DRV_MODEM_RESET_ON, 0, 0},
                                                  {DRV_MODEM_RESET_ON, 0, 1},
                                                  {DRV_MODEM_RESET_OFF, 0, 0},
                                                  {DRV_MODEM_RESET_OFF, 0, 1},
                                                  {DRV_MODEM_INIT, 0, 0},
                                                  {DRV_MODEM_INIT, 0, 1},
                                                  {DRV_BOARD_RESET, 0, 0},
                                                  {DRV_BOARD_RESET, 2, 0}}));
        EXPECT_EQ(before_empty - before_reset, 7u);
        // With a delay of 0 nothing is waited: far less than a second, where 5 gave 500 ms.
        EXPECT_LT(FirstTime(machine, before_reset, DRV_MODEM_INIT),
                  LastTime(machine, before_reset, DRV_MODEM_RESET_OFF) + 1000);
    }
    {
        SCOPED_TRACE("no driver");
        const fs::path& machine = batch[1].machine;
        const Json& outcome = batch[1].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["untouched"], true);
        EXPECT_EQ(outcome["reset"], -1);
        EXPECT_EQ(outcome["reinit"], -1);
        EXPECT_LT(outcome["elapsed"].get<uint64_t>(), 5000u);  // the 10 s delay was not waited
        auto boxes = MessageBoxes(machine);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]["caption"], "TvxMCfg");
        EXPECT_EQ(boxes[0]["text"],
                  "   Failed to intialize TarvexPort driver.\n\nThe TarvexModem boards may not be "
                  "properly\n   configured with country information.");
        EXPECT_EQ(boxes[0]["style"], MB_OK);
        EXPECT_TRUE(scenario::Journal(machine, "driver").empty());
    }
}

// ---------------------------------------------------------------------------------------------
// A whole board at once.

// What a modem answers to the probe now, asked over its line as any host would.
std::string Probe(const fs::path& device) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return "(cannot open)";
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B115200);
    settings.c_cflag |= CRTSCTS | CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &settings);
    ::tcflush(fd, TCIFLUSH);
    std::string reply;
    if (::write(fd, "ATI5\r", 5) == 5) {
        auto deadline = scenario::Clock::now() + std::chrono::milliseconds(2000);
        while (reply.size() < 18 && scenario::Clock::now() < deadline) {
            pollfd entry{fd, POLLIN, 0};
            char buffer[64];
            if (::poll(&entry, 1, 20) > 0) {
                ssize_t n = ::read(fd, buffer, sizeof(buffer));
                if (n > 0)
                    reply.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    ::close(fd);
    return reply;
}

// The least time one port's download takes: the waits it prescribes.
constexpr uint64_t kPrescribedWaitsMs = 2000 + 20 + 20 + 3000 + 2000;

Json ServeEightPorts(const fs::path& machine) {
    w95test::BoardsimProcess sim(machine,
                                 R"({"boards":[{"bus":"pci","revision":"001","ports":8}]})");
    scenario::InstallImages(machine, BuiltLoader(), BuiltFirmware());
    PrepareProgram({1});
    DriverConfig config;
    GetDriverConfig(&config);
    uint64_t start = w95::MachineMillis();
    Json outcome;
    outcome["result"] = InitializeModems(config);
    outcome["elapsed"] = w95::MachineMillis() - start;
    for (int port = 0; port < 8; ++port)
        outcome["probes"].push_back(Probe(machine / "dev" / config.Boards[0].PortNames[port]));
    return outcome;
}

// Two boards whose modems run their firmware, so the workers only probe; the record claims 12
// ports for board 0, whose name table has 8: the next board's bytes follow it.
Json ServeTwelveClaimedPorts(const fs::path& machine) {
    w95test::BoardsimProcess sim(machine, R"({"boards":[
        {"bus":"pci","revision":"002","ports":8},{"bus":"pci","revision":"002","ports":8}]})");
    scenario::InstallImages(machine, BuiltLoader(), BuiltFirmware());
    PrepareProgram({1, 1});
    DriverConfig config;
    GetDriverConfig(&config);
    config.Boards[0].PortCount = 12;
    std::mutex mutex;
    std::set<std::string> probed;
    w95::SetCommWriteObserver([&](const std::string& port, DWORD) {
        std::lock_guard lock(mutex);
        probed.insert(port);
    });
    Json outcome;
    outcome["result"] = InitializeModems(config);
    w95::SetCommWriteObserver(nullptr);
    outcome["probed"] = probed;
    outcome["before_reset"] = scenario::DriverRequests(machine).size();
    ResetFirmwareBoards(config);
    ReinitializeModems(config);
    return outcome;
}

TEST(InitializeModems, ServesAWholeBoardAtOnce) {
    auto batch = scenario::RunCases({ServeEightPorts, ServeTwelveClaimedPorts});
    {
        SCOPED_TRACE("eight ports");
        const Json& outcome = batch[0].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["result"], 0);
        EXPECT_TRUE(MessageBoxes(batch[0].machine).empty());
        for (const auto& probe : outcome["probes"])
            EXPECT_EQ(probe, "ATI5\r\r\n105\r\n\r\nOK\r\n");  // firmware running on every modem
        int downloads = 0;
        for (const auto& event : scenario::Journal(batch[0].machine, "driver"))
            downloads += event.value("event", "") == "download";
        EXPECT_EQ(downloads, 8);
        uint64_t elapsed = outcome["elapsed"];
        std::printf("8 ports served in %llu ms; one port's prescribed waits: %llu ms\n",
                    static_cast<unsigned long long>(elapsed),
                    static_cast<unsigned long long>(kPrescribedWaitsMs));
        // One after another they would need eight times the waits at the least.
        EXPECT_LT(elapsed, 4 * kPrescribedWaitsMs);
    }
    {
        SCOPED_TRACE("PortCount 12");
        const fs::path& machine = batch[1].machine;
        const Json& outcome = batch[1].outcome;
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["result"], 0);
        EXPECT_TRUE(MessageBoxes(machine).empty());  // no worker met a name past the table
        std::set<std::string> ports;
        for (int n = 5; n <= 20; ++n)
            ports.insert("COM" + std::to_string(n));
        EXPECT_EQ(outcome["probed"].get<std::set<std::string>>(), ports);
        std::vector<Request> expected;
        for (int board : {0, 1}) {
            expected.emplace_back(DRV_BOARD_RESET, board, 0);
            for (int code : {DRV_MODEM_RESET_ON, DRV_MODEM_RESET_OFF}) {
                for (int port = 0; port < 8; ++port)
                    expected.emplace_back(code, board, port);
            }
        }
        for (int board : {0, 1}) {
            for (int port = 0; port < 8; ++port)
                expected.emplace_back(DRV_MODEM_INIT, board, port);
        }
        EXPECT_EQ(RequestsFrom(machine, outcome["before_reset"]), expected);
    }
}

}  // namespace
