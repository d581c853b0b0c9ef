// Windows paths on the host. Drive C: is the machine's c/ folder, drive Z: the host's root. Windows
// names are case-insensitive, so every component is matched against what exists on the host; an
// exact match wins over one that differs only in case.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace w95 {

struct HostPath {
    std::filesystem::path path;  // components that do not exist keep the caller's spelling
    // ERROR_SUCCESS, or why the text names no path at all (ERROR_PATH_NOT_FOUND for an empty
    // path or an unknown drive, ERROR_INVALID_NAME for a character Windows refuses in names).
    DWORD error = ERROR_SUCCESS;
    bool parent_exists = false;  // every component but the last names an existing directory
};

// Maps a Windows path ("C:\...", "Z:\...", "\..." on drive C:, or relative to the current
// directory; "/" separates like "\") onto the host.
HostPath ToHostPath(const std::string& windows_path);

// The program of a command (its program part, without quotes) as Windows finds it: a name
// without an extension is looked for with ".exe" first, then as given; a bare name is looked for
// in the current directory, C:\WINDOWS\SYSTEM and C:\WINDOWS. nullopt when no file matches.
std::optional<std::filesystem::path> ResolveProgramPath(const std::string& program);

// The Windows name of a host path: "C:\..." inside the machine's drive C:, "Z:\..." elsewhere.
std::string ToWindowsPath(const std::filesystem::path& host_path);

}  // namespace w95
