// The machine's registry (HKEY_LOCAL_MACHINE only), kept in <machine>/registry.db with SQLite so
// that several processes of one machine share it safely. The Win32 functions of winreg.h, the
// REGEDIT4 import and export, and the machine tool all work through RegistryTransaction.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace w95 {

using KeyId = int64_t;

// The key HKEY_LOCAL_MACHINE names.
constexpr KeyId kRootKeyId = 1;

// A storage failure (the database cannot be opened, is corrupt, stays locked, ...).
class RegistryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct RegistryValue {
    std::string name;  // "" for the key's default value
    DWORD type = REG_NONE;
    std::string data;  // the exact bytes stored
};

struct RegistryKey {
    KeyId id = 0;
    std::string name;  // as created
};

// Test faults, kept in the database so that they act on every process of the machine.
// DenyWriteOpen: opening the key or a key below it with a write right, creating it or a key below
// it, and deleting it fail with ERROR_ACCESS_DENIED. FailValueWrites: the key opens, but setting
// and deleting its values fail with ERROR_ACCESS_DENIED.
enum class RegistryFault { DenyWriteOpen, FailValueWrites };

// KEY_PATH is relative to HKEY_LOCAL_MACHINE; it need not exist yet.
void SetRegistryFault(const std::string& key_path, RegistryFault fault, bool on);
void ClearRegistryFaults();

// Creates <machine_dir>/registry.db when missing, with the keys a fresh Windows 95 has that the
// programs rely on. Works on any machine directory, not only the one this process uses.
void InitRegistry(const std::filesystem::path& machine_dir);

// Splits a key path at backslashes, dropping empty parts ("A\\B\" is A, B).
std::vector<std::string> SplitKeyPath(const std::string& path);

// The case-insensitive form under which key and value names are compared.
std::string FoldName(const std::string& name);

// One transaction on the registry of the machine this process uses. It holds the process's
// registry lock for its life, so a thread must not call the Reg* functions while it holds one.
// A write transaction takes the database's write lock at once (waiting for other processes);
// without Commit() everything it did is rolled back.
class RegistryTransaction {
  public:
    enum class Mode { Read, Write };
    explicit RegistryTransaction(Mode mode);
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    void Commit();

    bool KeyExists(KeyId key);
    // The key at the relative path below BASE (BASE itself for an empty path).
    std::optional<KeyId> FindKey(KeyId base, const std::string& path);
    // Finds or creates the key and every missing key on the way; CREATED tells which happened.
    KeyId CreateKey(KeyId base, const std::string& path, bool* created);
    // The key's path below HKEY_LOCAL_MACHINE in the case each key was created with ("" for it).
    std::string KeyPath(KeyId key);
    // Subkeys in creation order.
    std::vector<RegistryKey> Subkeys(KeyId key);
    // Deletes the key with all its subkeys and values (not the root).
    void DeleteKey(KeyId key);

    std::optional<RegistryValue> GetValue(KeyId key, const std::string& name);
    // Values in creation order.
    std::vector<RegistryValue> Values(KeyId key);
    // Replaces the value's type and bytes in place (keeping its position), or adds it at the end.
    void SetValue(KeyId key, const std::string& name, DWORD type, const std::string& data);
    // False when there was no such value.
    bool DeleteValue(KeyId key, const std::string& name);

    // Whether FAULT is set on the key at PATH (below HKEY_LOCAL_MACHINE); with SUBTREE, also
    // whether it is set on one of the key's ancestors.
    bool FaultApplies(const std::string& path, RegistryFault fault, bool subtree);
    void SetFault(const std::string& path, RegistryFault fault, bool on);
    void ClearFaults();

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace w95
