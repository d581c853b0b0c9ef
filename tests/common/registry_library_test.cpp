// The registry access library against the emulated registry, its failures reached through the
// registry's test faults.
#include "registry.h"

#include "registry_store.h"
#include "registry_fixture.h"
#include "temp_machine.h"
#include "ui_journal.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using w95::RegistryFault;
using w95test::KeyExists;
using w95test::ReadDword;
using w95test::ReadString;

const char* const kKey = "Software\\norvane\\tarvexport";

class RegistryLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w95test::AnswerMessageBoxesWithDefaults();
        w95test::ImportRegistry(
            "[HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport]\n"
            "\"Text\"=\"stored\"\n"
            "\"Number\"=dword:0000002b\n"
            "\"Unterminated\"=hex(1):41,42,43\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport\\Child\\Grandchild]\n");
    }

    void ExpectNoBox() { EXPECT_TRUE(w95test::MessageBoxes().empty()); }

    void ExpectOneBox(const std::string& text, const std::string& caption) {
        auto boxes = w95test::MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]["text"], text);
        EXPECT_EQ(boxes[0]["caption"], caption);
        EXPECT_EQ(boxes[0]["style"], MB_OK);
        EXPECT_EQ(boxes[0]["owner"], false);
    }

    w95test::TempMachine machine_;
};

TEST_F(RegistryLibraryTest, KeyExistsAndMakeKey) {
    EXPECT_EQ(RegKeyExists(kKey), 1);
    EXPECT_EQ(RegKeyExists("Software\\norvane\\missing"), 0);

    EXPECT_EQ(RegMakeKey(kKey), REG_OK);  // already there
    EXPECT_EQ(RegMakeKey("Software\\norvane\\new\\deeper"), REG_OK);
    EXPECT_TRUE(KeyExists("Software\\norvane\\new\\deeper"));
    ExpectNoBox();
}

TEST_F(RegistryLibraryTest, MakeKeyThatCannotBeCreatedIsShownByItsPath) {
    w95::SetRegistryFault("Software\\norvane", RegistryFault::DenyWriteOpen, true);
    EXPECT_EQ(RegMakeKey("Software\\norvane\\locked"), REG_OPEN_FAILED);
    ExpectOneBox("Software\\norvane\\locked", "Could not create key");
    EXPECT_FALSE(KeyExists("Software\\norvane\\locked"));
}

