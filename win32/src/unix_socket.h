// Unix stream sockets as the machine's devices and servers use them: whole-buffer sends and
// receives, and connecting to or listening on a socket file by path, however long the path.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>

namespace w95 {

// Sends all SIZE bytes; false when the peer has gone. Never raises SIGPIPE.
bool SendAll(int fd, const void* data, size_t size);

enum class ReceiveResult { Complete, TimedOut, Closed };

// Receives exactly SIZE bytes. With a DEADLINE, bytes still missing then make it TimedOut;
// without one it waits as long as the socket's own receive time-out (if any) lets it.
ReceiveResult ReceiveAll(
    int fd, void* data, size_t size,
    std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

// A blocking, close-on-exec connection to the socket at PATH, or -1 with errno set.
int ConnectUnixSocket(const std::filesystem::path& path);

// A close-on-exec socket listening at PATH. A socket file there that nobody listens on (left by
// a server that ended) is replaced; while another server listens there it is left alone and the
// result is -1. Throws std::runtime_error when the socket cannot be made.
int ListenUnixSocket(const std::filesystem::path& path, int backlog);

}  // namespace w95
