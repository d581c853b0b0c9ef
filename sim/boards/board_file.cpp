#include "board_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace boardsim {
namespace {

using nlohmann::json;

constexpr int kMaxDriverBoards = 4;
constexpr size_t kMaxPorts = 8;
constexpr size_t kMaxPortName = 15;  // the driver's name fields hold 16 bytes with the NUL

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw BoardFileError(where + ": " + what);
}

void CheckKeys(const json& object, const std::string& where,
               std::initializer_list<const char*> allowed) {
    for (const auto& item : object.items()) {
        bool known = std::any_of(allowed.begin(), allowed.end(),
                                 [&](const char* name) { return item.key() == name; });
        if (!known)
            Fail(where, "unknown field \"" + item.key() + "\"");
    }
}

std::string GetString(const json& object, const char* key, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_string())
        Fail(where + "." + key, "must be a string");
    return value.get<std::string>();
}

bool GetBool(const json& object, const char* key, const std::string& where) {
    const json& value = object.at(key);
    if (!value.is_boolean())
        Fail(where + "." + key, "must be true or false");
    return value.get<bool>();
}

int64_t GetNumber(const json& object, const char* key, const std::string& where, int64_t low,
                  int64_t high) {
    const json& value = object.at(key);
    if (!value.is_number_integer())
        Fail(where + "." + key, "must be a whole number");
    int64_t number = value.get<int64_t>();
    if (number < low || number > high) {
        Fail(where + "." + key,
             "must be from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return number;
}

// A registry key name written by the enumerator: one path component.
std::string GetKeyName(const json& object, const char* key, const std::string& where) {
    std::string name = GetString(object, key, where);
    if (name.empty() || name.size() > 255 || name.find('\\') != std::string::npos) {
        Fail(where + "." + key, "must be a key name of 1 to 255 characters without \"\\\"");
    }
    return name;
}

void ApplyFault(const std::string& fault, ModemFaults& faults, const std::string& where) {
    struct Entry {
        const char* name;
        bool ModemFaults::*flag;
    };
    static const Entry kFaults[] = {
        {"silent", &ModemFaults::silent},
        {"garbage", &ModemFaults::garbage},
        {"wrong_checksum", &ModemFaults::wrong_checksum},
        {"no_echo", &ModemFaults::no_echo},
        {"long_answer", &ModemFaults::long_answer},
        {"slow", &ModemFaults::slow},
        {"cts_low", &ModemFaults::cts_low},
        {"firmware_running", &ModemFaults::firmware_running},
        {"checksum_leading_zero", &ModemFaults::checksum_leading_zero},
        {"checksum_trailing_text", &ModemFaults::checksum_trailing_text},
    };
    for (const auto& entry : kFaults) {
        if (fault == entry.name) {
            faults.*entry.flag = true;
            return;
        }
    }
    std::string known;
    for (const auto& entry : kFaults)
        known += std::string(known.empty() ? "" : ", ") + entry.name;
    Fail(where, "unknown fault \"" + fault + "\" (known: " + known + ")");
}

PortSpec ParsePort(const json& item, bool board_modems, const std::string& where) {
    PortSpec port;
    port.modem = board_modems;
    if (!item.is_object())
        Fail(where, "must be an object");
    CheckKeys(item, where, {"name", "modem", "answer", "slow_ms", "faults"});
    if (item.contains("name")) {
        port.name = GetString(item, "name", where);
        bool bad = port.name.empty() || port.name.size() > kMaxPortName || port.name == "." ||
                   port.name == "..";
        for (unsigned char c : port.name)
            bad = bad || c <= ' ' || c >= 0x7F || c == '/' || c == '\\';
        if (bad)
            Fail(where + ".name", "must be 1 to 15 printable characters without / or \\");
    }
    if (item.contains("modem"))
        port.modem = GetBool(item, "modem", where);
    if (item.contains("answer")) {
        port.answer = GetString(item, "answer", where);
        bool bad = port.answer.empty() || port.answer.size() > 32;
        for (unsigned char c : port.answer)
            bad = bad || c < ' ' || c >= 0x7F;
        if (bad)
            Fail(where + ".answer", "must be 1 to 32 printable characters");
    }
    if (item.contains("slow_ms")) {
        port.slow_ms = static_cast<int>(GetNumber(item, "slow_ms", where, 0, 600000));
    }
    if (item.contains("faults")) {
        const json& faults = item.at("faults");
        if (!faults.is_array())
            Fail(where + ".faults", "must be an array of fault names");
        for (size_t i = 0; i < faults.size(); ++i) {
            std::string at = where + ".faults[" + std::to_string(i) + "]";
            if (!faults[i].is_string())
                Fail(at, "must be a fault name");
            ApplyFault(faults[i].get<std::string>(), port.faults, at);
        }
    }
    return port;
}

BoardSpec ParseBoard(const json& item, int position, int pci_ordinal, int isa_ordinal) {
    std::string where = "boards[" + std::to_string(position) + "]";
    if (!item.is_object())
        Fail(where, "must be an object");
    CheckKeys(item, where,
              {"bus", "revision", "device", "instance", "hardware_id", "driver", "modems", "ports",
               "pacing", "quiet_ms"});
    BoardSpec board;
    board.file_position = position;
    if (!item.contains("bus"))
        Fail(where, "\"bus\" is missing (\"pci\" or \"isa\")");
    std::string bus = GetString(item, "bus", where);
    if (bus == "pci") {
        board.bus = Bus::kPci;
    } else if (bus == "isa") {
        board.bus = Bus::kIsa;
    } else {
        Fail(where + ".bus", "must be \"pci\" or \"isa\", not \"" + bus + "\"");
    }
    bool pci = board.bus == Bus::kPci;
    bool modems = item.contains("modems") ? GetBool(item, "modems", where) : true;

    if (item.contains("revision")) {
        if (!pci)
            Fail(where + ".revision", "only PCI boards have a hardware revision");
        board.revision = GetString(item, "revision", where);
    }
    if (item.contains("device")) {
        if (!pci)
            Fail(where + ".device", "only PCI boards have a device key");
        board.device_key = GetKeyName(item, "device", where);
    } else if (pci) {
        // The device digit after "DEV_000" tells modem boards (C) from plain ones (4).
        board.device_key = modems ? "VEN_1D2C&DEV_000C" : "VEN_1D2C&DEV_0004";
    }
    if (item.contains("hardware_id")) {
        if (pci)
            Fail(where + ".hardware_id", "only ISA boards have a hardware identifier");
        board.hardware_id = GetString(item, "hardware_id", where);
    } else if (!pci) {
        board.hardware_id = modems ? "TRVX1002M" : "TRVX1002";
    }
    if (item.contains("instance")) {
        board.instance_key = GetKeyName(item, "instance", where);
    } else {
        char name[32];
        if (pci) {
            std::snprintf(name, sizeof(name), "BUS_00&DEV_%02X&FUNC_00", 0x0A + pci_ordinal);
        } else {
            std::snprintf(name, sizeof(name), "%04d", isa_ordinal);
        }
        board.instance_key = name;
    }
    if (item.contains("driver"))
        board.served_by_driver = GetBool(item, "driver", where);
    if (item.contains("pacing"))
        board.pacing = GetBool(item, "pacing", where);
    if (item.contains("quiet_ms")) {
        board.quiet_ms = static_cast<int>(GetNumber(item, "quiet_ms", where, 100, 2500));
    }
    board.ram_firmware = pci && board.revision && *board.revision == "001";

    if (item.contains("ports")) {
        const json& ports = item.at("ports");
        std::string at = where + ".ports";
        if (!board.served_by_driver)
            Fail(at, "a board the driver does not serve has no ports");
        if (ports.is_number_integer()) {
            int64_t count = GetNumber(item, "ports", where, 0, kMaxPorts);
            board.ports.resize(static_cast<size_t>(count));
            for (auto& port : board.ports)
                port.modem = modems;
        } else if (ports.is_array()) {
            if (ports.size() > kMaxPorts)
                Fail(at, "a board has at most 8 ports");
            for (size_t i = 0; i < ports.size(); ++i) {
                board.ports.push_back(
                    ParsePort(ports[i], modems, at + "[" + std::to_string(i) + "]"));
            }
        } else {
            Fail(at, "must be a port count (0 to 8) or an array of ports");
        }
    }
    return board;
}

// Boards take the driver's indexes in the order detection finds them: the PCI device keys in the
// order the enumerator created them (each board's instance under its device key), then the ISA
// instances. Boards sharing a device key are therefore found together.
void NumberDriverBoards(BoardFile& file) {
    std::vector<std::string> device_keys;
    for (const auto& board : file.boards) {
        if (board.bus != Bus::kPci)
            continue;
        std::string key = Lower(board.device_key);
        if (std::find(device_keys.begin(), device_keys.end(), key) == device_keys.end()) {
            device_keys.push_back(key);
        }
    }
    for (const auto& key : device_keys) {
        for (const auto& board : file.boards) {
            if (board.bus == Bus::kPci && board.served_by_driver &&
                Lower(board.device_key) == key) {
                file.driver_order.push_back(board.file_position);
            }
        }
    }
    for (const auto& board : file.boards) {
        if (board.bus == Bus::kIsa && board.served_by_driver) {
            file.driver_order.push_back(board.file_position);
        }
    }
    if (file.driver_order.size() > kMaxDriverBoards) {
        Fail("boards", "the driver serves at most 4 boards; mark the others \"driver\": false");
    }
    for (size_t index = 0; index < file.driver_order.size(); ++index) {
        file.boards[file.driver_order[index]].driver_index = static_cast<int>(index);
    }
}

// Unnamed ports are called COM5, COM6, ... across the driver's boards in index order, passing
// over names that the file gives explicitly.
void NamePorts(BoardFile& file) {
    std::set<std::string> taken;
    for (const auto& board : file.boards) {
        for (size_t p = 0; p < board.ports.size(); ++p) {
            const std::string& name = board.ports[p].name;
            if (name.empty())
                continue;
            std::string where = "boards[" + std::to_string(board.file_position) + "].ports[" +
                                std::to_string(p) + "].name";
            if (Lower(name) == Lower(std::string("tarvexpt.vxd"))) {
                Fail(where, "is the driver's device name");
            }
            if (!taken.insert(Lower(name)).second)
                Fail(where, "\"" + name + "\" is used twice");
        }
    }
    int next = 5;
    for (int position : file.driver_order) {
        for (auto& port : file.boards[position].ports) {
            if (!port.name.empty())
                continue;
            while (taken.count("com" + std::to_string(next)))
                ++next;
            port.name = "COM" + std::to_string(next++);
            taken.insert(Lower(port.name));
        }
    }
}

void CheckKeysUnique(const BoardFile& file) {
    std::set<std::string> paths;
    for (const auto& board : file.boards) {
        std::string path = board.bus == Bus::kPci
                               ? "PCI\\" + board.device_key + "\\" + board.instance_key
                               : "ROOT\\MULTIFUNCTION\\" + board.instance_key;
        if (!paths.insert(Lower(path)).second) {
            Fail("boards[" + std::to_string(board.file_position) + "]",
                 "enumerator key ENUM\\" + path + " is used by an earlier board");
        }
    }
}

}  // namespace

BoardFile ParseBoardFile(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& error) {
        throw BoardFileError(std::string("not valid JSON: ") + error.what());
    }
    if (!root.is_object())
        Fail("board file", "must be a JSON object");
    CheckKeys(root, "board file", {"boards", "modem_reset_delay", "driver"});
    BoardFile file;
    if (root.contains("modem_reset_delay")) {
        file.modem_reset_delay =
            static_cast<uint32_t>(GetNumber(root, "modem_reset_delay", "board file", 0, 600));
    }
    if (root.contains("driver")) {
        const json& driver = root.at("driver");
        if (!driver.is_object())
            Fail("driver", "must be an object");
        CheckKeys(driver, "driver", {"get_config_error"});
        if (driver.contains("get_config_error")) {
            file.get_config_error =
                static_cast<uint32_t>(GetNumber(driver, "get_config_error", "driver", 1, 65535));
        }
    }
    if (!root.contains("boards") || !root.at("boards").is_array()) {
        Fail("board file", "\"boards\" must be an array of boards");
    }
    int pci = 0, isa = 0;
    for (const auto& item : root.at("boards")) {
        BoardSpec board = ParseBoard(item, static_cast<int>(file.boards.size()), pci, isa);
        (board.bus == Bus::kPci ? pci : isa)++;
        file.boards.push_back(std::move(board));
    }
    CheckKeysUnique(file);
    NumberDriverBoards(file);
    NamePorts(file);
    return file;
}

BoardFile LoadBoardFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw BoardFileError(path.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return ParseBoardFile(text.str());
    } catch (const BoardFileError& error) {
        throw BoardFileError(path.string() + ": " + error.what());
    }
}

}  // namespace boardsim
