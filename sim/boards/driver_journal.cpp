#include "driver_journal.h"

#include "journal.h"

namespace boardsim {

void JournalRequest(uint32_t code, std::optional<PortAddress> address, uint32_t handle,
                    std::optional<uint32_t> error) {
    nlohmann::ordered_json event = {{"event", "request"}, {"code", code}};
    if (address) {
        event["board"] = address->board;
        event["port"] = address->port;
    }
    event["handle"] = handle;
    if (error)
        event["error"] = *error;
    w95::JournalEvent("driver", event);
}

void JournalDownload(PortAddress address, size_t loader_bytes, size_t firmware_bytes,
                     const std::string& checksum, const std::string& reported) {
    nlohmann::ordered_json event = {
        {"event", "download"},          {"board", address.board},           {"port", address.port},
        {"loader_bytes", loader_bytes}, {"firmware_bytes", firmware_bytes}, {"checksum", checksum}};
    if (reported != checksum)
        event["reported"] = reported;
    w95::JournalEvent("driver", event);
}

}  // namespace boardsim
