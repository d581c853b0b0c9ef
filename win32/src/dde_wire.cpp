#include "dde_wire.h"

#include "machine.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace w95::dde {
namespace {

constexpr uint32_t kMagic = 0x31454444;  // "DDE1" in the header's first word
constexpr size_t kHeaderWords = 8;
constexpr size_t kHeaderBytes = kHeaderWords * sizeof(uint32_t);

using Clock = std::chrono::steady_clock;

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// Fills BUFFER completely before DEADLINE (none when HAS_DEADLINE is false).
ReadResult ReceiveAll(int fd, char* buffer, size_t size, bool has_deadline,
                      Clock::time_point deadline) {
    while (size > 0) {
        int wait_ms = -1;
        if (has_deadline) {
            // Rounded up, so that a wait never ends a little before the deadline.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return ReadResult::TimedOut;
            wait_ms = static_cast<int>(left.count());
        }
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, wait_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return ReadResult::Closed;
        if (ready == 0)
            continue;  // the deadline is checked at the top
        ssize_t got = ::recv(fd, buffer, size, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return ReadResult::Closed;
        buffer += got;
        size -= static_cast<size_t>(got);
    }
    return ReadResult::Ok;
}

}  // namespace

bool WriteFrame(int fd, const Frame& frame) {
    if (frame.payload.size() > kMaxPayload)
        return false;
    uint32_t header[kHeaderWords] = {kMagic,
                                     static_cast<uint32_t>(frame.kind),
                                     frame.sequence,
                                     frame.format,
                                     frame.status,
                                     frame.client_pid,
                                     frame.client_tick,
                                     static_cast<uint32_t>(frame.payload.size())};
    std::vector<char> bytes(kHeaderBytes + frame.payload.size());
    std::memcpy(bytes.data(), header, kHeaderBytes);
    std::memcpy(bytes.data() + kHeaderBytes, frame.payload.data(), frame.payload.size());
    return SendAll(fd, bytes.data(), bytes.size());
}

ReadResult ReadFrame(int fd, Frame& frame, int timeout_ms) {
    const bool has_deadline = timeout_ms >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(has_deadline ? timeout_ms : 0);
    uint32_t header[kHeaderWords];
    ReadResult result =
        ReceiveAll(fd, reinterpret_cast<char*>(header), kHeaderBytes, has_deadline, deadline);
    if (result != ReadResult::Ok)
        return result;
    const uint32_t kind = header[1];
    const uint32_t length = header[7];
    if (header[0] != kMagic || kind < 1 || kind > 3 || length > kMaxPayload) {
        return ReadResult::Malformed;
    }
    frame.kind = static_cast<FrameKind>(kind);
    frame.sequence = header[2];
    frame.format = header[3];
    frame.status = header[4];
    frame.client_pid = header[5];
    frame.client_tick = header[6];
    frame.payload.assign(length, '\0');
    return ReceiveAll(fd, frame.payload.data(), length, has_deadline, deadline);
}

std::filesystem::path ServiceSocketPath(const std::string& service) {
    return MachinePath("dde") / service;
}

}  // namespace w95::dde
