// Serial ports against a pseudo-terminal the test makes itself: the port is the slave, linked at
// dev/COM7 of a temporary machine, and the test plays the modem on the master.
#include <windows.h>

#include "child_process.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD kMaxDword = 0xFFFFFFFF;
constexpr char kPortName[] = "\\\\.\\COM7";

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

HANDLE OpenPort(DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD share = 0) {
    return CreateFileA(kPortName, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Bytes queued for reading on a tty fd.
int Queued(int fd) {
    int count = -1;
    if (ioctl(fd, FIONREAD, &count) != 0)
        return -1;
    return count;
}

// Polls until fd holds `count` unread bytes, for at most five seconds.
bool WaitQueued(int fd, int count) {
    auto start = Clock::now();
    while (Queued(fd) < count) {
        if (MsSince(start) > 5000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class CommTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The slave keeps its default (cooked) settings: the port must make the line raw itself.
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
        ASSERT_EQ(symlink(ttyname(slave_), machine_.path("dev/COM7").c_str()), 0);
    }
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE)
            CloseHandle(port_);
        if (master_ >= 0)
            close(master_);
        close(slave_);
    }

    void OpenWithTimeouts(COMMTIMEOUTS timeouts) {
        port_ = OpenPort();
        ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
        ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
    }

    void MasterWrite(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Whatever the port sends, until `count` bytes have come or nothing came for `quiet_ms`.
    std::string MasterRead(size_t count, int quiet_ms = 2000) {
        std::string got;
        char chunk[4096];
        while (got.size() < count) {
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, quiet_ms) <= 0)
                break;
            ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - got.size()));
            if (n <= 0)
                break;
            got.append(chunk, static_cast<size_t>(n));
        }
        return got;
    }

    // Fills the line towards the modem until the pty queues take no more (a modem that stopped
    // reading); returns how many bytes the port accepted.
    DWORD FillOutput() {
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant = 300;
        EXPECT_TRUE(SetCommTimeouts(port_, &timeouts));
        std::vector<char> block(1 << 20, 'x');
        DWORD written = 0;
        EXPECT_TRUE(
            WriteFile(port_, block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
        return written;
    }

    w95test::TempMachine machine_;
    int master_ = -1;
    int slave_ = -1;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(CommTest, StateReachesTheLineAndReadsBack) {
    port_ = OpenPort();
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();

    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_NE(dcb.XonChar, dcb.XoffChar);

    // What a download worker sets, with a few members termios has no place for.
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.XonLim = 100;
    dcb.XoffLim = 50;
    dcb.ErrorChar = '?';
    dcb.EvtChar = '\r';
    ASSERT_TRUE(SetCommState(port_, &dcb));

    // The modem sees the settings on its side of the line, raw.
    termios line{};
    ASSERT_EQ(tcgetattr(master_, &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B115200));
    EXPECT_TRUE(line.c_cflag & CRTSCTS);
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    EXPECT_FALSE(line.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP));
    EXPECT_FALSE(line.c_oflag & OPOST);

    DCB back{};
    ASSERT_TRUE(GetCommState(port_, &back));
    EXPECT_EQ(back.BaudRate, 115200u);
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.StopBits, ONESTOPBIT);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(back.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(back.XonLim, 100);
    EXPECT_EQ(back.XoffLim, 50);
    EXPECT_EQ(back.ErrorChar, '?');
    EXPECT_EQ(back.EvtChar, '\r');

    // And back to a slower line without handshake, two stop bits.
    dcb.BaudRate = CBR_9600;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    ASSERT_EQ(tcgetattr(master_, &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    ASSERT_TRUE(GetCommState(port_, &back));
    EXPECT_EQ(back.BaudRate, 9600u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.fOutxCtsFlow, 0u);
    EXPECT_EQ(back.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

TEST_F(CommTest, InvalidStateIsRefusedAndLeavesTheLineAlone) {
    port_ = OpenPort();
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    DCB good{};
    ASSERT_TRUE(GetCommState(port_, &good));
    good.BaudRate = CBR_57600;
    ASSERT_TRUE(SetCommState(port_, &good));

    struct Case {
        const char* what;
        void (*spoil)(DCB&);
    };
    const Case cases[] = {
        {"speed no UART makes", [](DCB& d) { d.BaudRate = 12345; }},
        {"speed zero", [](DCB& d) { d.BaudRate = 0; }},
        {"speed above 115200", [](DCB& d) { d.BaudRate = 230400; }},
        {"4-bit bytes", [](DCB& d) { d.ByteSize = 4; }},
        {"9-bit bytes", [](DCB& d) { d.ByteSize = 9; }},
        {"unknown parity", [](DCB& d) { d.Parity = 5; }},
        {"unknown stop bits", [](DCB& d) { d.StopBits = 3; }},
        {"1.5 stop bits with 8-bit bytes", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
        {"2 stop bits with 5-bit bytes",
         [](DCB& d) {
             d.ByteSize = 5;
             d.StopBits = TWOSTOPBITS;
         }},
        {"unknown DTR control", [](DCB& d) { d.fDtrControl = 3; }},
        {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }},
        {"XON equal to XOFF", [](DCB& d) { d.XoffChar = d.XonChar; }},
    };
    for (const auto& c : cases) {
        DCB bad = good;
        c.spoil(bad);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port_, &bad)) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
        DCB now{};
        ASSERT_TRUE(GetCommState(port_, &now));
        EXPECT_EQ(now.BaudRate, 57600u) << c.what;
        EXPECT_EQ(now.ByteSize, 8) << c.what;
        EXPECT_EQ(now.StopBits, ONESTOPBIT) << c.what;
    }
    EXPECT_FALSE(SetCommState(port_, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CommTest, EveryByteValuePassesBothWaysUnchanged) {
    OpenWithTimeouts({0, 0, 5000, 0, 5000});
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);

    MasterWrite(all);
    std::string in(256, '\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port_, in.data(), 256, &got, nullptr));
    ASSERT_EQ(got, 256u);
    EXPECT_EQ(in, all);

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, all.data(), 256, &written, nullptr));
    EXPECT_EQ(written, 256u);
    // No echo of the bytes received ahead of them, no CR/LF translation.
    EXPECT_EQ(MasterRead(256), all);
    EXPECT_EQ(MasterRead(1, 200), "");
}

// One read under one set of time-outs while the modem sends on a schedule.
struct ReadCase {
    const char* rule;
    COMMTIMEOUTS timeouts;
    DWORD count;
    std::vector<std::pair<int, std::string>> sends;  // (ms after the read began, bytes)
    std::string expected;
    long at_least_ms;  // the read may not return before this
    long before_ms;    // the read returns well before this (a rule that ended it early)
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.rule;
}

class CommReadTimeoutTest : public CommTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(CommReadTimeoutTest, ReturnsWhenTheRuleSays) {
    const ReadCase& c = GetParam();
    OpenWithTimeouts(c.timeouts);
    auto start = Clock::now();
    std::thread modem([&] {
        for (const auto& [at_ms, bytes] : c.sends) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(at_ms));
            MasterWrite(bytes);
        }
    });
    std::string buffer(c.count, '\0');
    DWORD got = 12345;
    SetLastError(0);
    BOOL ok = ReadFile(port_, buffer.data(), c.count, &got, nullptr);
    long elapsed = MsSince(start);
    modem.join();
    EXPECT_TRUE(ok) << GetLastError();
    EXPECT_EQ(buffer.substr(0, got), c.expected);
    EXPECT_GE(elapsed, c.at_least_ms);
    EXPECT_LT(elapsed, c.before_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CommReadTimeoutTest,
    ::testing::Values(
        ReadCase{"count reached", {0, 0, 30000, 0, 0}, 4, {{0, "ABCD"}}, "ABCD", 0, 15000},
        ReadCase{"count reached across pauses, no time-outs",
                 {0, 0, 0, 0, 0},
                 4,
                 {{0, "AB"}, {400, "CD"}},
                 "ABCD",
                 400,
                 30000},
        ReadCase{"interval after the last byte",
                 {1000, 0, 30000, 0, 0},
                 64,
                 {{0, "AB"}, {200, "CD"}},
                 "ABCD",
                 1200,
                 15000},
        ReadCase{"interval alone", {300, 0, 0, 0, 0}, 64, {{100, "AB"}}, "AB", 400, 15000},
        ReadCase{"interval waits for a first byte", {100, 0, 800, 0, 0}, 8, {}, "", 800, 30000},
        ReadCase{"total is multiplier times count plus constant",
                 {0, 100, 200, 0, 0},
                 4,
                 {{0, "X"}},
                 "X",
                 600,
                 30000},
        ReadCase{"MAXDWORD interval, zero totals: at once",
                 {kMaxDword, 0, 0, 0, 0},
                 8,
                 {},
                 "",
                 0,
                 15000},
        ReadCase{"MAXDWORD interval and multiplier: the first byte to come",
                 {kMaxDword, kMaxDword, 30000, 0, 0},
                 8,
                 {{300, "Q"}},
                 "Q",
                 300,
                 15000},
        ReadCase{"MAXDWORD interval and multiplier: nothing within the constant",
                 {kMaxDword, kMaxDword, 500, 0, 0},
                 8,
                 {},
                 "",
                 500,
                 30000}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
        std::string name;
        for (const char* p = info.param.rule; *p; ++p) {
            if (isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        }
        return name;
    });

TEST_F(CommTest, ImmediateReadReturnsWhatHasArrived) {
    OpenWithTimeouts({kMaxDword, 0, 0, 0, 0});
    MasterWrite("hello");
    ASSERT_TRUE(WaitQueued(slave_, 5));
    char buffer[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "hello");
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
}

TEST_F(CommTest, PartialReadsLoseNothingBetweenThem) {
    OpenWithTimeouts({200, 0, 5000, 0, 0});
    MasterWrite("0123456789");
    char buffer[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(port_, buffer, 4, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "0123");
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "456789");

    COMMTIMEOUTS back{};
    ASSERT_TRUE(GetCommTimeouts(port_, &back));
    EXPECT_EQ(back.ReadIntervalTimeout, 200u);
    EXPECT_EQ(back.ReadTotalTimeoutConstant, 5000u);
}

TEST_F(CommTest, PurgeDiscardsTheQueueItNames) {
    OpenWithTimeouts({200, 0, 2000, 0, 0});
    char buffer[64] = {};
    DWORD got = 0;

    // Received input is discarded; what the port sent stays on its way.
    MasterWrite("stale");
    ASSERT_TRUE(WaitQueued(slave_, 5));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, "out", 3, &written, nullptr));
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXCLEAR));
    EXPECT_EQ(Queued(slave_), 0);
    MasterWrite("fresh");
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "fresh");
    EXPECT_EQ(MasterRead(3), "out");

    // The abort flags discard nothing.
    MasterWrite("kept");
    ASSERT_TRUE(WaitQueued(slave_, 4));
    ASSERT_TRUE(PurgeComm(port_, PURGE_RXABORT | PURGE_TXABORT));
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "kept");

    // Clearing output leaves received input alone. (Output a pty has taken is at the modem
    // already: there is no transmit queue left to clear.)
    MasterWrite("input");
    ASSERT_TRUE(WaitQueued(slave_, 5));
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXCLEAR));
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "input");

    EXPECT_FALSE(PurgeComm(port_, 0x10));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CommTest, WriteThatTimesOutReturnsAShortCount) {
    port_ = OpenPort();
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    auto start = Clock::now();
    DWORD accepted = FillOutput();
    EXPECT_GE(MsSince(start), 300);
    EXPECT_GT(accepted, 0u);
    EXPECT_LT(accepted, 1u << 20);

    // The multiplier counts too, and a write that moved nothing still succeeds.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutMultiplier = 50;
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
    start = Clock::now();
    DWORD written = 99;
    EXPECT_TRUE(WriteFile(port_, "0123456789", 10, &written, nullptr));
    EXPECT_GE(MsSince(start), 500);
    EXPECT_EQ(written, 0u);

    // Exactly the accepted bytes reach the modem.
    std::string arrived = MasterRead(accepted + 10, 500);
    EXPECT_EQ(arrived.size(), accepted);
    EXPECT_EQ(arrived, std::string(accepted, 'x'));
}

