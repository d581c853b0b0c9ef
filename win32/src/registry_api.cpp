// The registry functions of winreg.h with Windows 95 semantics. An open key is an entry of the
// kernel handle table naming a key row and the access granted; the key itself lives in the
// machine's registry database. Every call is one transaction of its own.
#include "registry_store.h"

#include "handles.h"
#include "machine.h"

#include <cstring>

namespace w95 {
namespace {

// The rights that change a key: without them a handle can read, but not write.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

class OpenKey : public KernelObject {
  public:
    OpenKey(KeyId id, std::string path, REGSAM access)
        : id(id), path(std::move(path)), access(access), generation(MachineGeneration()) {}

    const KeyId id;
    const std::string path;  // below HKEY_LOCAL_MACHINE, as the caller spelled it
    const REGSAM access;
    const uint64_t generation;  // the machine the key belongs to
};

// What a HKEY argument names: HKEY_LOCAL_MACHINE itself or an open key.
struct KeyRef {
    KeyId id = kRootKeyId;
    std::string path;
    REGSAM access = KEY_ALL_ACCESS;
};

// The predefined roots other than HKEY_LOCAL_MACHINE, which this machine does not have.
bool IsOtherRoot(HKEY key) {
    auto value = reinterpret_cast<uintptr_t>(key);
    for (uint32_t root = 0x80000000u; root <= 0x80000006u; ++root) {
        auto predefined = static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(root)));
        if (value == predefined && key != HKEY_LOCAL_MACHINE)
            return true;
    }
    return false;
}

LONG Resolve(HKEY key, KeyRef& ref) {
    if (key == HKEY_LOCAL_MACHINE) {
        ref = KeyRef{};
        return ERROR_SUCCESS;
    }
    if (IsOtherRoot(key))
        return ERROR_FILE_NOT_FOUND;
    auto open = LookupHandleAs<OpenKey>(key);
    if (!open || open->generation != MachineGeneration())
        return ERROR_INVALID_HANDLE;
    ref = KeyRef{open->id, open->path, open->access};
    return ERROR_SUCCESS;
}

std::string JoinPath(const std::string& base, LPCSTR sub) {
    if (!sub || !*sub)
        return base;
    return base.empty() ? std::string(sub) : base + "\\" + sub;
}

LONG NewHandle(KeyId id, std::string path, REGSAM access, PHKEY result) {
    HANDLE handle = AddHandle(std::make_shared<OpenKey>(id, std::move(path), access));
    if (!handle)
        return ERROR_TOO_MANY_OPEN_FILES;
    *result = static_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

// Opens SUB below BASE granting ACCESS; write opens of a key marked DenyWriteOpen are refused
// when CHECK_FAULTS is set.
LONG OpenKeyBelow(HKEY base, LPCSTR sub, REGSAM access, bool check_faults, PHKEY result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef ref;
    if (LONG error = Resolve(base, ref))
        return error;
    std::string path = JoinPath(ref.path, sub);
    KeyId id;
    {
        RegistryTransaction transaction(RegistryTransaction::Mode::Read);
        if (!transaction.KeyExists(ref.id))
            return ERROR_KEY_DELETED;
        auto found = transaction.FindKey(ref.id, sub ? sub : "");
        if (!found)
            return ERROR_FILE_NOT_FOUND;
        if (check_faults && (access & kWriteRights) &&
            transaction.FaultApplies(path, RegistryFault::DenyWriteOpen, true)) {
            return ERROR_ACCESS_DENIED;
        }
        id = *found;
    }
    return NewHandle(id, std::move(path), access, result);
}

// Runs a registry call, turning a storage failure into the registry's I/O error.
template <class F>
LONG Guarded(F&& call) {
    try {
        return call();
    } catch (const std::exception&) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

}  // namespace
}  // namespace w95

using namespace w95;

extern "C" LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return Guarded([&] { return OpenKeyBelow(hKey, lpSubKey, KEY_ALL_ACCESS, false, phkResult); });
}

extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                     PHKEY phkResult) {
    (void)ulOptions;
    return Guarded([&] { return OpenKeyBelow(hKey, lpSubKey, samDesired, true, phkResult); });
}

