// The emulated machine this process runs in: one directory holding the registry, drive C:, the
// devices, the journals and the machine's settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace w95 {

struct MachineConfig {
    int platform = 95;  // 95, 98, or 0 for the NT family ("nt")
    int screen_width = 800;
    int screen_height = 600;
    int dialog_base_x = 8;
    int dialog_base_y = 16;
    std::optional<uint32_t> tick_start;  // GetTickCount at process start, when set
};

// $W95_MACHINE, else ~/.w95, unless a test chose another with UseMachine.
std::filesystem::path MachineDir();

// Points this process at another machine directory (tests run one machine each).
// Every cache that depends on the machine compares MachineGeneration() and reloads.
void UseMachine(const std::filesystem::path& dir);
uint64_t MachineGeneration();

// Makes DIR a fresh machine: drive C: with C:\WINDOWS\SYSTEM, the device and journal folders,
// and the registry with the keys a fresh Windows 95 has. Keeps what an existing machine holds.
void InitMachine(const std::filesystem::path& dir);

// Paths inside the machine.
std::filesystem::path MachinePath(const std::string& relative);
std::filesystem::path DriveCRoot();  // <machine>/c

// The machine's settings, kept in machine.json; absent entries take the defaults above.
MachineConfig LoadMachineConfig();
void SaveMachineConfig(const MachineConfig& config);

// Sets one setting by the names of `w95 config`; throws std::invalid_argument on a bad name or
// value.
void SetMachineSetting(const std::string& name, const std::string& value);

}  // namespace w95
