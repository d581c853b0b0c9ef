// The emulated registry through its Win32 functions: names, enumeration, exact values, deleted
// keys, access rights, test faults, and writers in several processes and threads at once.
#include <windows.h>

#include "child_process.h"
#include "registry_store.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

class RegistryTest : public ::testing::Test {
  protected:
    // Creates (or opens) the key below HKEY_LOCAL_MACHINE with all access.
    HKEY Create(const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        DWORD ignored;
        EXPECT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, disposition ? disposition : &ignored),
            ERROR_SUCCESS)
            << path;
        return key;
    }

    static LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    }

    // The value's bytes, or the error as "error N".
    static std::string Get(HKEY key, const char* name, DWORD* type = nullptr) {
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
        if (rc != ERROR_SUCCESS)
            return "error " + std::to_string(rc);
        std::string data(size, '\0');
        rc =
            RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc != ERROR_SUCCESS)
            return "error " + std::to_string(rc);
        return data.substr(0, size);
    }

    static std::vector<std::string> Subkeys(HKEY key) {
        std::vector<std::string> names;
        char name[MAX_PATH];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
            names.push_back(name);
        }
        return names;
    }

    w95test::TempMachine machine_;
};

TEST_F(RegistryTest, KeyAndValueNamesAreCaseInsensitiveAndKeepTheirFirstCase) {
    HKEY key = Create("Software\\Norvane\\TarvexPort");
    DWORD disposition = 0;
    HKEY again = Create("SOFTWARE\\norvane\\TARVEXPORT", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    HKEY software;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software", &software), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(software), (std::vector<std::string>{"Microsoft", "Norvane"}));

    ASSERT_EQ(Set(key, "Country", REG_SZ, std::string("us", 3)), ERROR_SUCCESS);
    ASSERT_EQ(Set(again, "COUNTRY", REG_SZ, std::string("de", 3)), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "country"), std::string("de", 3));
    auto values = [] {
        w95::RegistryTransaction transaction(w95::RegistryTransaction::Mode::Read);
        auto id = transaction.FindKey(w95::kRootKeyId, "software\\norvane\\tarvexport");
        return transaction.Values(*id);
    }();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Country");

    // NULL and "" both name the default value.
    ASSERT_EQ(Set(key, nullptr, REG_SZ, std::string("d", 2)), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, ""), std::string("d", 2));
    ASSERT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, nullptr), "error 2");

    for (HKEY k : {key, again, software})
        EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryTest, SubkeysEnumerateInCreationOrderAndLongNamesDoNotFit) {
    HKEY parent = Create("Enum\\PCI");
    for (const char* name : {"VEN_Zeta", "ven_alpha", "VEN_MIDDLE"})
        RegCloseKey(Create(name));
    for (const char* name : {"Zeta", "alpha", "Middle"}) {
        HKEY child;
        ASSERT_EQ(
            RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(child);
    }
    ASSERT_EQ(RegDeleteKeyA(parent, "alpha"), ERROR_SUCCESS);
    RegCloseKey(Create("Enum\\PCI\\Later"));
    EXPECT_EQ(Subkeys(parent), (std::vector<std::string>{"Zeta", "Middle", "Later"}));

    struct Case {
        DWORD index;
        DWORD buffer_size;
        LONG expected;
        const char* name;
    };
    const Case cases[] = {
        {1, 7, ERROR_SUCCESS, "Middle"},        // exactly the name and its NUL
        {1, 6, ERROR_MORE_DATA, nullptr},       // the NUL does not fit
        {0, 0, ERROR_MORE_DATA, nullptr},       // no room at all
        {2, 64, ERROR_SUCCESS, "Later"},        // the last one
        {3, 64, ERROR_NO_MORE_ITEMS, nullptr},  // past the end
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(RegEnumKeyA(parent, c.index, buffer, c.buffer_size), c.expected) << c.index;
        if (c.name) {
            EXPECT_STREQ(buffer, c.name);
        } else {
            EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'))
                << "nothing is written when the call fails";
        }
    }
    RegCloseKey(parent);
}

TEST_F(RegistryTest, ValuesKeepTheirExactBytesAndType) {
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"text", REG_SZ, std::string("hello", 6)},
        {"unterminated", REG_SZ, "no nul"},
        {"inner nul", REG_SZ, std::string("a\0b\0", 4)},
        {"empty", REG_BINARY, ""},
        {"dword", REG_DWORD, std::string("\x2b\0\0\0", 4)},
        {"short dword", REG_DWORD, "\x01\x02"},
        {"multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"odd type", 0x1234, std::string("\xff\x00\x80", 3)},
        {"high bytes \xe9", REG_BINARY, std::string(300, '\xa5')},
    };
    HKEY key = Create("Values");
    for (const auto& c : cases)
        ASSERT_EQ(Set(key, c.name, c.type, c.bytes), ERROR_SUCCESS);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0, size = 0;
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.bytes.size());

        std::string exact(c.bytes.size() + 4, '#');
        size = static_cast<DWORD>(c.bytes.size());
        ASSERT_EQ(RegQueryValueExA(key, c.name, nullptr, &type,
                                   reinterpret_cast<BYTE*>(exact.data()), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(exact, c.bytes + "####") << "exactly the bytes, nothing after them";

        if (c.bytes.empty())
            continue;
        std::string small(c.bytes.size(), '#');
        size = static_cast<DWORD>(c.bytes.size() - 1);
        EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type,
                                   reinterpret_cast<BYTE*>(small.data()), &size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(size, c.bytes.size()) << "the size needed";
        EXPECT_EQ(small, std::string(c.bytes.size(), '#')) << "nothing written";
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysValuesAndBadHandlesFail) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Missing", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Missing"), ERROR_FILE_NOT_FOUND);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS}) {
        EXPECT_EQ(RegOpenKeyA(root, "Software", &key), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegCreateKeyExA(root, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_FILE_NOT_FOUND);
    }

    HKEY software = Create("Software");
    EXPECT_EQ(Get(software, "absent"), "error 2");
    EXPECT_EQ(RegDeleteValueA(software, "absent"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCloseKey(software), ERROR_SUCCESS);

    // A closed handle and one that never was fail alike; a closed handle closes only once.
    HKEY forged = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7000));
    for (HKEY bad : {software, forged}) {
        EXPECT_EQ(Get(bad, "x"), "error 6");
        EXPECT_EQ(Set(bad, "x", REG_BINARY, "1"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegOpenKeyA(bad, "Microsoft", &key), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }
}

TEST_F(RegistryTest, CreateMakesEveryMissingKeyOnTheWay) {
    DWORD disposition = 0;
    HKEY deep = Create("A\\B\\C\\D", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    HKEY b;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "a\\b", &b), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(b), std::vector<std::string>{"C"});

    // Relative to an open key, too.
    HKEY e;
    ASSERT_EQ(
        RegCreateKeyExA(b, "C\\D\\E", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &e, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(Subkeys(deep), std::vector<std::string>{"E"});
    for (HKEY k : {deep, b, e})
        RegCloseKey(k);
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubtreeAndItsHandlesReportKeyDeleted) {
    HKEY b = Create("A\\B");
    HKEY c = Create("A\\B\\C");
    ASSERT_EQ(Set(c, "v", REG_BINARY, "1"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "a"), ERROR_SUCCESS);

    HKEY key;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "A", &key), ERROR_FILE_NOT_FOUND);
    // A key made again under the same name is another key: the old handles stay dead.
    HKEY remade = Create("A\\B\\C");
    EXPECT_EQ(Get(remade, "v"), "error 2");
    for (HKEY dead : {b, c}) {
        EXPECT_EQ(Get(dead, "v"), "error 1018");
        EXPECT_EQ(Set(dead, "v", REG_BINARY, "2"), ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteValueA(dead, "v"), ERROR_KEY_DELETED);
        char name[16];
        EXPECT_EQ(RegEnumKeyA(dead, 0, name, sizeof name), ERROR_KEY_DELETED);
        EXPECT_EQ(RegOpenKeyA(dead, "C", &key), ERROR_KEY_DELETED);
        EXPECT_EQ(RegCloseKey(dead), ERROR_SUCCESS);
    }
    EXPECT_EQ(Get(remade, "v"), "error 2");
    RegCloseKey(remade);
}

