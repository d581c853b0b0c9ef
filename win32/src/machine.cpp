#include "machine.h"

#include "registry_store.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace w95 {
namespace {

struct MachineState {
    std::mutex mutex;
    std::filesystem::path dir;
    uint64_t generation = 1;
};

MachineState& State() {
    static MachineState state;
    return state;
}

std::filesystem::path DefaultMachineDir() {
    if (const char* env = std::getenv("W95_MACHINE"); env && *env) {
        return std::filesystem::absolute(env);
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / ".w95";
}

std::pair<int, int> ParsePair(const std::string& value, const std::string& name) {
    auto x = value.find('x');
    try {
        if (x == std::string::npos)
            throw std::invalid_argument("no x");
        size_t used1 = 0, used2 = 0;
        int a = std::stoi(value.substr(0, x), &used1);
        int b = std::stoi(value.substr(x + 1), &used2);
        if (used1 != x || used2 != value.size() - x - 1 || a <= 0 || b <= 0) {
            throw std::invalid_argument("bad");
        }
        return {a, b};
    } catch (const std::exception&) {
        throw std::invalid_argument(name + " takes WIDTHxHEIGHT, such as 800x600: " + value);
    }
}

}  // namespace

std::filesystem::path MachineDir() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (state.dir.empty())
        state.dir = DefaultMachineDir();
    return state.dir;
}

void UseMachine(const std::filesystem::path& dir) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.dir = std::filesystem::absolute(dir);
    ++state.generation;
}

uint64_t MachineGeneration() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.generation;
}

std::filesystem::path MachinePath(const std::string& relative) {
    return MachineDir() / relative;
}

std::filesystem::path DriveCRoot() {
    return MachineDir() / "c";
}

void InitMachine(const std::filesystem::path& dir) {
    for (const char* sub : {"c/WINDOWS/SYSTEM/tarvex", "dev", "dde", "journal"}) {
        std::filesystem::create_directories(dir / sub);
    }
    InitRegistry(dir);
}

MachineConfig LoadMachineConfig() {
    MachineConfig config;
    std::ifstream in(MachinePath("machine.json"));
    if (!in)
        return config;
    nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return config;
    config.platform = j.value("platform", config.platform);
    config.screen_width = j.value("screen_width", config.screen_width);
    config.screen_height = j.value("screen_height", config.screen_height);
    config.dialog_base_x = j.value("dialog_base_x", config.dialog_base_x);
    config.dialog_base_y = j.value("dialog_base_y", config.dialog_base_y);
    if (j.contains("tick_start"))
        config.tick_start = j["tick_start"].get<uint32_t>();
    return config;
}

void SaveMachineConfig(const MachineConfig& config) {
    nlohmann::json j = {{"platform", config.platform},
                        {"screen_width", config.screen_width},
                        {"screen_height", config.screen_height},
                        {"dialog_base_x", config.dialog_base_x},
                        {"dialog_base_y", config.dialog_base_y}};
    if (config.tick_start)
        j["tick_start"] = *config.tick_start;
    auto path = MachinePath("machine.json");
    auto tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp);
        out << j.dump(2) << "\n";
        if (!out)
            throw std::runtime_error("cannot write " + tmp.string());
    }
    std::filesystem::rename(tmp, path);
}

void SetMachineSetting(const std::string& name, const std::string& value) {
    MachineConfig config = LoadMachineConfig();
    if (name == "platform") {
        if (value == "95") {
            config.platform = 95;
        } else if (value == "98") {
            config.platform = 98;
        } else if (value == "nt") {
            config.platform = 0;
        } else {
            throw std::invalid_argument("platform takes 95, 98 or nt: " + value);
        }
    } else if (name == "screen") {
        std::tie(config.screen_width, config.screen_height) = ParsePair(value, name);
    } else if (name == "dialog-base-units") {
        std::tie(config.dialog_base_x, config.dialog_base_y) = ParsePair(value, name);
    } else if (name == "tick-start") {
        try {
            size_t used = 0;
            unsigned long long ms = std::stoull(value, &used);
            if (used != value.size() || ms > 0xFFFFFFFFull)
                throw std::out_of_range("range");
            config.tick_start = static_cast<uint32_t>(ms);
        } catch (const std::exception&) {
            throw std::invalid_argument("tick-start takes milliseconds from 0 to 4294967295: " +
                                        value);
        }
    } else {
        throw std::invalid_argument("unknown setting " + name +
                                    " (platform, screen, dialog-base-units, tick-start)");
    }
    SaveMachineConfig(config);
}

}  // namespace w95