extern "C" LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                       DWORD dwOptions, REGSAM samDesired,
                                       LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition) {
    (void)Reserved, (void)lpClass, (void)dwOptions, (void)lpSecurityAttributes;
    return Guarded([&]() -> LONG {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        std::string path = JoinPath(ref.path, lpSubKey);
        KeyId id;
        bool created = false;
        {
            RegistryTransaction transaction(RegistryTransaction::Mode::Write);
            if (!transaction.KeyExists(ref.id))
                return ERROR_KEY_DELETED;
            if (transaction.FaultApplies(path, RegistryFault::DenyWriteOpen, true)) {
                return ERROR_ACCESS_DENIED;
            }
            std::string sub = lpSubKey ? lpSubKey : "";
            if (!transaction.FindKey(ref.id, sub) && !(ref.access & KEY_CREATE_SUB_KEY)) {
                return ERROR_ACCESS_DENIED;
            }
            id = transaction.CreateKey(ref.id, sub, &created);
            transaction.Commit();
        }
        if (lpdwDisposition) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return NewHandle(id, std::move(path), samDesired, phkResult);
    });
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE || IsOtherRoot(hKey))
        return ERROR_SUCCESS;
    // Only key handles: a file or thread handle passed here stays open.
    if (!LookupHandleAs<OpenKey>(hKey))
        return ERROR_INVALID_HANDLE;
    return CloseKernelHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    return Guarded([&]() -> LONG {
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        if (!lpData && cbData > 0)
            return ERROR_INVALID_PARAMETER;
        if (!(ref.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        RegistryTransaction transaction(RegistryTransaction::Mode::Write);
        if (!transaction.KeyExists(ref.id))
            return ERROR_KEY_DELETED;
        if (transaction.FaultApplies(ref.path, RegistryFault::FailValueWrites, false)) {
            return ERROR_ACCESS_DENIED;
        }
        std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
        transaction.SetValue(ref.id, lpValueName ? lpValueName : "", dwType, data);
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                        LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        if (lpReserved || (lpData && !lpcbData))
            return ERROR_INVALID_PARAMETER;
        std::optional<RegistryValue> value;
        {
            RegistryTransaction transaction(RegistryTransaction::Mode::Read);
            if (!transaction.KeyExists(ref.id))
                return ERROR_KEY_DELETED;
            value = transaction.GetValue(ref.id, lpValueName ? lpValueName : "");
        }
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (lpType)
            *lpType = value->type;
        auto size = static_cast<DWORD>(value->data.size());
        if (lpData) {
            if (size > *lpcbData) {
                *lpcbData = size;
                return ERROR_MORE_DATA;
            }
            std::memcpy(lpData, value->data.data(), size);
        }
        if (lpcbData)
            *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LONG {
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        if (!(ref.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        RegistryTransaction transaction(RegistryTransaction::Mode::Write);
        if (!transaction.KeyExists(ref.id))
            return ERROR_KEY_DELETED;
        if (transaction.FaultApplies(ref.path, RegistryFault::FailValueWrites, false)) {
            return ERROR_ACCESS_DENIED;
        }
        if (!transaction.DeleteValue(ref.id, lpValueName ? lpValueName : "")) {
            return ERROR_FILE_NOT_FOUND;
        }
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return Guarded([&]() -> LONG {
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        // An empty name would name the open key itself; deleting through it is refused.
        if (!lpSubKey || SplitKeyPath(lpSubKey).empty())
            return ERROR_INVALID_PARAMETER;
        if (!(ref.access & (kWriteRights | DELETE)))
            return ERROR_ACCESS_DENIED;
        RegistryTransaction transaction(RegistryTransaction::Mode::Write);
        if (!transaction.KeyExists(ref.id))
            return ERROR_KEY_DELETED;
        auto target = transaction.FindKey(ref.id, lpSubKey);
        if (!target)
            return ERROR_FILE_NOT_FOUND;
        if (transaction.FaultApplies(JoinPath(ref.path, lpSubKey), RegistryFault::DenyWriteOpen,
                                     true)) {
            return ERROR_ACCESS_DENIED;
        }
        transaction.DeleteKey(*target);
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return Guarded([&]() -> LONG {
        KeyRef ref;
        if (LONG error = Resolve(hKey, ref))
            return error;
        if (!lpName)
            return ERROR_INVALID_PARAMETER;
        std::vector<RegistryKey> subkeys;
        {
            RegistryTransaction transaction(RegistryTransaction::Mode::Read);
            if (!transaction.KeyExists(ref.id))
                return ERROR_KEY_DELETED;
            subkeys = transaction.Subkeys(ref.id);
        }
        if (dwIndex >= subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        const std::string& name = subkeys[dwIndex].name;
        if (name.size() + 1 > cchName)
            return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        return ERROR_SUCCESS;
    });
}
