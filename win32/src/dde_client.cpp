// The DDE management library, client side. A conversation is a connection to the server's socket
// in <machine>/dde/ (see dde_wire.h); execute transactions are sent as frames and wait for the
// server's acknowledgement. Instances, string handles, data handles and conversations live in one
// process-wide table; every handle value is used once, so a freed handle never names a new object.
#include <windows.h>

#include <ddeml.h>

#include "dde_wire.h"
#include "machine.h"
#include "unix_socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace w95 {
namespace {

// The length that marks a transaction's data as a data handle rather than bytes.
constexpr DWORD kDataIsHandle = 0xFFFFFFFF;
// Longest string a string handle holds, as on Windows.
constexpr size_t kMaxStringHandleText = 255;
// Largest data handle this emulation keeps.
constexpr size_t kMaxDataHandleBytes = 16 * 1024 * 1024;
// How long DdeConnect waits for a server to accept or refuse.
constexpr int kConnectTimeoutMs = 5000;

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One connection to a server. Closed when the last user lets go of it, so a transaction under
// way keeps its socket even when another thread disconnects meanwhile.
class Connection {
  public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }
    void Shutdown() { ::shutdown(fd_, SHUT_RDWR); }
    std::mutex& exchange_mutex() { return exchange_mutex_; }  // one transaction at a time
    uint32_t NextSequence() { return ++sequence_; }

  private:
    int fd_;
    std::mutex exchange_mutex_;
    uint32_t sequence_ = 1;  // 1 was the connect request
};

struct Instance {
    PFNCALLBACK callback = nullptr;
    DWORD flags = 0;
    UINT last_error = DMLERR_NO_ERROR;
    std::thread::id owner;  // the thread that initialised it
};

struct StringHandle {
    DWORD instance = 0;
    std::string text;
    int references = 0;
};

struct DataHandle {
    DWORD instance = 0;
    std::string bytes;
    UINT format = 0;
    bool app_owned = false;
};

struct Conversation {
    DWORD instance = 0;
    std::shared_ptr<Connection> connection;
};

class DdeSystem {
  public:
    std::mutex mutex;
    std::map<DWORD, Instance> instances;
    std::map<uintptr_t, StringHandle> strings;
    std::map<uintptr_t, DataHandle> data;
    std::map<uintptr_t, Conversation> conversations;

    uintptr_t NewHandleValue() { return next_handle_ += 4; }
    DWORD NewInstanceId() { return ++next_instance_; }

    // Called with the mutex held.
    void SetError(DWORD instance, UINT error) {
        auto found = instances.find(instance);
        if (found != instances.end())
            found->second.last_error = error;
    }
    // When a call names no usable instance: the error goes to the calling thread's instances.
    void SetErrorForThread(UINT error) {
        for (auto& [id, instance] : instances) {
            if (instance.owner == std::this_thread::get_id())
                instance.last_error = error;
        }
    }
    const StringHandle* FindString(DWORD instance, HSZ hsz) const {
        auto found = strings.find(reinterpret_cast<uintptr_t>(hsz));
        if (found == strings.end() || found->second.instance != instance)
            return nullptr;
        return &found->second;
    }

  private:
    uintptr_t next_handle_ = 0x10000;
    DWORD next_instance_ = 0;
};

DdeSystem& System() {
    static DdeSystem* system = new DdeSystem;  // never destroyed: other threads may use it at exit
    return *system;
}

// The sockets of the servers that may offer SERVICE (any service when empty), in name order.
// Service names are case-insensitive.
std::vector<std::filesystem::path> ServerSockets(const std::string& service) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    auto dir = dde::ServiceSocketPath("").parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::string name = entry.path().filename().string();
        if (service.empty() || Lowered(name) == Lowered(service))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Asks the server behind PATH for a conversation on SERVICE and TOPIC (empty: any).
std::shared_ptr<Connection> Initiate(const std::filesystem::path& path, const std::string& service,
                                     const std::string& topic) {
    int fd = ConnectUnixSocket(path);
    if (fd < 0)
        return nullptr;
    auto connection = std::make_shared<Connection>(fd);
    dde::Frame request;
    request.kind = dde::FrameKind::Connect;
    request.sequence = 1;
    request.client_pid = static_cast<uint32_t>(::getpid());
    request.client_tick = GetTickCount();
    request.payload = service + std::string(1, '\0') + topic + std::string(1, '\0');
    if (!dde::WriteFrame(fd, request))
        return nullptr;
    dde::Frame answer;
    if (dde::ReadFrame(fd, answer, kConnectTimeoutMs) != dde::ReadResult::Ok)
        return nullptr;
    if (answer.kind != dde::FrameKind::Ack || answer.sequence != 1 || answer.status != 1) {
        return nullptr;
    }
    return connection;
}

