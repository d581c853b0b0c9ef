// The board driver's requests as the programs send them through DeviceIoControl: the
// configuration record and the modems' reset lines. Every request is journalled first.
//
//   513 DRV_MODEM_RESET_ON   holds the addressed modem in reset
//   514 DRV_MODEM_RESET_OFF  releases it; the modem restarts
//   515 DRV_GET_CONFIG       fills the 540-byte DriverConfig (output of at least 540 bytes)
//   516 DRV_MODEM_INIT       brings the modem into service; the modem itself is unaffected
//   517 DRV_BOARD_RESET      restarts every modem of the board not held in reset
//
// A per-port request needs a 4-byte port key and writes the same key back to its output. A key
// naming no board or port of the driver fails with ERROR_INVALID_PARAMETER, as does a short
// input; an unknown code fails with ERROR_INVALID_FUNCTION.
#pragma once

#include "board_file.h"
#include "modem_port.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace boardsim {

struct DriverResult {
    bool ok = true;
    uint32_t error = 0;
    uint32_t returned = 0;
    std::vector<char> output;
};

class BoardDriver {
  public:
    // ports[b][p] is port p of the driver's board b.
    BoardDriver(const BoardFile& file, std::vector<std::vector<ModemPort*>> ports);

    // One request from the connection numbered `handle`; safe from many threads at once.
    DriverResult Handle(uint32_t handle, uint32_t code, const std::vector<char>& input,
                        uint32_t output_size);

  private:
    DriverResult GetConfig(uint32_t output_size) const;

    std::vector<std::vector<ModemPort*>> ports_;
    std::vector<char> config_;  // the record DRV_GET_CONFIG returns
    std::optional<uint32_t> get_config_error_;
};

}  // namespace boardsim
