#include "devices.h"

#include "machine.h"

#include <sys/stat.h>

#include <cctype>

namespace w95 {
namespace {

// dev/ entries are matched case-insensitively, as Windows matches device names.
std::filesystem::path FindDeviceNode(const std::string& name) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(MachinePath("dev"), error)) {
        std::string candidate = entry.path().filename().string();
        if (candidate.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(candidate[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        }
        if (same)
            return entry.path();
    }
    return {};
}

}  // namespace

HANDLE OpenDevice(const std::string& name, const OpenRequest& request) {
    auto node = FindDeviceNode(name);
    struct stat info {};
    if (node.empty() || ::stat(node.c_str(), &info) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISSOCK(info.st_mode))
        return OpenDriverDevice(node, request);
    return OpenCommPort(node, name, request);
}

}  // namespace w95