enum class ExchangeResult { Acknowledged, Refused, TimedOut, ServerGone };

// Sends one execute frame and waits up to TIMEOUT_MS for its acknowledgement; answers to earlier
// requests that came too late are passed over.
ExchangeResult Execute(Connection& connection, const std::string& bytes, UINT format,
                       DWORD timeout_ms) {
    std::lock_guard exchange(connection.exchange_mutex());
    dde::Frame request;
    request.kind = dde::FrameKind::Execute;
    request.sequence = connection.NextSequence();
    request.format = format;
    request.client_pid = static_cast<uint32_t>(::getpid());
    request.client_tick = GetTickCount();
    request.payload = bytes;
    if (!dde::WriteFrame(connection.fd(), request))
        return ExchangeResult::ServerGone;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        // Rounded up, so that the wait never ends before the time-out.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            left = 0;
        dde::Frame answer;
        switch (dde::ReadFrame(connection.fd(), answer, static_cast<int>(left))) {
            case dde::ReadResult::Ok:
                break;
            case dde::ReadResult::TimedOut:
                return ExchangeResult::TimedOut;
            case dde::ReadResult::Closed:
            case dde::ReadResult::Malformed:
                return ExchangeResult::ServerGone;
        }
        if (answer.kind == dde::FrameKind::Ack && answer.sequence == request.sequence) {
            return answer.status == 1 ? ExchangeResult::Acknowledged : ExchangeResult::Refused;
        }
    }
}

}  // namespace
}  // namespace w95

using w95::System;

extern "C" UINT WINAPI DdeInitializeA(LPDWORD pidInst, PFNCALLBACK pfnCallback, DWORD afCmd,
                                      DWORD /*ulRes*/) {
    if (!pidInst || !pfnCallback)
        return DMLERR_INVALIDPARAMETER;
    auto& system = System();
    std::lock_guard lock(system.mutex);
    if (*pidInst != 0) {
        // A second call for a live instance changes its flags; an unknown id is a mistake.
        auto found = system.instances.find(*pidInst);
        if (found == system.instances.end())
            return DMLERR_INVALIDPARAMETER;
        found->second.flags = afCmd;
        found->second.callback = pfnCallback;
        return DMLERR_NO_ERROR;
    }
    w95::Instance instance;
    instance.callback = pfnCallback;
    instance.flags = afCmd;
    instance.owner = std::this_thread::get_id();
    DWORD id = system.NewInstanceId();
    system.instances[id] = instance;
    *pidInst = id;
    return DMLERR_NO_ERROR;
}

extern "C" BOOL WINAPI DdeUninitialize(DWORD idInst) {
    auto& system = System();
    std::vector<std::shared_ptr<w95::Connection>> closing;
    {
        std::lock_guard lock(system.mutex);
        if (system.instances.erase(idInst) == 0)
            return FALSE;
        for (auto it = system.conversations.begin(); it != system.conversations.end();) {
            if (it->second.instance == idInst) {
                closing.push_back(it->second.connection);
                it = system.conversations.erase(it);
            } else {
                ++it;
            }
        }
        auto drop = [idInst](auto& table) {
            for (auto it = table.begin(); it != table.end();) {
                it = it->second.instance == idInst ? table.erase(it) : std::next(it);
            }
        };
        drop(system.strings);
        drop(system.data);
    }
    for (auto& connection : closing)
        connection->Shutdown();
    return TRUE;
}

extern "C" UINT WINAPI DdeGetLastError(DWORD idInst) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.instances.find(idInst);
    if (found == system.instances.end())
        return DMLERR_DLL_NOT_INITIALIZED;
    UINT error = found->second.last_error;
    found->second.last_error = DMLERR_NO_ERROR;
    return error;
}

