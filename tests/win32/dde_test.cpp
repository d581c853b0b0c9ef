// The DDE client library against a scripted server on the machine's dde/PROGMAN socket:
// conversations, execute transactions and their acknowledgements, time-outs, a server that goes
// away, the two forms of transaction data, string and data handles.
#include <windows.h>

#include <ddeml.h>

#include "dde_wire.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using w95::dde::Frame;
using w95::dde::FrameKind;
using Clock = std::chrono::steady_clock;

HDDEDATA CALLBACK NoAnswer(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// Serves one conversation on dde/PROGMAN: accepts the connect request, then hands each execute
// request to the test's script, which answers as the case needs (or does not). Returns false from
// the script to end the conversation.
class ScriptedServer {
  public:
    using Script = std::function<bool(int fd, const Frame& request)>;

    explicit ScriptedServer(Script script) : script_(std::move(script)) {
        listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = w95::dde::ServiceSocketPath("PROGMAN").string();
        std::copy(path.begin(), path.end(), address.sun_path);
        EXPECT_EQ(::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::listen(listen_fd_, 4), 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        ::close(listen_fd_);
    }

    std::vector<Frame> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    // Every wait is short, so that the server stops soon after the test is done with it.
    void Serve() {
        int fd = -1;
        while (!stop_ && fd < 0) {
            pollfd p{listen_fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                fd = ::accept(listen_fd_, nullptr, nullptr);
        }
        bool open = fd >= 0;
        while (open && !stop_) {
            Frame request;
            auto result = w95::dde::ReadFrame(fd, request, 50);
            if (result == w95::dde::ReadResult::TimedOut)
                continue;
            if (result != w95::dde::ReadResult::Ok)
                break;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            if (request.kind == FrameKind::Connect) {
                w95::dde::WriteAck(fd, request.sequence, true);
            } else {
                open = script_(fd, request);
            }
        }
        if (fd >= 0)
            ::close(fd);
    }

    Script script_;
    int listen_fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Frame> requests_;
};

class DdeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(DdeInitializeA(&instance_, NoAnswer, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
        progman_ = DdeCreateStringHandleA(instance_, "PROGMAN", CP_WINANSI);
        ASSERT_NE(progman_, nullptr);
    }
    void TearDown() override { DdeUninitialize(instance_); }

    HCONV Connect() { return DdeConnect(instance_, progman_, progman_, nullptr); }

    HDDEDATA Text(const std::string& text, UINT flags = 0) {
        return DdeCreateDataHandle(instance_, (LPBYTE)text.c_str(), (DWORD)text.size() + 1, 0,
                                   nullptr, CF_TEXT, flags);
    }

    HDDEDATA Execute(HCONV conversation, HDDEDATA data, DWORD timeout, DWORD* result = nullptr) {
        DWORD ignored;
        return DdeClientTransaction((LPBYTE)data, 0xFFFFFFFF, conversation, nullptr, 0,
                                    XTYP_EXECUTE, timeout, result ? result : &ignored);
    }

    w95test::TempMachine machine_;
    DWORD instance_ = 0;
    HSZ progman_ = nullptr;
};

TEST_F(DdeTest, WithoutAServerThereIsNoConversationAndEveryTransactionFails) {
    EXPECT_EQ(Connect(), nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_NO_CONV_ESTABLISHED);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_NO_ERROR);  // reading the error clears it

    HDDEDATA data = Text("[DeleteGroup(G)]");
    EXPECT_EQ(Execute(nullptr, data, 10000), nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_NO_CONV_ESTABLISHED);
    // The data handle was handed over and freed all the same.
    EXPECT_FALSE(DdeFreeDataHandle(data));
}

TEST_F(DdeTest, AnExecuteWaitsForItsOwnAcknowledgement) {
    std::atomic<int> executes{0};
    ScriptedServer server([&](int fd, const Frame& request) {
        // The first request is never answered in time; its answer comes late, just before the
        // negative answer to the second.
        if (++executes == 2) {
            w95::dde::WriteAck(fd, request.sequence - 1, true);
            w95::dde::WriteAck(fd, request.sequence, false);
        } else if (executes == 3) {
            w95::dde::WriteAck(fd, request.sequence, true);
        }
        return true;
    });
    HCONV conversation = Connect();
    ASSERT_NE(conversation, nullptr);

    auto start = Clock::now();
    EXPECT_EQ(Execute(conversation, Text("[A()]"), 300), nullptr);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_EXECACKTIMEOUT);

    DWORD result = 12345;
    EXPECT_EQ(Execute(conversation, Text("[B()]"), 5000, &result), nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_NOTPROCESSED);
    EXPECT_EQ(result, 0u);

    EXPECT_NE(Execute(conversation, Text("[C()]"), 5000, &result), nullptr);
    EXPECT_EQ(result, (DWORD)DDE_FACK);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_NO_ERROR);
    EXPECT_TRUE(DdeDisconnect(conversation));
}