TEST_F(RegistryTest, AReadHandleCannotChangeTheKey) {
    RegCloseKey(Create("Software\\norvane\\tarvexport\\Child"));
    HKEY writer = Create("Software\\norvane\\tarvexport");
    ASSERT_EQ(Set(writer, "Country", REG_DWORD, std::string("\x07\0\0\0", 4)), ERROR_SUCCESS);

    HKEY reader;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport", 0, KEY_READ, &reader),
        ERROR_SUCCESS);
    EXPECT_EQ(Set(reader, "Country", REG_DWORD, std::string("\x09\0\0\0", 4)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "Country"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(reader, "Child"), ERROR_ACCESS_DENIED);
    HKEY sub;
    EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyA(reader, "New", &sub), ERROR_FILE_NOT_FOUND) << "nothing created";
    EXPECT_EQ(Get(reader, "Country"), std::string("\x07\0\0\0", 4)) << "reading works";

    // The old open call grants all access.
    HKEY old_style;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport", &old_style),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(old_style, "Country", REG_DWORD, std::string("\x09\0\0\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(Get(reader, "Country"), std::string("\x09\0\0\0", 4));
    for (HKEY k : {writer, reader, old_style})
        RegCloseKey(k);
}

TEST_F(RegistryTest, DenyWriteOpenRefusesWriteOpensAndCreatesOfTheKeyAndBelow) {
    RegCloseKey(Create("Software\\norvane\\tarvexport"));
    RegCloseKey(Create("Software\\norvaneOther"));
    w95::SetRegistryFault("SOFTWARE\\Norvane", w95::RegistryFault::DenyWriteOpen, true);

    struct Case {
        const char* path;
        REGSAM access;
        LONG expected;
    };
    const Case opens[] = {
        {"Software\\norvane", KEY_WRITE, ERROR_ACCESS_DENIED},
        {"Software\\norvane", KEY_SET_VALUE, ERROR_ACCESS_DENIED},
        {"Software\\norvane\\tarvexport", KEY_CREATE_SUB_KEY, ERROR_ACCESS_DENIED},
        {"Software\\norvane\\tarvexport", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
        {"Software\\norvane\\tarvexport", KEY_READ, ERROR_SUCCESS},
        {"Software\\norvaneOther", KEY_WRITE, ERROR_SUCCESS},  // a name that only starts alike
        {"Software", KEY_WRITE, ERROR_SUCCESS},
    };
    for (const auto& c : opens) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, c.access, &key), c.expected)
            << c.path << " access " << c.access;
        if (key)
            RegCloseKey(key);
    }
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\norvane", &key), ERROR_SUCCESS)
        << "the old open call still succeeds";
    RegCloseKey(key);

    for (const char* path : {"Software\\norvane", "Software\\norvane\\tarvexport\\New"}) {
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_ACCESS_DENIED)
            << path;
    }
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport\\New", &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport"),
              ERROR_ACCESS_DENIED);

    w95::ClearRegistryFaults();
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\norvane", 0, KEY_WRITE, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, FailValueWritesLetsTheKeyOpenButRefusesValueChanges) {
    HKEY setup = Create("Software\\norvane\\tarvexport\\Child");
    RegCloseKey(setup);
    setup = Create("Software\\norvane\\tarvexport");
    ASSERT_EQ(Set(setup, "Kept", REG_BINARY, "old"), ERROR_SUCCESS);
    RegCloseKey(setup);
    w95::SetRegistryFault("Software\\norvane\\tarvexport", w95::RegistryFault::FailValueWrites,
                          true);

    HKEY key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport", 0, KEY_WRITE, &key),
        ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "Kept", REG_BINARY, "new"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(key, "Added", REG_BINARY, "new"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "Kept"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(key, "Kept"), "old");
    EXPECT_EQ(Get(key, "Added"), "error 2");
    RegCloseKey(key);

    HKEY child = Create("Software\\norvane\\tarvexport\\Child");
    EXPECT_EQ(Set(child, "v", REG_BINARY, "1"), ERROR_SUCCESS) << "only the marked key fails";
    RegCloseKey(child);

    w95::SetRegistryFault("Software\\norvane\\tarvexport", w95::RegistryFault::FailValueWrites,
                          false);
    key = Create("Software\\norvane\\tarvexport");
    EXPECT_EQ(Set(key, "Kept", REG_BINARY, "new"), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandlesOfAnotherMachineAreInvalid) {
    HKEY key = Create("Software\\First");
    w95test::TempMachine second;
    EXPECT_EQ(Get(key, "x"), "error 6");
    HKEY probe;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\First", &probe), ERROR_FILE_NOT_FOUND)
        << "the second machine has a registry of its own";
}