extern "C" HSZ WINAPI DdeCreateStringHandleA(DWORD idInst, LPCSTR psz, int iCodePage) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    if (!system.instances.count(idInst))
        return nullptr;
    if (!psz || std::strlen(psz) > w95::kMaxStringHandleText ||
        (iCodePage != 0 && iCodePage != CP_WINANSI)) {
        system.SetError(idInst, DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    // String handles are atoms: the same text, in any case, gives the same handle.
    const std::string key = w95::Lowered(psz);
    for (auto& [value, entry] : system.strings) {
        if (entry.instance == idInst && w95::Lowered(entry.text) == key) {
            ++entry.references;
            return reinterpret_cast<HSZ>(value);
        }
    }
    uintptr_t value = system.NewHandleValue();
    system.strings[value] = w95::StringHandle{idInst, psz, 1};
    return reinterpret_cast<HSZ>(value);
}

extern "C" BOOL WINAPI DdeFreeStringHandle(DWORD idInst, HSZ hsz) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.strings.find(reinterpret_cast<uintptr_t>(hsz));
    if (found == system.strings.end() || found->second.instance != idInst) {
        system.SetError(idInst, DMLERR_INVALIDPARAMETER);
        return FALSE;
    }
    if (--found->second.references == 0)
        system.strings.erase(found);
    return TRUE;
}

extern "C" DWORD WINAPI DdeQueryStringA(DWORD idInst, HSZ hsz, LPSTR psz, DWORD cchMax,
                                        int /*iCodePage*/) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    const w95::StringHandle* entry = system.FindString(idInst, hsz);
    if (!entry)
        return 0;
    const DWORD length = static_cast<DWORD>(entry->text.size());
    if (!psz)
        return length;
    if (cchMax == 0)
        return 0;
    DWORD copied = std::min(length, cchMax - 1);
    std::memcpy(psz, entry->text.data(), copied);
    psz[copied] = '\0';
    return copied;
}

