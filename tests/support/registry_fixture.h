// Seeding and reading the current machine's registry in tests.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace w95test {

// Applies a REGEDIT4 text (with or without its "REGEDIT4" first line).
void ImportRegistry(const std::string& text);

// A value's type and bytes, or nullopt when the key or the value does not exist.
struct StoredValue {
    DWORD type = 0;
    std::vector<BYTE> bytes;
};
std::optional<StoredValue> ReadValue(const std::string& key, const std::string& name);
std::optional<DWORD> ReadDword(const std::string& key, const std::string& name);
// The stored bytes of a REG_SZ value, terminator included.
std::optional<std::string> ReadString(const std::string& key, const std::string& name);
bool KeyExists(const std::string& key);

}  // namespace w95test
