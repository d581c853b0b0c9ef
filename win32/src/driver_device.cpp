// The board driver's device: each open handle is its own connection to the board simulator's
// socket, and DeviceIoControl is one request/reply exchange on it (frames in driver_protocol.h).
#include "devices.h"
#include "driver_protocol.h"
#include "io_object.h"
#include "unix_socket.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace w95 {
namespace {

// A request the simulator does not answer within this time leaves the connection unusable; the
// simulator answers at once, so this only bounds a caller's wait on a stopped simulator.
constexpr int kReplyTimeoutSeconds = 30;

class DriverConnection : public IoObject {
  public:
    explicit DriverConnection(int fd) : fd_(fd) {}
    ~DriverConnection() override { Disconnect(); }

    BOOL Control(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                 DWORD* returned) override {
        if (returned)
            *returned = 0;
        if ((in_size > 0 && !in) || (out_size > 0 && !out) || in_size > kDriverMaxBuffer ||
            out_size > kDriverMaxBuffer) {
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        }
        // Input and output are often the same buffer: send the input before anything is written.
        std::vector<char> frame(sizeof(DriverRequestHeader) + in_size);
        DriverRequestHeader header{code, in_size, out_size};
        std::memcpy(frame.data(), &header, sizeof(header));
        if (in_size > 0)
            std::memcpy(frame.data() + sizeof(header), in, in_size);

        // One request at a time per handle, so replies never cross between threads.
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return Fail(ERROR_GEN_FAILURE, FALSE);
        DriverReplyHeader reply{};
        if (!SendAll(fd_, frame.data(), frame.size()) ||
            ReceiveAll(fd_, &reply, sizeof(reply)) != ReceiveResult::Complete ||
            reply.out_size > out_size) {
            return Broken();
        }
        std::vector<char> output(reply.out_size);
        if (reply.out_size > 0 &&
            ReceiveAll(fd_, output.data(), output.size()) != ReceiveResult::Complete) {
            return Broken();
        }
        if (!output.empty())
            std::memcpy(out, output.data(), output.size());
        if (returned)
            *returned = reply.returned;
        if (!reply.ok)
            return Fail(reply.error, FALSE);
        return TRUE;
    }

    void OnClose() override {
        std::lock_guard lock(mutex_);
        Disconnect();
    }

  private:
    // The simulator went away or the stream lost its framing: later requests fail at once.
    BOOL Broken() {
        Disconnect();
        return Fail(ERROR_GEN_FAILURE, FALSE);
    }

    void Disconnect() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    std::mutex mutex_;
    int fd_;
};

}  // namespace

HANDLE OpenDriverDevice(const std::filesystem::path& socket_path, const OpenRequest&) {
    int fd = ConnectUnixSocket(socket_path);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE)
            return Fail(ERROR_TOO_MANY_OPEN_FILES, INVALID_HANDLE_VALUE);
        // A socket left behind by a simulator that has ended is the same as no driver.
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    timeval timeout{kReplyTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    HANDLE handle = AddHandle(std::make_shared<DriverConnection>(fd));
    if (!handle)
        return INVALID_HANDLE_VALUE;  // the table is full; the socket closed with its object
    return handle;
}

}  // namespace w95
