// The driver journal (<machine>/journal/driver.jsonl): one event per driver request, in the order
// the requests arrive, and one per firmware a modem has received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace boardsim {

struct PortAddress {
    uint32_t board;
    uint32_t port;
};

// {"event":"request","code":513,"board":1,"port":5,"handle":3}; board and port appear when the
// request carries a port key, "error" when the driver fails the request.
void JournalRequest(uint32_t code, std::optional<PortAddress> address, uint32_t handle,
                    std::optional<uint32_t> error);

// {"event":"download","board":0,"port":2,"loader_bytes":N,"firmware_bytes":N,"checksum":"ABCD"}:
// checksum is the firmware's own ("%X"); "reported" is added when the modem said otherwise.
void JournalDownload(PortAddress address, size_t loader_bytes, size_t firmware_bytes,
                     const std::string& checksum, const std::string& reported);

}  // namespace boardsim
