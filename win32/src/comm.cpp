// Serial ports: placeholder until the tty emulation lands.
#include "devices.h"

namespace w95 {

HANDLE OpenCommPort(const std::filesystem::path&, const std::string&, const OpenRequest&) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

}  // namespace w95