TEST_F(CommTest, WriteWithoutTimeoutWaitsUntilAllIsWritten) {
    port_ = OpenPort();
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    std::string block(200000, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    auto start = Clock::now();
    std::string arrived;
    std::thread modem([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        arrived = MasterRead(block.size(), 5000);
    });
    DWORD written = 0;
    BOOL ok = WriteFile(port_, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    long elapsed = MsSince(start);
    modem.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, block.size());
    EXPECT_GE(elapsed, 300);
    EXPECT_TRUE(arrived == block) << "arrived " << arrived.size() << " bytes";
}

TEST_F(CommTest, HungUpLineGivesWhatArrivedThenFails) {
    OpenWithTimeouts({0, 0, 20000, 0, 20000});
    char buffer[16] = {};
    DWORD got = 0;
    auto start = Clock::now();
    std::thread modem([&] {
        MasterWrite("ab");
        // Hang up only once the port has taken the bytes: a hang-up discards unread input.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        auto wait_start = Clock::now();
        while (Queued(slave_) > 0 && MsSince(wait_start) < 5000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        close(master_);
        master_ = -1;
    });
    BOOL ok = ReadFile(port_, buffer, sizeof buffer, &got, nullptr);
    modem.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(buffer, got), "ab");
    EXPECT_LT(MsSince(start), 10000);

    // Later reads and writes fail at once instead of waiting out their time-outs.
    start = Clock::now();
    SetLastError(0);
    EXPECT_FALSE(ReadFile(port_, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(got, 0u);
    SetLastError(0);
    EXPECT_FALSE(WriteFile(port_, "x", 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_LT(MsSince(start), 10000);
}

TEST_F(CommTest, PortIsExclusiveAcrossHandlesAndProcesses) {
    port_ = OpenPort();
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);

    // Sharing does not make a serial port shareable.
    for (DWORD share : {0u, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        SetLastError(0);
        EXPECT_EQ(OpenPort(GENERIC_READ | GENERIC_WRITE, share), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }

    // Another process is refused too; it exits with the error its open met.
    auto open_in_child = [] {
        pid_t child = fork();
        if (child == 0) {
            HANDLE other = OpenPort();
            _exit(other == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0);
        }
        return w95test::WaitOrKill(child,
                                   std::chrono::steady_clock::now() + std::chrono::seconds(30));
    };
    EXPECT_EQ(open_in_child(), ERROR_ACCESS_DENIED);

    // Closing the port frees it for the next owner.
    ASSERT_TRUE(CloseHandle(port_));
    port_ = INVALID_HANDLE_VALUE;
    EXPECT_EQ(open_in_child(), 0);
    port_ = OpenPort();
    EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST_F(CommTest, AccessModeLimitsTheDirections) {
    port_ = OpenPort(GENERIC_READ);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    DWORD written = 7;
    EXPECT_FALSE(WriteFile(port_, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(MasterRead(1, 200), "");
}

TEST_F(CommTest, MissingPortIsNotFound) {
    SetLastError(0);
    EXPECT_EQ(CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A link left behind by a pty that is gone.
    ASSERT_EQ(symlink("/dev/pts/does-not-exist", machine_.path("dev/COM8").c_str()), 0);
    SetLastError(0);
    EXPECT_EQ(CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(CommTest, CommFunctionsRefuseWhatIsNotASerialLine) {
    std::ofstream(machine_.path("dev/COM9")) << "plain file";
    HANDLE file = CreateFileA("\\\\.\\COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();

    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    SetLastError(0);
    EXPECT_FALSE(GetCommState(file, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    SetLastError(0);
    EXPECT_FALSE(SetCommState(file, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    SetLastError(0);
    EXPECT_FALSE(SetCommTimeouts(file, &timeouts));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    SetLastError(0);
    EXPECT_FALSE(PurgeComm(file, PURGE_RXCLEAR));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    // It still reads as the file it is.
    char buffer[32] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "plain file");
    EXPECT_TRUE(CloseHandle(file));

    // A closed handle is no handle at all.
    SetLastError(0);
    EXPECT_FALSE(GetCommState(file, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
