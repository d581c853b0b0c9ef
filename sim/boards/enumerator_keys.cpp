#include "enumerator_keys.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace boardsim {
namespace {

class RegistryKey {
  public:
    explicit RegistryKey(const std::string& path) : path_(path) {
        LONG result =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        if (result != ERROR_SUCCESS)
            Throw("cannot create", result);
    }
    ~RegistryKey() { RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    void SetString(const char* name, const std::string& text) {
        LONG result =
            RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
        if (result != ERROR_SUCCESS)
            Throw(std::string("cannot set \"") + name + "\" of", result);
    }

  private:
    [[noreturn]] void Throw(const std::string& what, LONG error) const {
        throw std::runtime_error(what + " HKEY_LOCAL_MACHINE\\" + path_ + " (error " +
                                 std::to_string(error) + ")");
    }

    std::string path_;
    HKEY key_ = nullptr;
};

// Removes an instance key an earlier run left, so the new one carries only this run's values.
void RemoveStaleKey(const std::string& parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, parent.c_str(), &key) != ERROR_SUCCESS)
        return;
    RegDeleteKeyA(key, name.c_str());
    RegCloseKey(key);
}

}  // namespace

void WriteEnumeratorKeys(const BoardFile& file) {
    for (const auto& board : file.boards) {
        if (board.bus == Bus::kPci) {
            std::string parent = "ENUM\\PCI\\" + board.device_key;
            RemoveStaleKey(parent, board.instance_key);
            RegistryKey instance(parent + "\\" + board.instance_key);
            instance.SetString("DeviceDesc", "TarvexModem PCI board");
            instance.SetString("HardwareID", "PCI\\" + board.device_key);
            if (board.revision)
                instance.SetString("HWRevision", *board.revision);
        } else {
            std::string parent = "ENUM\\ROOT\\MULTIFUNCTION";
            RemoveStaleKey(parent, board.instance_key);
            RegistryKey instance(parent + "\\" + board.instance_key);
            instance.SetString("DeviceDesc", "TarvexModem ISA board");
            instance.SetString("HardwareID", board.hardware_id);
        }
    }
}

}  // namespace boardsim
