#include "registry_fixture.h"

#include "regedit.h"

#include <cstring>

namespace w95test {

void ImportRegistry(const std::string& text) {
    if (text.rfind("REGEDIT4", 0) == 0) {
        w95::ImportRegedit(text);
    } else {
        w95::ImportRegedit("REGEDIT4\n\n" + text);
    }
}

std::optional<StoredValue> ReadValue(const std::string& key, const std::string& name) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.resize(size);
        result =
            RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
    }
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::optional<DWORD> ReadDword(const std::string& key, const std::string& name) {
    auto value = ReadValue(key, name);
    if (!value || value->type != REG_DWORD || value->bytes.size() != 4)
        return std::nullopt;
    DWORD result;
    std::memcpy(&result, value->bytes.data(), 4);
    return result;
}

std::optional<std::string> ReadString(const std::string& key, const std::string& name) {
    auto value = ReadValue(key, name);
    if (!value || value->type != REG_SZ)
        return std::nullopt;
    return std::string(value->bytes.begin(), value->bytes.end());
}

bool KeyExists(const std::string& key) {
    HKEY handle;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

}  // namespace w95test