extern "C" HCONV WINAPI DdeConnect(DWORD idInst, HSZ hszService, HSZ hszTopic,
                                   PCONVCONTEXT /*pCC*/) {
    auto& system = System();
    std::string service, topic;
    {
        std::lock_guard lock(system.mutex);
        if (!system.instances.count(idInst))
            return nullptr;
        const w95::StringHandle* service_entry = system.FindString(idInst, hszService);
        const w95::StringHandle* topic_entry = system.FindString(idInst, hszTopic);
        if ((hszService && !service_entry) || (hszTopic && !topic_entry)) {
            system.SetError(idInst, DMLERR_INVALIDPARAMETER);
            return nullptr;
        }
        if (service_entry)
            service = service_entry->text;
        if (topic_entry)
            topic = topic_entry->text;
    }
    // No lock while talking to servers: a slow one must not stall the other threads.
    std::shared_ptr<w95::Connection> connection;
    for (const auto& path : w95::ServerSockets(service)) {
        connection = w95::Initiate(path, service, topic);
        if (connection)
            break;
    }
    std::lock_guard lock(system.mutex);
    if (!system.instances.count(idInst))
        return nullptr;  // uninitialised meanwhile
    if (!connection) {
        system.SetError(idInst, DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    uintptr_t value = system.NewHandleValue();
    system.conversations[value] = w95::Conversation{idInst, connection};
    return reinterpret_cast<HCONV>(value);
}

extern "C" BOOL WINAPI DdeDisconnect(HCONV hConv) {
    auto& system = System();
    std::shared_ptr<w95::Connection> connection;
    {
        std::lock_guard lock(system.mutex);
        auto found = system.conversations.find(reinterpret_cast<uintptr_t>(hConv));
        if (found == system.conversations.end()) {
            system.SetErrorForThread(DMLERR_NO_CONV_ESTABLISHED);
            return FALSE;
        }
        connection = found->second.connection;
        system.conversations.erase(found);
    }
    connection->Shutdown();
    return TRUE;
}

extern "C" HDDEDATA WINAPI DdeCreateDataHandle(DWORD idInst, LPBYTE pSrc, DWORD cb, DWORD cbOff,
                                               HSZ hszItem, UINT wFmt, UINT afCmd) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    if (!system.instances.count(idInst))
        return nullptr;
    if (hszItem && !system.FindString(idInst, hszItem)) {
        system.SetError(idInst, DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    if (cb > w95::kMaxDataHandleBytes) {
        system.SetError(idInst, DMLERR_MEMORY_ERROR);
        return nullptr;
    }
    w95::DataHandle entry;
    entry.instance = idInst;
    entry.format = wFmt;
    entry.app_owned = (afCmd & HDATA_APPOWNED) != 0;
    if (pSrc) {
        entry.bytes.assign(reinterpret_cast<const char*>(pSrc) + cbOff, cb);
    } else {
        entry.bytes.assign(cb, '\0');
    }
    uintptr_t value = system.NewHandleValue();
    system.data[value] = std::move(entry);
    return reinterpret_cast<HDDEDATA>(value);
}

extern "C" BOOL WINAPI DdeFreeDataHandle(HDDEDATA hData) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    if (system.data.erase(reinterpret_cast<uintptr_t>(hData)) == 0) {
        system.SetErrorForThread(DMLERR_INVALIDPARAMETER);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WINAPI DdeGetData(HDDEDATA hData, LPBYTE pDst, DWORD cbMax, DWORD cbOff) {
    auto& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.data.find(reinterpret_cast<uintptr_t>(hData));
    if (found == system.data.end()) {
        system.SetErrorForThread(DMLERR_INVALIDPARAMETER);
        return 0;
    }
    const std::string& bytes = found->second.bytes;
    if (cbOff > bytes.size()) {
        system.SetError(found->second.instance, DMLERR_INVALIDPARAMETER);
        return 0;
    }
    const DWORD available = static_cast<DWORD>(bytes.size() - cbOff);
    if (!pDst)
        return available;  // the size the caller needs
    const DWORD copied = std::min(available, cbMax);
    std::memcpy(pDst, bytes.data() + cbOff, copied);
    return copied;
}

extern "C" HDDEDATA WINAPI DdeClientTransaction(LPBYTE pData, DWORD cbData, HCONV hConv,
                                                HSZ hszItem, UINT wFmt, UINT wType, DWORD dwTimeout,
                                                LPDWORD pdwResult) {
    auto& system = System();
    if (pdwResult)
        *pdwResult = 0;
    std::shared_ptr<w95::Connection> connection;
    DWORD instance = 0;
    std::string bytes;
    UINT format = wFmt;
    {
        std::lock_guard lock(system.mutex);
        // Data passed as a handle belongs to the system from here on, whatever becomes of the
        // transaction, unless the application keeps ownership.
        std::optional<w95::DataHandle> handed_over;
        if (cbData == w95::kDataIsHandle) {
            auto found = system.data.find(reinterpret_cast<uintptr_t>(pData));
            if (found != system.data.end()) {
                handed_over = found->second;
                if (!found->second.app_owned)
                    system.data.erase(found);
            }
        }
        auto conversation = system.conversations.find(reinterpret_cast<uintptr_t>(hConv));
        if (conversation == system.conversations.end()) {
            if (handed_over) {
                system.SetError(handed_over->instance, DMLERR_NO_CONV_ESTABLISHED);
            } else {
                system.SetErrorForThread(DMLERR_NO_CONV_ESTABLISHED);
            }
            return nullptr;
        }
        instance = conversation->second.instance;
        connection = conversation->second.connection;
        // Only synchronous execute transactions are emulated; the item name has no part in them.
        const bool bad_data = cbData == w95::kDataIsHandle
                                  ? !handed_over || handed_over->instance != instance
                                  : (!pData && cbData != 0);
        if (wType != XTYP_EXECUTE || bad_data || dwTimeout == 0xFFFFFFFF ||
            (hszItem && !system.FindString(instance, hszItem))) {
            system.SetError(instance, DMLERR_INVALIDPARAMETER);
            return nullptr;
        }
        if (handed_over) {
            bytes = std::move(handed_over->bytes);
            format = handed_over->format;
        } else {
            bytes.assign(reinterpret_cast<const char*>(pData), cbData);
        }
        if (bytes.size() > w95::dde::kMaxPayload) {
            system.SetError(instance, DMLERR_MEMORY_ERROR);
            return nullptr;
        }
    }

    w95::ExchangeResult result = w95::Execute(*connection, bytes, format, dwTimeout);

    std::lock_guard lock(system.mutex);
    switch (result) {
        case w95::ExchangeResult::Acknowledged:
            if (pdwResult)
                *pdwResult = DDE_FACK;
            return reinterpret_cast<HDDEDATA>(static_cast<uintptr_t>(TRUE));
        case w95::ExchangeResult::Refused:
            system.SetError(instance, DMLERR_NOTPROCESSED);
            return nullptr;
        case w95::ExchangeResult::TimedOut:
            system.SetError(instance, DMLERR_EXECACKTIMEOUT);
            return nullptr;
        case w95::ExchangeResult::ServerGone:
            break;
    }
    system.SetError(instance, DMLERR_SERVER_DIED);
    return nullptr;
}
