// The wire between a DDE client of the emulated machine and a DDE server: a Unix stream socket
// named after the server's service in <machine>/dde/. Each message is one frame: a fixed header
// of 32-bit words followed by the payload bytes. Shared by the client library and the simulated
// servers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace w95::dde {

enum class FrameKind : uint32_t {
    Connect = 1,  // payload: service NUL topic NUL
    Execute = 2,  // payload: the command bytes exactly as the client passed them
    Ack = 3,      // status: 1 positive, 0 negative; sequence: the frame it answers
};

struct Frame {
    FrameKind kind = FrameKind::Ack;
    uint32_t sequence = 0;     // numbers the client's requests, so a late answer is recognised
    uint32_t format = 0;       // execute: the clipboard format of the data
    uint32_t status = 0;       // ack: 1 positive, 0 negative
    uint32_t client_pid = 0;   // requests: the sending process
    uint32_t client_tick = 0;  // requests: the sender's GetTickCount when it sent the frame
    std::string payload;
};

// A larger frame is taken for garbage and ends the connection.
constexpr size_t kMaxPayload = 64 * 1024;

enum class ReadResult { Ok, TimedOut, Closed, Malformed };

// Writes the whole frame; false when the peer has gone (never raises SIGPIPE).
bool WriteFrame(int fd, const Frame& frame);

// A server's positive or negative acknowledgement of the request numbered SEQUENCE.
bool WriteAck(int fd, uint32_t sequence, bool positive);

// Reads one whole frame, waiting at most TIMEOUT_MS in all (negative: without limit). A frame
// that has begun but not ended by then counts as timed out.
ReadResult ReadFrame(int fd, Frame& frame, int timeout_ms);

// The socket of the server of SERVICE in the current machine: <machine>/dde/SERVICE.
std::filesystem::path ServiceSocketPath(const std::string& service);

}  // namespace w95::dde