// Each writer adds COUNT values of its own and a key of its own to one shared key, one call each.
bool WriteMany(int writer, int count) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
        std::string data = name + "-data";
        ok = RegSetValueExA(key, name.c_str(), 0, REG_BINARY,
                            reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
        HKEY sub;
        ok = ok && RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                                   nullptr) == ERROR_SUCCESS;
        if (ok)
            RegCloseKey(sub);
    }
    RegCloseKey(key);
    return ok;
}

void ExpectAllWritten(int writers, int count) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Shared", &key), ERROR_SUCCESS);
    std::set<std::string> subkeys;
    char name[64];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        subkeys.insert(name);
    }
    EXPECT_EQ(subkeys.size(), static_cast<size_t>(writers * count));
    int missing = 0;
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < count; ++i) {
            std::string value = "w" + std::to_string(w) + "-" + std::to_string(i);
            char data[64] = {};
            DWORD size = sizeof data;
            if (RegQueryValueExA(key, value.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
                std::string(data, size) != value + "-data" || !subkeys.count(value)) {
                ++missing;
            }
        }
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(key);
}

TEST_F(RegistryTest, WritersInSeveralProcessesLoseNothing) {
    constexpr int kWriters = 3, kCount = 150;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(WriteMany(w, kCount) ? 0 : 1);
        children.push_back(pid);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (pid_t pid : children) {
        int status = w95test::WaitUntil(pid, deadline);
        if (status == -2) {
            ADD_FAILURE() << "writer " << pid << " did not finish";
            status = w95test::WaitOrKill(pid, deadline);
        }
        EXPECT_EQ(status, 0) << "writer " << pid;
    }
    ExpectAllWritten(kWriters, kCount);
}

TEST_F(RegistryTest, WritersInSeveralThreadsLoseNothing) {
    constexpr int kWriters = 4, kCount = 100;
    std::vector<std::thread> threads;
    std::vector<int> ok(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([w, &ok] { ok[w] = WriteMany(w, kCount); });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok, std::vector<int>(kWriters, 1));
    ExpectAllWritten(kWriters, kCount);
}

}  // namespace