TEST_F(RegistryLibraryTest, PutStringStoresTheTerminatorWhateverTheType) {
    EXPECT_EQ(RegPutString(kKey, "Expand", "C:\\x", REG_EXPAND_SZ), REG_OK);
    EXPECT_EQ(RegPutString(kKey, "Binary", "ab", REG_BINARY), REG_OK);
    auto expand = w95test::ReadValue(kKey, "Expand");
    auto binary = w95test::ReadValue(kKey, "Binary");
    ASSERT_TRUE(expand && binary);
    EXPECT_EQ(expand->type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(std::string(expand->bytes.begin(), expand->bytes.end()), std::string("C:\\x\0", 5));
    EXPECT_EQ(binary->type, DWORD(REG_BINARY));
    EXPECT_EQ(std::string(binary->bytes.begin(), binary->bytes.end()), std::string("ab\0", 3));
    ExpectNoBox();
}

// The write failures that the library shows, and the open failures that it does not.
struct WriteFailureCase {
    const char* name;
    RegistryFault fault;
    std::function<int()> operation;
    int result;
    const char* caption;  // nullptr: no box
};

// Cases print by name, not as raw bytes.
void PrintTo(const WriteFailureCase& c, std::ostream* out) {
    *out << c.name;
}

class RegistryWriteFailureTest : public RegistryLibraryTest,
                                 public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(RegistryWriteFailureTest, ReportsAsTheLibrarySays) {
    const auto& c = GetParam();
    w95::SetRegistryFault(kKey, c.fault, true);
    EXPECT_EQ(c.operation(), c.result);
    if (c.caption) {
        ExpectOneBox("Error", c.caption);
    } else {
        ExpectNoBox();
    }
    EXPECT_EQ(ReadString(kKey, "Text"), std::string("stored\0", 7));
    EXPECT_EQ(ReadDword(kKey, "Number"), 43u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RegistryWriteFailureTest,
    ::testing::Values(
        WriteFailureCase{"PutStringWriteFails", RegistryFault::FailValueWrites,
                         [] { return RegPutString(kKey, "Text", "new", REG_SZ); },
                         REG_ACCESS_FAILED, "Reg. Error 1E"},
        WriteFailureCase{"PutDwordWriteFails", RegistryFault::FailValueWrites,
                         [] { return RegPutDword(kKey, "Number", 7); }, REG_ACCESS_FAILED,
                         "Reg. Error 1F"},
        WriteFailureCase{"PutDwordOrDeleteWriteFails", RegistryFault::FailValueWrites,
                         [] { return RegPutDwordOrDelete(kKey, "Number", 7, 0); },
                         REG_ACCESS_FAILED, "Reg. Error 1F"},
        WriteFailureCase{"RemoveValueFailsSilently", RegistryFault::FailValueWrites,
                         [] { return RegRemoveValue(kKey, "Number"); }, REG_ACCESS_FAILED, nullptr},
        WriteFailureCase{"PutStringOpenFailsSilently", RegistryFault::DenyWriteOpen,
                         [] { return RegPutString(kKey, "Text", "new", REG_SZ); }, REG_OPEN_FAILED,
                         nullptr},
        WriteFailureCase{"PutDwordOpenFailsSilently", RegistryFault::DenyWriteOpen,
                         [] { return RegPutDword(kKey, "Number", 7); }, REG_OPEN_FAILED, nullptr},
        WriteFailureCase{"RemoveValueOpenFailsSilently", RegistryFault::DenyWriteOpen,
                         [] { return RegRemoveValue(kKey, "Number"); }, REG_OPEN_FAILED, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryLibraryTest, PutDwordOrDeleteStoresOnlyWhatDiffersFromTheDefault) {
    EXPECT_EQ(RegPutDwordOrDelete(kKey, "Number", 22, 22), REG_OK);  // equal: removed
    EXPECT_FALSE(ReadDword(kKey, "Number"));
    EXPECT_EQ(RegPutDwordOrDelete(kKey, "Number", 22, 22), REG_ACCESS_FAILED);  // nothing to remove
    EXPECT_EQ(RegPutDwordOrDelete(kKey, "Number", 0xFFFFFFFFu, 0), REG_OK);
    EXPECT_EQ(ReadDword(kKey, "Number"), 0xFFFFFFFFu);

    EXPECT_EQ(RegPutDwordOrDelete("Software\\missing", "Number", 1, 1), REG_OPEN_FAILED);
    EXPECT_EQ(RegPutDwordOrDelete("Software\\missing", "Number", 1, 0), REG_OPEN_FAILED);
    EXPECT_FALSE(KeyExists("Software\\missing"));
    ExpectNoBox();
}

TEST_F(RegistryLibraryTest, RemoveSubkey) {
    std::string child = std::string(kKey) + "\\Child";
    EXPECT_EQ(RegRemoveSubkey("Software\\missing", "Child"), REG_OK);
    EXPECT_EQ(RegRemoveSubkey(kKey, "Absent"), REG_OK);
    EXPECT_TRUE(KeyExists(child));
    EXPECT_EQ(RegRemoveSubkey(kKey, "Child"), REG_OK);
    EXPECT_FALSE(KeyExists(child));
    EXPECT_TRUE(KeyExists(kKey));
    ExpectNoBox();
}

TEST_F(RegistryLibraryTest, RemoveSubkeyWhosePathDoesNotFitTouchesNothing) {
    // A parent and child that need 301 bytes with the backslash and the terminator.
    std::string parent = "Software";
    while (parent.size() < 200)
        parent += "\\Level";
    parent.resize(200);
    std::string childName(99, 'c');
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent + "\\" + childName).c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(parent.size() + 1 + childName.size() + 1, 301u);

    EXPECT_EQ(RegRemoveSubkey(parent.c_str(), childName.c_str()), REG_OPEN_FAILED);
    EXPECT_TRUE(KeyExists(parent + "\\" + childName));

    std::string fitting(98, 'c');  // 300 bytes exactly
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent + "\\" + fitting).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegRemoveSubkey(parent.c_str(), fitting.c_str()), REG_OK);
    EXPECT_FALSE(KeyExists(parent + "\\" + fitting));
}

TEST_F(RegistryLibraryTest, FetchString) {
    char buffer[8];
    EXPECT_EQ(RegFetchString(kKey, "Text", buffer, sizeof(buffer)), REG_OK);
    EXPECT_STREQ(buffer, "stored");

    lstrcpyA(buffer, "keep");
    EXPECT_EQ(RegFetchString("Software\\missing", "Text", buffer, sizeof(buffer)), REG_OPEN_FAILED);
    EXPECT_STREQ(buffer, "keep");

    lstrcpyA(buffer, "keep");
    EXPECT_EQ(RegFetchString(kKey, "Absent", buffer, sizeof(buffer)), REG_ACCESS_FAILED);
    EXPECT_STREQ(buffer, "");

    char small[6];  // "stored" needs 7 bytes
    lstrcpyA(small, "keep");
    EXPECT_EQ(RegFetchString(kKey, "Text", small, sizeof(small)), REG_ACCESS_FAILED);
    EXPECT_STREQ(small, "");
    ExpectNoBox();
}

TEST_F(RegistryLibraryTest, FetchStringNeverLeavesTheBufferUnterminated) {
    char buffer[8];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(RegFetchString(kKey, "Unterminated", buffer, sizeof(buffer)), REG_OK);
    EXPECT_STREQ(buffer, "ABC");

    char exact[3];  // the three bytes fit, their terminator does not
    memset(exact, 'x', sizeof(exact));
    EXPECT_EQ(RegFetchString(kKey, "Unterminated", exact, sizeof(exact)), REG_ACCESS_FAILED);
    EXPECT_EQ(exact[0], '\0');
}

TEST_F(RegistryLibraryTest, FetchDword) {
    DWORD value = 5;
    EXPECT_EQ(RegFetchDword(kKey, "Number", &value), REG_OK);
    EXPECT_EQ(value, 43u);
    value = 5;
    EXPECT_EQ(RegFetchDword(kKey, "Absent", &value), REG_ACCESS_FAILED);
    EXPECT_EQ(value, 0u);
    value = 5;
    EXPECT_EQ(RegFetchDword("Software\\missing", "Number", &value), REG_OPEN_FAILED);
    EXPECT_EQ(value, 5u);
}

}  // namespace
