// The per-port download worker: its reply search and checksum comparison as units, then the
// worker on its own thread against one modem in a machine of its own: an emulated board's modem,
// or a scripted modem on a pty of the test's for the faults a board cannot show (a line that
// hangs up or stops taking bytes at a chosen point, an odd reply). Scenario cases run side by
// side, each in its own child process.
#include "download_scenario.h"

#include "comm.h"
#include "port_worker.h"
#include "tvxmcfg.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

using scenario::Json;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Units: the reply search and the checksum comparison.

// A receive area as the worker has it: REPLY_SIZE bytes, then a guard the search must not read.
struct ReplyArea {
    BYTE bytes[REPLY_SIZE + 32];
    DWORD received = 0;

    explicit ReplyArea(const std::string& reply, const std::string& guard = "K") {
        std::memset(bytes, 0, REPLY_SIZE);
        for (size_t i = REPLY_SIZE; i < sizeof(bytes); ++i)
            bytes[i] = static_cast<BYTE>(guard[(i - REPLY_SIZE) % guard.size()]);
        received = static_cast<DWORD>(std::min<size_t>(reply.size(), REPLY_SIZE));
        std::memcpy(bytes, reply.data(), received);
    }
};

TEST(ModemReplySearch, FindsTextOnlyInTheReplyText) {
    const std::string full(REPLY_SIZE, 'x');
    struct Case {
        const char* what;
        std::string reply;
        const char* text;
        int found;
    };
    const Case cases[] = {
        {"whole probe answer", "ATI5\r\r\n105\r\n\r\nOK\r\n", "\r\nOK\r\n", 1},
        {"boot ROM answer without echo", "\r\nOK\r\n", "\r\nOK\r\n", 1},
        {"answer cut before its end", "ATI5\r\r\n1050\r\n\r\nO", "\r\nOK\r\n", 0},
        {"search is case-sensitive", "\r\nDownload initiated\r\n", "Download Initiated", 0},
        {"text at the very start", "Download Initiated", "Download Initiated", 1},
        {"zero byte ends the reply text", std::string("\r\nOK\0\r\n", 7), "\r\nOK\r\n", 0},
        {"text after a zero byte", std::string("\0Checksum: ABCD", 15), "Checksum", 0},
        {"empty reply", "", "\r\nOK\r\n", 0},
        {"text longer than the reply", "OK", "\r\nOK\r\n", 0},
        {"1024 bytes, text in the last ones", full.substr(0, 1022) + "OK", "xOK", 1},
        // The guard after the area is all 'K': "KK" lies wholly past the reply, "xK" across its
        // end.
        {"1024 non-zero bytes, text only past the end", full, "KK", 0},
        {"1024 non-zero bytes, text straddling the end", full, "xK", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyArea area(c.reply);
        EXPECT_EQ(ReplyContains(area.bytes, area.received, c.text), c.found);
    }
}

TEST(ModemReplySearch, ReadsNoFurtherThanTheBytesReceived) {
    // "\r\nOK\r\n" lies in the area, but past the count that the read returned.
    ReplyArea area("ATI5\r\r\nOK\r\n");
    EXPECT_EQ(ReplyContains(area.bytes, 11, "\r\nOK\r\n"), 1);
    EXPECT_EQ(ReplyContains(area.bytes, 10, "\r\nOK\r\n"), 0);
    EXPECT_EQ(ReplyContains(area.bytes, 0, "A"), 0);
}

TEST(ModemChecksumComparison, ReportedTextMustEqualTheExpectedDigits) {
    // "Checksum" and its two skipped characters fill the last 10 bytes of a full reply.
    const std::string full = std::string(REPLY_SIZE - 10, 'x') + "Checksum: ";
    struct Case {
        const char* what;
        std::string reply;
        DWORD expected;
        int matches;
    };
    const Case cases[] = {
        {"four digits", "\r\nChecksum: ABCD", 0xABCD, 1},
        {"four digits followed by more text", "\r\nChecksum: ABCD\r\nOK\r\n", 0xABCD, 1},
        {"lower-case letters", "\r\nChecksum: abcd", 0xABCD, 0},
        {"another value", "\r\nChecksum: ABCE", 0xABCD, 0},
        {"any two characters after the word", "Checksum=>1F2E", 0x1F2E, 1},
        {"empty image's 0x8000", "\r\nChecksum: 8000", 0x8000, 1},
        {"three digits, reply ends after them", "\r\nChecksum: ABC", 0xABC, 1},
        {"three digits followed by CR LF", "\r\nChecksum: ABC\r\n", 0xABC, 0},
        {"three digits with a leading zero", "\r\nChecksum: 0ABC", 0xABC, 0},
        {"one digit", "\r\nChecksum: 7", 0x7, 1},
        {"zero byte right after three digits", std::string("\r\nChecksum: ABC\0D", 17), 0xABC, 1},
        {"zero byte cuts four digits short", std::string("\r\nChecksum: ABC\0D", 17), 0xABCD, 0},
        {"fewer digits than expected", "\r\nChecksum: AB", 0xABC, 0},
        {"reply ends before the digits", "\r\nChecksum:", 0xABC, 0},
        {"reply ends inside the two skipped", "\r\nChecksum", 0x0, 0},
        {"no word at all", "\r\nChecks: ABCD", 0xABCD, 0},
        // The digits would lie past the area, where the guard holds "ABCD".
        {"word at the end of a full reply", full, 0xABCD, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyArea area(c.reply, "ABCD");
        EXPECT_EQ(ReportedChecksumMatches(area.bytes, area.received, c.expected), c.matches);
    }
}

// ---------------------------------------------------------------------------------------------
// A scripted modem: a pty of the test's, published as a serial device of the machine, that plays
// the modem's side of the dialogue and then breaks off at a chosen point.

enum class BreakAt { kNever, kBeforeProbe, kAfterProbe, kAfterLoader, kAfterBanner };
enum class BreakHow {
    kHangUp,       // the line goes dead: reads, writes and the line's settings fail from then on
    kStopReading,  // CTS stays low: the modem takes no more bytes, and the line's queue is full
};

struct Script {
    std::string probe_reply = "\r\nOK\r\n";  // a boot ROM answer without echo: download follows
    std::string download_reply = "\r\nDownload Initiated\r\n";
    std::string banner = "\r\nDownload Modem Firmware at 115.2K\r\n";
    std::string checksum_reply{};  // after the firmware; nothing by default
    BreakAt at = BreakAt::kNever;
    BreakHow how = BreakHow::kHangUp;
    bool xon_is_xoff = false;  // the line's flow-control characters are one and the same
};

class ScriptedModem {
  public:
    ScriptedModem(const fs::path& link, Script script) : script_(std::move(script)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        char name[128];
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof(name)) != 0) {
            throw std::runtime_error("no pty for the scripted modem");
        }
        // Held open for the modem's life, so the master never sees the line hang up on its own.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        termios settings{};
        if (slave_ < 0 || ::tcgetattr(slave_, &settings) != 0)
            throw std::runtime_error("cannot open the scripted modem's line");
        ::cfmakeraw(&settings);
        if (script_.xon_is_xoff)
            settings.c_cc[VSTART] = settings.c_cc[VSTOP] = 0x13;
        ::tcsetattr(slave_, TCSANOW, &settings);
        fs::create_symlink(name, link);
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedModem() {
        stop_ = true;
        thread_.join();
        if (master_ >= 0)
            ::close(master_);
        ::close(slave_);
    }
    ScriptedModem(const ScriptedModem&) = delete;
    ScriptedModem& operator=(const ScriptedModem&) = delete;

    // Machine time at which the modem broke off, 0 if it did not.
    uint64_t broke_at() const { return broke_at_; }

  private:
    static constexpr auto kLimit = std::chrono::seconds(60);  // no step waits longer
    static constexpr auto kQuiet = milliseconds(400);         // ends a transfer

    void Run() {
        if (script_.at == BreakAt::kBeforeProbe) {
            // The worker has set up the line and is waiting before its probe.
            if (WaitFor([&] { return LineConfigured(); }) && Pause(milliseconds(1000)))
                Break();
            return;
        }
        if (!Await("ATI5\r"))
            return;
        Send(script_.probe_reply);
        if (script_.at == BreakAt::kAfterProbe) {
            // The worker reads at once; keep its read going a while, then break off in it.
            if (KeepReadOpen())
                Break();
            return;
        }
        if (!Await("AT**\r"))
            return;
        Send(script_.download_reply);
        if (!Swallow())
            return;
        if (script_.at == BreakAt::kAfterLoader) {
            Break();
            return;
        }
        Send(script_.banner);
        if (script_.at == BreakAt::kAfterBanner) {
            // The banner waits on the line until the worker's read after its 3000 ms wait.
            if (WaitFor([&] { return Queued() > 0; }) && WaitFor([&] { return Queued() == 0; }) &&
                KeepReadOpen())
                Break();
            return;
        }
        if (Swallow())
            Send(script_.checksum_reply);
    }

    template <typename Condition>
    bool WaitFor(Condition done) {
        auto give_up = scenario::Clock::now() + kLimit;
        while (!stop_ && scenario::Clock::now() < give_up) {
            if (done())
                return true;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return false;
    }

    bool Pause(milliseconds time) {
        auto until = scenario::Clock::now() + time;
        return WaitFor([&] { return scenario::Clock::now() >= until; });
    }

    bool LineConfigured() {
        termios settings{};
        return ::tcgetattr(slave_, &settings) == 0 && (settings.c_cflag & CRTSCTS);
    }

    // Reads what has arrived; true when something did.
    bool Take() {
        char buffer[4096];
        ssize_t n = ::read(master_, buffer, sizeof(buffer));
        if (n <= 0)
            return false;
        input_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    bool Await(const std::string& command) {
        bool seen = WaitFor([&] {
            Take();
            return input_.find(command) != std::string::npos;
        });
        if (seen)
            input_.erase(0, input_.find(command) + command.size());
        return seen;
    }

    // An image: everything until the line has been quiet for a while after its first byte.
    bool Swallow() {
        auto last = scenario::Clock::now();
        bool started = !input_.empty();
        input_.clear();
        return WaitFor([&] {
            if (Take()) {
                started = true;
                last = scenario::Clock::now();
                input_.clear();
            }
            return started && scenario::Clock::now() - last >= kQuiet;
        });
    }

    void Send(const std::string& bytes) {
        if (!bytes.empty() && ::write(master_, bytes.data(), bytes.size()) < 0)
            throw std::runtime_error("the scripted modem cannot send");
    }

    // Bytes sent to the worker that it has not read yet.
    int Queued() {
        int queued = 0;
        return ::ioctl(slave_, FIONREAD, &queued) == 0 ? queued : 0;
    }

    // A space every 300 ms for a second and a half: each one restarts the 500 ms pause that
    // would end the worker's read, so the read is still going when the modem breaks off.
    bool KeepReadOpen() {
        for (int i = 0; i < 5; ++i) {
            if (!Pause(milliseconds(300)))
                return false;
            Send(" ");
        }
        return true;
    }

    void Break() {
        broke_at_ = w95::MachineMillis();
        if (script_.how == BreakHow::kHangUp) {
            ::close(master_);
            master_ = -1;
            return;
        }
        // Nothing reads the master any more. The line's queue towards it is kept full to the
        // last byte: the pty moves bytes on in the background, so room can open up later.
        const std::string filler(1024, '\x7E');
        while (!stop_) {
            for (size_t size : {filler.size(), size_t{1}}) {
                while (::write(slave_, filler.data(), size) > 0) {
                }
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
    }

    Script script_;
    int master_ = -1;
    int slave_ = -1;
    std::string input_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> broke_at_{0};
    std::thread thread_;
};

// ---------------------------------------------------------------------------------------------
// One worker in a child process.

// What the worker's port name leads to.
enum class Port {
    kSimulated,  // COM5, the emulated board's first modem
    kInUse,      // COM5, opened by someone else first
    kMissing,    // COM9, which does not exist
    kNotTty,     // COM9, a device that is not a serial line
    kScripted,   // COM9, the scripted modem
};

struct Images {
    std::string loader;
    std::string firmware;
};

Images BuiltImages() {
    return {scenario::BuiltImage("nvnmdmld.tm"), scenario::BuiltImage("nvnmdmfw.tm")};
}

// A firmware image whose checksum is `checksum`: bytes of 0xFF, then one byte for the rest.
std::string FirmwareWithChecksum(DWORD checksum) {
    DWORD sum = (checksum - 0x8000u) & 0xFFFFu;
    return std::string(sum / 0xFF, '\xFF') + static_cast<char>(sum % 0xFF);
}

// One modem of a revision "001" board (its firmware lives in RAM) with the given faults.
std::string OneModem(const std::string& faults = "") {
    return R"({"boards":[{"bus":"pci","revision":"001","ports":[{"faults":[)" + faults +
           R"(]}]}]})";
}

struct WorkerRunResult {
    DWORD code = 0xFFFFFFFF;
    DWORD last_error = 0;
    uint64_t started = 0;
    uint64_t ended = 0;
};

// Runs ModemPortWorker for `record` as the run does: its own thread, created suspended, raised.
WorkerRunResult RunWorker(PortRecord& record) {
    WorkerRunResult result;
    result.started = w95::MachineMillis();
    HANDLE thread = CreateThread(nullptr, 0, ModemPortWorker, &record, CREATE_SUSPENDED, nullptr);
    if (!thread)
        throw std::runtime_error("CreateThread failed");
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);  // the case's child is killed if this never ends
    result.ended = w95::MachineMillis();
    GetExitCodeThread(thread, &result.code);
    CloseHandle(thread);
    result.last_error = record.LastError;
    return result;
}

void FillRecord(PortRecord& record, const char* port, const Images& images, PortKey key) {
    ZeroMemory(&record, sizeof(record));
    lstrcpynA(record.PortName, port, PORT_NAME_SIZE);
    record.PortHandle = INVALID_HANDLE_VALUE;
    record.LoaderNext = reinterpret_cast<const BYTE*>(images.loader.data());
    record.LoaderLeft = static_cast<DWORD>(images.loader.size());
    record.FirmwareNext = reinterpret_cast<const BYTE*>(images.firmware.data());
    record.FirmwareLeft = static_cast<DWORD>(images.firmware.size());
    record.ImageChecksum = ComputeFirmwareChecksum(
        reinterpret_cast<const BYTE*>(images.firmware.data()), record.FirmwareLeft);
    record.Key = key;
}

// The byte counts of every WriteFile on each port, while it lives.
class WriteLog {
  public:
    WriteLog() {
        w95::SetCommWriteObserver([this](const std::string& port, DWORD count) {
            std::lock_guard lock(mutex_);
            writes_[port].push_back(count);
        });
    }
    ~WriteLog() { w95::SetCommWriteObserver(nullptr); }
    std::vector<DWORD> Of(const std::string& port) {
        std::lock_guard lock(mutex_);
        return writes_[port];
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::vector<DWORD>> writes_;
};

struct WorkerCase {
    const char* what = "";
    std::string boards{};  // the simulator's board file; empty: none runs, so there is no driver
    Port port = Port::kSimulated;
    Script script{};
    std::function<Images()> images = BuiltImages;
    DWORD code = 0;
    std::optional<DWORD> last_error{};
    // Further checks on the child's outcome and the machine it ran in.
    std::function<void(const Json& outcome, const fs::path& machine)> check{};
};

Json RunWorkerCase(const WorkerCase& c, const fs::path& machine) {
    std::optional<w95test::BoardsimProcess> sim;
    if (!c.boards.empty())
        sim.emplace(machine, c.boards);
    const char* name = c.port == Port::kSimulated || c.port == Port::kInUse ? "COM5" : "COM9";
    std::optional<ScriptedModem> modem;
    HANDLE holder = INVALID_HANDLE_VALUE;
    switch (c.port) {
        case Port::kInUse:
            holder = CreateFileA("\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
            if (holder == INVALID_HANDLE_VALUE)
                throw std::runtime_error("the holder could not open COM5");
            break;
        case Port::kNotTty:
            fs::create_symlink("/dev/null", machine / "dev" / name);
            break;
        case Port::kScripted:
            modem.emplace(machine / "dev" / name, c.script);
            break;
        default:
            break;
    }
    Images images = c.images();
    static PortRecord record;  // the child's own: one case per process
    FillRecord(record, name, images, MAKE_PORT_KEY(0, 0));
    WriteLog writes;
    WorkerRunResult run = RunWorker(record);
    if (holder != INVALID_HANDLE_VALUE)
        CloseHandle(holder);
    return Json{{"code", run.code},          {"last_error", run.last_error},
                {"started", run.started},    {"ended", run.ended},
                {"writes", writes.Of(name)}, {"broke_at", modem ? modem->broke_at() : 0}};
}

void RunWorkerTable(const std::vector<WorkerCase>& cases) {
    std::vector<scenario::CaseBody> bodies;
    for (const auto& c : cases)
        bodies.push_back([&c](const fs::path& machine) { return RunWorkerCase(c, machine); });
    scenario::CaseBatch batch = scenario::RunCases(bodies);
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        const Json& outcome = batch[i].outcome;
        SCOPED_TRACE(std::string(c.what) + " (machine " + batch[i].machine.string() + ")");
        ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
        EXPECT_EQ(outcome["code"].get<DWORD>(), c.code);
        if (c.last_error) {
            EXPECT_EQ(outcome["last_error"].get<DWORD>(), *c.last_error);
        }
        if (c.check)
            c.check(outcome, batch[i].machine);
    }
}

std::vector<DWORD> Writes(const Json& outcome) {
    return outcome["writes"].get<std::vector<DWORD>>();
}

// The writes of a download: the two commands, then each image in chunks of at most 4096.
std::vector<DWORD> DownloadWrites(size_t loader, size_t firmware) {
    std::vector<DWORD> writes = {5, 5};
    for (size_t size : {loader, firmware}) {
        for (; size > 4096; size -= 4096)
            writes.push_back(4096);
        if (size > 0)
            writes.push_back(static_cast<DWORD>(size));
    }
    return writes;
}

// The modem got both images byte for byte, and the journal tells the checksum it computed.
void ExpectReceived(const fs::path& machine, const Images& images) {
    EXPECT_EQ(scenario::ReceivedImage(machine, 0, 0, "loader"), images.loader);
    EXPECT_EQ(scenario::ReceivedImage(machine, 0, 0, "firmware"), images.firmware);
}

void ExpectNoDownload(const Json& outcome, const fs::path& machine) {
    EXPECT_TRUE(scenario::DriverRequests(machine).empty());
    EXPECT_FALSE(scenario::ReceivedImage(machine, 0, 0, "loader"));
    EXPECT_FALSE(scenario::ReceivedImage(machine, 0, 0, "firmware"));
    EXPECT_EQ(Writes(outcome), std::vector<DWORD>{5});  // the probe alone
}

void ExpectFullDownload(const Json& outcome, const fs::path& machine) {
    Images images = BuiltImages();
    ExpectReceived(machine, images);
    EXPECT_EQ(Writes(outcome), DownloadWrites(images.loader.size(), images.firmware.size()));
}

TEST(ModemPortWorker, FindsFirmwareRunningOrDownloadsIt) {
    // The built images carry the bytes a line that is not raw would eat or turn into others.
    Images built = BuiltImages();
    for (char c : {'\x00', '\x0A', '\x0D', '\x11', '\x13'}) {
        EXPECT_NE(built.loader.find(c), std::string::npos) << int(c);
        EXPECT_NE(built.firmware.find(c), std::string::npos) << int(c);
    }
    const std::vector<WorkerCase> cases = {
        {"firmware already running",
         OneModem(R"("firmware_running")"),
         Port::kSimulated,
         {},
         BuiltImages,
         0,
         std::nullopt,
         ExpectNoDownload},
        {"boot ROM answer: full download",
         OneModem(),
         Port::kSimulated,
         {},
         BuiltImages,
         0,
         std::nullopt,
         [](const Json& outcome, const fs::path& machine) {
             ExpectFullDownload(outcome, machine);
             // The reset pulse for the worker's key: on, then off at least 20 ms later.
             auto on = scenario::DriverRequests(machine, DRV_MODEM_RESET_ON);
             auto off = scenario::DriverRequests(machine, DRV_MODEM_RESET_OFF);
             ASSERT_EQ(on.size(), 1u);
             ASSERT_EQ(off.size(), 1u);
             EXPECT_EQ(on[0]["board"], 0);
             EXPECT_EQ(on[0]["port"], 0);
             EXPECT_EQ(off[0]["board"], 0);
             EXPECT_EQ(off[0]["port"], 0);
             EXPECT_GE(off[0]["t"].get<uint64_t>(), on[0]["t"].get<uint64_t>() + 20);
             EXPECT_EQ(scenario::DriverRequests(machine).size(), 2u);
         }},
        // Firmware that answers without echoing the command: 13 bytes, so the download follows.
        {"firmware running without echo",
         OneModem(R"("firmware_running","no_echo")"),
         Port::kSimulated,
         {},
         BuiltImages,
         0,
         std::nullopt,
         ExpectFullDownload},
        // Chunks of at most 4096 bytes, none for an empty image.
        {"4096-byte loader, 4097-byte firmware",
         OneModem(),
         Port::kSimulated,
         {},
         [] {
             return Images{std::string(4096, '\x11'), std::string(4097, '\x13')};
         },
         0,
         std::nullopt,
         [](const Json& outcome, const fs::path& machine) {
             EXPECT_EQ(Writes(outcome), (std::vector<DWORD>{5, 5, 4096, 4096, 1}));
             ExpectReceived(machine, {std::string(4096, '\x11'), std::string(4097, '\x13')});
         }},
        {"4097-byte loader, empty firmware",
         OneModem(),
         Port::kSimulated,
         {},
         [] {
             return Images{std::string(4097, '\x0D'), ""};
         },
         0,
         std::nullopt,
         [](const Json& outcome, const fs::path& machine) {
             EXPECT_EQ(Writes(outcome), (std::vector<DWORD>{5, 5, 4096, 1}));
             ExpectReceived(machine, {std::string(4097, '\x0D'), ""});
         }},
        {"empty loader, 4096-byte firmware",
         OneModem(),
         Port::kSimulated,
         {},
         [] {
             return Images{"", std::string(4096, '\x0A')};
         },
         0,
         std::nullopt,
         [](const Json& outcome, const fs::path& machine) {
             EXPECT_EQ(Writes(outcome), (std::vector<DWORD>{5, 5, 4096}));
             ExpectReceived(machine, {"", std::string(4096, '\x0A')});
         }},
    };
    RunWorkerTable(cases);
}

TEST(ModemPortWorker, ComparesTheReportedChecksum) {
    // 0xABC: three digits, so the reply must end right after them.
    auto small = [] { return Images{"loader", FirmwareWithChecksum(0xABC)}; };
    ASSERT_EQ(ComputeFirmwareChecksum(reinterpret_cast<const BYTE*>(small().firmware.data()),
                                      static_cast<DWORD>(small().firmware.size())),
              0xABCu);
    const std::vector<WorkerCase> cases = {
        {"three digits, nothing after them", OneModem(), Port::kSimulated, {}, small, 0},
        {"three digits, then CR LF",
         OneModem(R"("checksum_trailing_text")"),
         Port::kSimulated,
         {},
         small,
         WORKER_BAD_ANSWER},
        {"three digits with a leading zero",
         OneModem(R"("checksum_leading_zero")"),
         Port::kSimulated,
         {},
         small,
         WORKER_BAD_ANSWER},
        {"four digits, then CR LF",
         OneModem(R"("checksum_trailing_text")"),
         Port::kSimulated,
         {},
         BuiltImages,
         0},
        {"a checksum other than the image's",
         OneModem(R"("wrong_checksum")"),
         Port::kSimulated,
         {},
         BuiltImages,
         WORKER_BAD_ANSWER},
    };
    RunWorkerTable(cases);
}

Script Breaking(BreakAt at, BreakHow how = BreakHow::kHangUp) {
    Script script;
    script.at = at;
    script.how = how;
    return script;
}

Script Replying(std::string Script::*field, std::string text) {
    Script script;
    script.*field = std::move(text);
    return script;
}

TEST(ModemPortWorker, EndsWithTheCodeOfWhatWentWrong) {
    Script xon_is_xoff;
    xon_is_xoff.xon_is_xoff = true;
    const std::string driver = OneModem();  // the driver; the worker's port is another one
    const std::vector<WorkerCase> cases = {
        {"port name that does not exist",
         "",
         Port::kMissing,
         {},
         BuiltImages,
         WORKER_PORT_OPEN,
         ERROR_FILE_NOT_FOUND},
        {"port already open",
         driver,
         Port::kInUse,
         {},
         BuiltImages,
         WORKER_PORT_OPEN,
         ERROR_ACCESS_DENIED},
        {"device that is not a tty",
         "",
         Port::kNotTty,
         {},
         BuiltImages,
         WORKER_GET_STATE,
         ERROR_INVALID_FUNCTION},
        {"line whose XON and XOFF are the same", "", Port::kScripted, xon_is_xoff, BuiltImages,
         WORKER_SET_STATE, ERROR_INVALID_PARAMETER},
        {"line hangs up before the probe", "", Port::kScripted, Breaking(BreakAt::kBeforeProbe),
         BuiltImages, WORKER_PROBE_WRITE, ERROR_GEN_FAILURE},
        {"silent modem",
         OneModem(R"("silent")"),
         Port::kSimulated,
         {},
         BuiltImages,
         WORKER_PROBE_REPLY,
         std::nullopt,
         ExpectNoDownload},
        {"longer answer line",
         OneModem(R"("firmware_running","long_answer")"),
         Port::kSimulated,
         {},
         BuiltImages,
         WORKER_PROBE_REPLY,
         std::nullopt,
         ExpectNoDownload},
        {"noise instead of an answer",
         OneModem(R"("garbage")"),
         Port::kSimulated,
         {},
         BuiltImages,
         WORKER_PROBE_REPLY,
         std::nullopt,
         ExpectNoDownload},
        {"line hangs up after the probe", "", Port::kScripted, Breaking(BreakAt::kAfterProbe),
         BuiltImages, WORKER_PURGE, ERROR_GEN_FAILURE},
        {"no driver",
         "",
         Port::kScripted,
         {},
         BuiltImages,
         WORKER_DRIVER_OPEN,
         ERROR_FILE_NOT_FOUND},
        {"CTS drops after the probe", driver, Port::kScripted,
         Breaking(BreakAt::kAfterProbe, BreakHow::kStopReading), BuiltImages,
         WORKER_DOWNLOAD_WRITE},
        {"no \"Download Initiated\"", driver, Port::kScripted,
         Replying(&Script::download_reply, "\r\nERROR\r\n"), BuiltImages, WORKER_DOWNLOAD_REPLY},
        {"CTS drops after the banner", driver, Port::kScripted,
         Breaking(BreakAt::kAfterBanner, BreakHow::kStopReading), BuiltImages, WORKER_IMAGE_WRITE,
         std::nullopt,
         [](const Json& outcome, const fs::path&) {
             // The first firmware write waits out its bound, 1 ms a byte plus 2000 ms, and no
             // longer than that by far.
             uint64_t stalled =
                 outcome["ended"].get<uint64_t>() - outcome["broke_at"].get<uint64_t>();
             EXPECT_GE(stalled, 4096u + 2000u);
             EXPECT_LT(stalled, 3u * (4096u + 2000u));
             EXPECT_EQ(Writes(outcome), (std::vector<DWORD>{5, 5, 3072, 4096}));
         }},
        {"line hangs up after the loader", driver, Port::kScripted, Breaking(BreakAt::kAfterLoader),
         BuiltImages, WORKER_READ_FAILED, ERROR_GEN_FAILURE},
        {"nothing after the loader", driver, Port::kScripted, Replying(&Script::banner, ""),
         BuiltImages, WORKER_BAD_ANSWER},
        {"nothing after the firmware",
         driver,
         Port::kScripted,
         {},
         BuiltImages,
         WORKER_READ_FAILED},
        {"another banner", driver, Port::kScripted,
         Replying(&Script::banner, "\r\nDownload Modem Firmware at 57.6K\r\n"), BuiltImages,
         WORKER_BAD_ANSWER},
        {"line hangs up after the banner", driver, Port::kScripted, Breaking(BreakAt::kAfterBanner),
         BuiltImages, WORKER_GET_STATE, ERROR_INVALID_FUNCTION},
    };
    RunWorkerTable(cases);
}

// Images of their own for worker `i`: every byte value, in an order and a length of its own.
Images ImagesOfWorker(int i) {
    auto pattern = [](size_t size, int step, int start) {
        std::string bytes(size, '\0');
        for (size_t k = 0; k < size; ++k)
            bytes[k] = static_cast<char>((start + step * static_cast<int>(k)) & 0xFF);
        return bytes;
    };
    return {pattern(3000 + 7 * i, 2 * i + 1, i), pattern(20000 + 1000 * i, 2 * i + 3, 50 * i)};
}

constexpr int kWorkers = 4;

// Four workers at once on two boards of two modems each, every one with its own images.
Json RunWorkersAtOnce(const fs::path& machine) {
    w95test::BoardsimProcess sim(machine, R"({"boards":[
        {"bus":"pci","revision":"001","ports":2},{"bus":"pci","revision":"001","ports":2}]})");
    static PortRecord records[kWorkers];
    std::vector<Images> images;
    for (int i = 0; i < kWorkers; ++i)
        images.push_back(ImagesOfWorker(i));
    WriteLog writes;
    HANDLE threads[kWorkers];
    for (int i = 0; i < kWorkers; ++i) {
        std::string port = "COM" + std::to_string(5 + i);
        FillRecord(records[i], port.c_str(), images[i], MAKE_PORT_KEY(i / 2, i % 2));
        threads[i] =
            CreateThread(nullptr, 0, ModemPortWorker, &records[i], CREATE_SUSPENDED, nullptr);
        if (!threads[i])
            throw std::runtime_error("CreateThread failed");
        SetThreadPriority(threads[i], THREAD_PRIORITY_HIGHEST);
    }
    for (HANDLE thread : threads)
        ResumeThread(thread);
    WaitForMultipleObjects(kWorkers, threads, TRUE, INFINITE);
    Json outcome;
    for (int i = 0; i < kWorkers; ++i) {
        DWORD code = 0xFFFFFFFF;
        GetExitCodeThread(threads[i], &code);
        CloseHandle(threads[i]);
        outcome["workers"].push_back(
            {{"code", code}, {"writes", writes.Of("COM" + std::to_string(5 + i))}});
    }
    return outcome;
}

TEST(ModemPortWorker, SeveralAtOnceEachKeepsToItsOwnPort) {
    auto batch = scenario::RunCases({RunWorkersAtOnce});
    const fs::path& machine = batch[0].machine;
    const Json& outcome = batch[0].outcome;
    ASSERT_FALSE(outcome.contains("error")) << outcome.dump();
    auto requests = scenario::DriverRequests(machine);
    std::set<int> handles;
    for (int i = 0; i < kWorkers; ++i) {
        SCOPED_TRACE("worker " + std::to_string(i));
        const Json& worker = outcome["workers"][i];
        Images images = ImagesOfWorker(i);
        EXPECT_EQ(worker["code"], 0);
        EXPECT_EQ(Writes(worker), DownloadWrites(images.loader.size(), images.firmware.size()));
        EXPECT_EQ(scenario::ReceivedImage(machine, i / 2, i % 2, "loader"), images.loader);
        EXPECT_EQ(scenario::ReceivedImage(machine, i / 2, i % 2, "firmware"), images.firmware);
        // Its own key, on then off, both on one driver handle of its own.
        std::vector<int> codes;
        std::set<int> own_handles;
        for (const auto& request : requests) {
            if (request["board"] == i / 2 && request["port"] == i % 2) {
                codes.push_back(request["code"]);
                own_handles.insert(request["handle"].get<int>());
            }
        }
        EXPECT_EQ(codes, (std::vector<int>{DRV_MODEM_RESET_ON, DRV_MODEM_RESET_OFF}));
        EXPECT_EQ(own_handles.size(), 1u);
        handles.insert(own_handles.begin(), own_handles.end());
    }
    EXPECT_EQ(requests.size(), 2u * kWorkers);
    EXPECT_EQ(handles.size(), static_cast<size_t>(kWorkers));
}

}  // namespace
