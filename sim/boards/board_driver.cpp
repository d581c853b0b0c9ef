#include "board_driver.h"

#include "driver.h"
#include "driver_journal.h"

#include <cstring>

namespace boardsim {
namespace {

DriverResult Failure(uint32_t error) {
    DriverResult result;
    result.ok = false;
    result.error = error;
    return result;
}

}  // namespace

BoardDriver::BoardDriver(const BoardFile& file, std::vector<std::vector<ModemPort*>> ports)
    : ports_(std::move(ports)), get_config_error_(file.get_config_error) {
    DriverConfig config;
    std::memset(&config, 0, sizeof(config));
    config.RecordSize = DRIVER_CONFIG_SIZE;
    config.ModemResetDelay = file.modem_reset_delay;
    for (size_t index = 0; index < file.driver_order.size(); ++index) {
        const BoardSpec& board = file.boards[file.driver_order[index]];
        BoardEntry& entry = config.Boards[index];
        entry.PortCount = static_cast<DWORD>(board.ports.size());
        for (size_t p = 0; p < board.ports.size(); ++p) {
            // Names are at most 15 characters (checked on loading): the NUL always fits.
            std::strncpy(entry.PortNames[p], board.ports[p].name.c_str(), PORT_NAME_SIZE - 1);
        }
    }
    config_.resize(sizeof(config));
    std::memcpy(config_.data(), &config, sizeof(config));
}

DriverResult BoardDriver::GetConfig(uint32_t output_size) const {
    if (get_config_error_)
        return Failure(*get_config_error_);
    if (output_size < config_.size())
        return Failure(ERROR_INSUFFICIENT_BUFFER);
    DriverResult result;
    result.output = config_;
    result.returned = static_cast<uint32_t>(config_.size());
    return result;
}

DriverResult BoardDriver::Handle(uint32_t handle, uint32_t code, const std::vector<char>& input,
                                 uint32_t output_size) {
    if (code == DRV_GET_CONFIG) {
        DriverResult result = GetConfig(output_size);
        JournalRequest(code, std::nullopt, handle,
                       result.ok ? std::nullopt : std::optional<uint32_t>(result.error));
        return result;
    }
    bool per_port = code == DRV_MODEM_RESET_ON || code == DRV_MODEM_RESET_OFF ||
                    code == DRV_MODEM_INIT || code == DRV_BOARD_RESET;
    if (!per_port || input.size() < sizeof(PortKey)) {
        DriverResult result = Failure(per_port ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FUNCTION);
        JournalRequest(code, std::nullopt, handle, result.error);
        return result;
    }
    PortKey key;
    std::memcpy(&key, input.data(), sizeof(key));
    PortAddress address{key >> 16, key & 0xFFFFu};
    bool board_known = address.board < ports_.size();
    bool port_known = board_known && address.port < ports_[address.board].size();
    bool known = code == DRV_BOARD_RESET ? board_known : port_known;
    if (!known) {
        JournalRequest(code, address, handle, ERROR_INVALID_PARAMETER);
        return Failure(ERROR_INVALID_PARAMETER);
    }
    JournalRequest(code, address, handle, std::nullopt);
    switch (code) {
        case DRV_MODEM_RESET_ON:
            ports_[address.board][address.port]->SetResetHeld(true);
            break;
        case DRV_MODEM_RESET_OFF:
            ports_[address.board][address.port]->SetResetHeld(false);
            break;
        case DRV_BOARD_RESET:
            for (ModemPort* port : ports_[address.board])
                port->PulseReset();
            break;
        default:
            break;  // DRV_MODEM_INIT: the modem needs nothing more once it runs
    }
    DriverResult result;
    if (output_size >= sizeof(PortKey)) {
        // Callers reuse the buffer for the next request of a sequence: it must keep the key.
        result.output.assign(input.begin(), input.begin() + sizeof(PortKey));
        result.returned = sizeof(PortKey);
    }
    return result;
}

}  // namespace boardsim
