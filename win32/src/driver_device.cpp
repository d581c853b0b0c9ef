// The board driver's device: placeholder until the driver connection lands.
#include "devices.h"

namespace w95 {

HANDLE OpenDriverDevice(const std::filesystem::path&, const OpenRequest&) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

}  // namespace w95
