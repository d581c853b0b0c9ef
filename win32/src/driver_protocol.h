// Frames on the board driver's socket (<machine>/dev/tarvexpt.vxd), shared by the layer's driver
// device and the board simulator. One connection is one open driver handle; requests on it are
// answered strictly in turn. All fields are host-endian 32-bit words (both ends run on one host).
//
//   request: DriverRequestHeader, then in_size bytes of input
//   reply:   DriverReplyHeader, then out_size bytes of output (never more than the request's
//            out_size); the caller copies them to the start of its output buffer
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace w95 {

constexpr char kDriverSocketName[] = "tarvexpt.vxd";

// Larger buffers are refused by both ends, so a corrupt header cannot make either allocate wildly.
constexpr uint32_t kDriverMaxBuffer = 64 * 1024;

struct DriverRequestHeader {
    uint32_t code;
    uint32_t in_size;
    uint32_t out_size;  // room in the caller's output buffer
};

struct DriverReplyHeader {
    uint32_t ok;        // 1: the request succeeded; 0: it failed with `error`
    uint32_t error;     // the Win32 error code of a failure
    uint32_t returned;  // what DeviceIoControl reports in lpBytesReturned
    uint32_t out_size;  // output bytes that follow
};

static_assert(sizeof(DriverRequestHeader) == 12, "request header is three words");
static_assert(sizeof(DriverReplyHeader) == 16, "reply header is four words");

// Sends all bytes; false when the peer is gone. Never raises SIGPIPE.
inline bool SendAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Receives exactly `size` bytes; false on end of stream, error or receive time-out.
inline bool ReceiveAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A Unix socket address for `path`. sun_path holds only 107 characters, so a longer path is
// reached through the directory's descriptor (/proc/self/fd/N/NAME); `dir_fd` receives that
// descriptor (or -1) and must stay open until bind or connect has returned.
inline bool MakeSocketAddress(const std::string& path, sockaddr_un& address, int& dir_fd) {
    dir_fd = -1;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::string target = path;
    if (target.size() >= sizeof(address.sun_path)) {
        auto slash = path.rfind('/');
        if (slash == std::string::npos)
            return false;
        std::string dir = slash == 0 ? "/" : path.substr(0, slash);
        dir_fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd < 0)
            return false;
        target = "/proc/self/fd/" + std::to_string(dir_fd) + path.substr(slash);
        if (target.size() >= sizeof(address.sun_path)) {
            ::close(dir_fd);
            dir_fd = -1;
            return false;
        }
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    return true;
}

}  // namespace w95
