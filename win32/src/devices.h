// Devices named "\\.\NAME" by CreateFileA: NAME is looked up in the machine's dev/ folder, where
// a serial port is a link to a tty and the board driver a Unix socket.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace w95 {

struct OpenRequest {
    DWORD access;
    DWORD share;
    DWORD creation;
    DWORD flags;
};

// Opens "\\.\NAME" (name is NAME); sets the last error and returns INVALID_HANDLE_VALUE on failure.
HANDLE OpenDevice(const std::string& name, const OpenRequest& request);

// The kinds of device, each in its own file.
HANDLE OpenCommPort(const std::filesystem::path& node, const std::string& name,
                    const OpenRequest& request);
HANDLE OpenDriverDevice(const std::filesystem::path& socket_path, const OpenRequest& request);

}  // namespace w95
