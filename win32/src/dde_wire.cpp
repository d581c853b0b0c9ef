#include "dde_wire.h"

#include "machine.h"
#include "unix_socket.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

namespace w95::dde {
namespace {

constexpr uint32_t kMagic = 0x31454444;  // "DDE1" in the header's first word
constexpr size_t kHeaderWords = 8;
constexpr size_t kHeaderBytes = kHeaderWords * sizeof(uint32_t);

using Clock = std::chrono::steady_clock;

ReadResult Received(ReceiveResult result) {
    switch (result) {
        case ReceiveResult::Complete:
            return ReadResult::Ok;
        case ReceiveResult::TimedOut:
            return ReadResult::TimedOut;
        case ReceiveResult::Closed:
            break;
    }
    return ReadResult::Closed;
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

bool WriteAck(int fd, uint32_t sequence, bool positive) {
    Frame answer;
    answer.kind = FrameKind::Ack;
    answer.sequence = sequence;
    answer.status = positive ? 1 : 0;
    return WriteFrame(fd, answer);
}

ReadResult ReadFrame(int fd, Frame& frame, int timeout_ms) {
    std::optional<Clock::time_point> deadline;
    if (timeout_ms >= 0)
        deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    uint32_t header[kHeaderWords];
    ReadResult result = Received(ReceiveAll(fd, header, kHeaderBytes, deadline));
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
    return Received(ReceiveAll(fd, frame.payload.data(), length, deadline));
}

std::filesystem::path ServiceSocketPath(const std::string& service) {
    return MachinePath("dde") / service;
}

}  // namespace w95::dde
