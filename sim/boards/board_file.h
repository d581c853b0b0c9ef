// The board file: a JSON description of the boards in the machine, their ports and how each
// port's modem behaves (format in README.md). Loading validates everything, so the simulator
// creates nothing for a file that is wrong.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace boardsim {

// A board file that cannot be used; the message names the place and what is wrong.
class BoardFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class Bus { kPci, kIsa };

// What one port's modem does wrong, if anything.
struct ModemFaults {
    bool silent = false;                  // answers nothing
    bool garbage = false;                 // every byte it sends is noise
    bool wrong_checksum = false;          // reports a checksum that differs from the firmware's
    bool no_echo = false;                 // does not echo commands
    bool long_answer = false;             // ATI5 answer line one character longer
    bool slow = false;                    // everything it sends is delayed by slow_ms
    bool cts_low = false;                 // never takes bytes off the line, so writes stall
    bool firmware_running = false;        // a revision "001" modem powers on with firmware
    bool checksum_leading_zero = false;   // checksum always printed with four digits
    bool checksum_trailing_text = false;  // checksum followed by "\r\n"
};

struct PortSpec {
    std::string name;            // serial device name: dev/<name>
    bool modem = true;           // false: nothing answers on the port
    std::string answer = "105";  // the ATI5 answer line of the running firmware
    int slow_ms = 5000;
    ModemFaults faults;
};

struct BoardSpec {
    int file_position = 0;  // index in the file's "boards" array
    Bus bus = Bus::kPci;
    std::optional<std::string> revision;  // PCI "HWRevision"; absent: no value written
    std::string device_key;               // PCI: ENUM\PCI\<device_key>\<instance_key>
    std::string instance_key;             // ISA: ENUM\ROOT\MULTIFUNCTION\<instance_key>
    std::string hardware_id;              // ISA "HardwareID"
    bool served_by_driver = true;         // false: enumerator keys only
    int driver_index = -1;                // 0 to 3 when served by the driver
    bool pacing = false;                  // bytes move at 115200 bit/s
    int quiet_ms = 1000;                  // silence that ends a loader or firmware transfer
    bool ram_firmware = false;            // revision "001": firmware lives in RAM
    std::vector<PortSpec> ports;
};

struct BoardFile {
    std::vector<BoardSpec> boards;             // in file order
    std::vector<int> driver_order;             // file positions of the driver's boards 0..3
    uint32_t modem_reset_delay = 10;           // units of 100 ms
    std::optional<uint32_t> get_config_error;  // DRV_GET_CONFIG fails with this code
};

BoardFile ParseBoardFile(const std::string& text);
BoardFile LoadBoardFile(const std::filesystem::path& path);

}  // namespace boardsim