TEST_F(DdeTest, AServerThatGoesAwayEndsTheConversation) {
    ScriptedServer server([](int, const Frame&) { return false; });
    HCONV conversation = Connect();
    ASSERT_NE(conversation, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(Execute(conversation, Text("[A()]"), 10000), nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_SERVER_DIED);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));  // not a time-out
}

TEST_F(DdeTest, TransactionDataIsTheHandlesBytesOrThePointedBytes) {
    ScriptedServer server([](int fd, const Frame& request) {
        w95::dde::WriteAck(fd, request.sequence, true);
        return true;
    });
    HCONV conversation = Connect();
    ASSERT_NE(conversation, nullptr);

    // A data handle made from an offset into the caller's bytes; its own length and format go.
    const char source[] = "xx[Go(1)]";
    HDDEDATA from_offset =
        DdeCreateDataHandle(instance_, (LPBYTE)source, 8, 2, nullptr, CF_TEXT, 0);
    EXPECT_NE(Execute(conversation, from_offset, 5000), nullptr);
    // Bytes and a length, in the format the transaction names.
    EXPECT_NE(DdeClientTransaction((LPBYTE) "[Go(2)]", 7, conversation, nullptr, 7, XTYP_EXECUTE,
                                   5000, nullptr),
              nullptr);
    // A handle the application keeps can be sent twice; another is freed by its transaction.
    HDDEDATA kept = Text("[Go(3)]", HDATA_APPOWNED);
    EXPECT_NE(Execute(conversation, kept, 5000), nullptr);
    EXPECT_NE(Execute(conversation, kept, 5000), nullptr);
    EXPECT_TRUE(DdeFreeDataHandle(kept));
    EXPECT_FALSE(DdeFreeDataHandle(from_offset));

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].kind, FrameKind::Connect);
    EXPECT_EQ(requests[0].payload, std::string("PROGMAN\0PROGMAN\0", 16));
    EXPECT_EQ(requests[1].payload, std::string("[Go(1)]\0", 8));
    EXPECT_EQ(requests[1].format, (uint32_t)CF_TEXT);
    EXPECT_EQ(requests[2].payload, "[Go(2)]");
    EXPECT_EQ(requests[2].format, 7u);
    EXPECT_EQ(requests[3].payload, std::string("[Go(3)]\0", 8));
    EXPECT_EQ(requests[4].payload, std::string("[Go(3)]\0", 8));
    EXPECT_EQ(requests[1].client_pid, (uint32_t)::getpid());
}

TEST_F(DdeTest, RefusesWhatIsNotASynchronousExecuteOfThisInstance) {
    ScriptedServer server([](int fd, const Frame& request) {
        w95::dde::WriteAck(fd, request.sequence, true);
        return true;
    });
    HCONV conversation = Connect();
    ASSERT_NE(conversation, nullptr);

    DWORD other = 0;
    ASSERT_EQ(DdeInitializeA(&other, NoAnswer, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
    HDDEDATA foreign = DdeCreateDataHandle(other, (LPBYTE) "[A()]", 6, 0, nullptr, CF_TEXT, 0);
    EXPECT_EQ(Execute(conversation, foreign, 5000), nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_INVALIDPARAMETER);
    EXPECT_TRUE(DdeUninitialize(other));

    EXPECT_EQ(DdeClientTransaction(nullptr, 0, conversation, progman_, CF_TEXT, XTYP_REQUEST, 5000,
                                   nullptr),
              nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_INVALIDPARAMETER);
    EXPECT_EQ(server.Requests().size(), 1u);  // only the connect request reached the server

    DWORD none = 0;
    EXPECT_EQ(DdeInitializeA(&none, nullptr, APPCMD_CLIENTONLY, 0), (UINT)DMLERR_INVALIDPARAMETER);
    EXPECT_EQ(DdeGetLastError(0x7fffffff), (UINT)DMLERR_DLL_NOT_INITIALIZED);
}

TEST_F(DdeTest, StringHandlesAreCaseInsensitiveAtomsCountedPerInstance) {
    HSZ again = DdeCreateStringHandleA(instance_, "progman", CP_WINANSI);
    EXPECT_EQ(again, progman_);
    char text[16];
    EXPECT_EQ(DdeQueryStringA(instance_, progman_, text, sizeof(text), CP_WINANSI), 7u);
    EXPECT_STREQ(text, "PROGMAN");
    EXPECT_EQ(DdeQueryStringA(instance_, progman_, text, 4, CP_WINANSI), 3u);
    EXPECT_STREQ(text, "PRO");

    // Two references: the handle lives until both are freed.
    EXPECT_TRUE(DdeFreeStringHandle(instance_, again));
    EXPECT_TRUE(DdeFreeStringHandle(instance_, progman_));
    EXPECT_FALSE(DdeFreeStringHandle(instance_, progman_));

    EXPECT_EQ(DdeCreateStringHandleA(instance_, std::string(256, 'x').c_str(), CP_WINANSI),
              nullptr);
    EXPECT_EQ(DdeGetLastError(instance_), (UINT)DMLERR_INVALIDPARAMETER);
    progman_ = nullptr;
}

}  // namespace
