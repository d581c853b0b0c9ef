// REGEDIT4 import and export: every value kind survives a round trip byte for byte, the accepted
// forms import as documented, and a malformed file is refused whole with its line number.
#include <windows.h>

#include "regedit.h"
#include "registry_store.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string key;
    std::string name;
    DWORD type;
    std::string data;
    bool operator==(const Entry& other) const {
        return key == other.key && name == other.name && type == other.type && data == other.data;
    }
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    out << "[" << e.key << "] \"" << e.name << "\" type " << e.type << " (" << e.data.size()
        << " bytes)";
    return out;
}

// Every key (as an entry without a name and type) and value below KEY, depth first, in creation
// order: the registry's content as the API shows it.
void Collect(w95::RegistryTransaction& transaction, w95::KeyId key, const std::string& path,
             std::vector<Entry>& out) {
    out.push_back({path, "<key>", 0, ""});
    for (const auto& value : transaction.Values(key)) {
        out.push_back({path, value.name, value.type, value.data});
    }
    for (const auto& child : transaction.Subkeys(key)) {
        Collect(transaction, child.id, path + "\\" + child.name, out);
    }
}

std::vector<Entry> Snapshot() {
    w95::RegistryTransaction transaction(w95::RegistryTransaction::Mode::Read);
    std::vector<Entry> entries;
    Collect(transaction, w95::kRootKeyId, "", entries);
    return entries;
}

void Put(const char* path, const char* name, DWORD type, const std::string& data) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string Get(const char* path, const char* name, DWORD* type) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[512];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data, size) : "<no value>";
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes)
        out += static_cast<char>(b);
    return out;
}

TEST(RegeditTest, ExportThenImportReproducesEveryValueKindAndTheOrder) {
    std::string long_binary;
    for (int i = 0; i < 300; ++i)
        long_binary += static_cast<char>(i * 7);

    std::string exported;
    std::vector<Entry> before;
    {
        w95test::TempMachine source;
        Put("Software\\Zeta", "Text", REG_SZ, std::string("a \"quoted\" \\ path", 18));
        Put("Software\\Zeta", "", REG_DWORD, Bytes({0x2b, 0, 0, 0}));
        Put("Software\\Zeta", "Empty text", REG_SZ, std::string(1, '\0'));
        Put("Software\\Zeta", "No NUL", REG_SZ, "abc");
        Put("Software\\Zeta", "Inner NUL", REG_SZ, std::string("a\0b\0", 4));
        Put("Software\\Zeta", "Two NULs", REG_SZ, std::string("ab\0\0", 4));
        Put("Software\\Zeta", "Line break", REG_SZ, std::string("a\r\nb", 5));
        Put("Software\\Zeta", "Expand", REG_EXPAND_SZ, std::string("%WINDIR%", 9));
        Put("Software\\Zeta", "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
        Put("Software\\Alpha", "Long dword", REG_DWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
        Put("Software\\Alpha", "Big endian", REG_DWORD_BIG_ENDIAN, Bytes({0, 0, 0, 1}));
        Put("Software\\Alpha", "Empty binary", REG_BINARY, "");
        Put("Software\\Alpha", "Long binary", REG_BINARY, long_binary);
        Put("Software\\Alpha", "Odd type", 0x12345, Bytes({0xff}));
        Put("Software\\Alpha", "Name \"with\" \\ and caf\xe9", REG_BINARY, Bytes({1}));
        Put("Software\\Alpha\\Empty\\Deeper", "Max", REG_DWORD, Bytes({0xff, 0xff, 0xff, 0xff}));
        before = Snapshot();
        exported = w95::ExportRegedit("");
    }

    // The forms a reader expects.
    for (const char* line : {
             "[HKEY_LOCAL_MACHINE\\Software\\Zeta]",
             "\"Text\"=\"a \\\"quoted\\\" \\\\ path\"",
             "@=dword:0000002b",
             "\"Empty text\"=\"\"",
             "\"No NUL\"=hex(1):61,62,63",
             "\"Line break\"=hex(1):61,0d,0a,62,00",
             "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00",
             "\"Empty binary\"=hex:",
             "\"Odd type\"=hex(12345):ff",
             "\"Max\"=dword:ffffffff",
         }) {
        EXPECT_NE(exported.find(std::string(line) + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(exported.rfind("REGEDIT4\n\n", 0), 0u);
    std::istringstream lines(exported);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << "long hex lists are continued: " << line;
    }

    w95test::TempMachine target;
    ASSERT_NO_THROW(w95::ImportRegedit(exported));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(w95::ExportRegedit(""), exported);
}

TEST(RegeditTest, ImportAcceptsTheDocumentedForms) {
    w95test::TempMachine machine;
    std::string text =
        "REGEDIT4\r\n"
        "; a comment\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
        "\"Text\"=\"with \\\"quotes\\\" and \\\\\"\r\n"
        "@=\"default\"\r\n"
        "  \"Spaced\" = \"x\"  \r\n"
        "\"Dword\"=DWORD:2B\r\n"
        "\"Short\"=dword:7\r\n"
        "\"Binary\"=hex:01,ab,FF\r\n"
        "\"Continued\"=hex(2):41,\\\r\n"
        "  42,43,\\\r\n"
        "  00\r\n"
        "\"Empty\"=hex(0):\r\n"
        "[hkey_local_machine\\Software\\Test]\r\n"
        "\"Replaced\"=\"one\"\r\n"
        "\"Replaced\"=\"two\"\r\n";
    ASSERT_NO_THROW(w95::ImportRegedit(text));

    struct Case {
        const char* name;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        {"Text", REG_SZ, std::string("with \"quotes\" and \\", 20)},
        {"", REG_SZ, std::string("default", 8)},
        {"Spaced", REG_SZ, std::string("x", 2)},
        {"Dword", REG_DWORD, Bytes({0x2b, 0, 0, 0})},
        {"Short", REG_DWORD, Bytes({7, 0, 0, 0})},
        {"Binary", REG_BINARY, Bytes({0x01, 0xab, 0xff})},
        {"Continued", REG_EXPAND_SZ, std::string("ABC", 4)},
        {"Empty", REG_NONE, ""},
        {"Replaced", REG_SZ, std::string("two", 4)},
    };
    for (const auto& c : cases) {
        DWORD type = 99;
        EXPECT_EQ(Get("Software\\Test", c.name, &type), c.data) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

TEST(RegeditTest, ImportDeletesKeysWithTheirSubtreeAndValues) {
    w95test::TempMachine machine;
    Put("Software\\Gone\\Child", "v", REG_BINARY, "1");
    Put("Software\\Kept", "drop", REG_BINARY, "1");
    Put("Software\\Kept", "keep", REG_BINARY, "2");
    ASSERT_NO_THROW(
        w95::ImportRegedit("REGEDIT4\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\Gone]\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\NeverWas]\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Kept]\n"
                           "\"drop\"=-\n"
                           "\"absent\"=-\n"));
    DWORD type;
    EXPECT_EQ(Get("Software\\Gone", "v", &type), "<no key>");
    EXPECT_EQ(Get("Software\\Kept", "drop", &type), "<no value>");
    EXPECT_EQ(Get("Software\\Kept", "keep", &type), "2");
}

TEST(RegeditTest, AMalformedFileIsRefusedWholeWithItsLineNumber) {
    // Each file makes changes before its fault, which must all be left undone.
    const std::string good =
        "REGEDIT4\n"
        "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
        "\"v\"=\"1\"\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Existing]\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\n";  // the fault is on line 6
    struct Case {
        std::string text;
        int line;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"", 1, "REGEDIT4"},
        {"REGEDIT5\n[HKEY_LOCAL_MACHINE\\A]\n", 1, "REGEDIT4"},
        {good + "[HKEY_LOCAL_MACHINE\\Software\n", 6, "missing ]"},
        {good + "[HKEY_CURRENT_USER\\Software]\n", 6, "only HKEY_LOCAL_MACHINE"},
        {good + "[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 6, "empty key name"},
        {good + "[HKEY_LOCAL_MACHINE\\A\\]\n", 6, "empty key name"},
        {good + "[-HKEY_LOCAL_MACHINE]\n", 6, "cannot be deleted"},
        {"REGEDIT4\n\"v\"=\"1\"\n", 2, "before the first [KEY]"},
        {good + "[-HKEY_LOCAL_MACHINE\\X]\n\"v\"=\"1\"\n", 7, "deleted key"},
        {good + "\"v\" \"1\"\n", 6, "missing ="},
        {good + "\"v=\"1\"\n", 6, "missing ="},
        {good + "\"v\"=\"open\n", 6, "no closing quote"},
        {good + "\"v\"=\"bad \\n escape\"\n", 6, "unknown escape \\n"},
        {good + "\"v\"=\"a\" junk\n", 6, "after the closing quote"},
        {good + "\"v\"=dword:123456789\n", 6, "dword:"},
        {good + "\"v\"=dword:xyz\n", 6, "dword:"},
        {good + "\"v\"=dword:\n", 6, "dword:"},
        {good + "\"v\"=hex:01,1g\n", 6, "bad hex byte '1g'"},
        {good + "\"v\"=hex:01,123\n", 6, "bad hex byte '123'"},
        {good + "\"v\"=hex:01,,02\n", 6, "bad hex byte ''"},
        {good + "\"v\"=hex:01,02,\n", 6, "bad hex byte ''"},
        {good + "\"v\"=hex:01,\\\n  02,zz\n", 7, "bad hex byte 'zz'"},
        {good + "\"v\"=hex(zz):01\n", 6, "hex(N)"},
        {good + "\"v\"=hex(2)01\n", 6, "hex(N)"},
        {good + "\"v\"=hex:01,\\\n", 6, "past the end of the file"},
        {good + "\"v\"=42\n", 6, "unknown value data"},
        {good + "v=\"1\"\n", 6, "expected [KEY]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        w95test::TempMachine machine;
        Put("Software\\Existing", "old", REG_BINARY, "1");
        auto before = Snapshot();
        try {
            w95::ImportRegedit(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const w95::RegeditError& e) {
            EXPECT_EQ(e.line(), c.line);
            std::string what = e.what();
            EXPECT_EQ(what.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.problem), std::string::npos) << what;
        }
        EXPECT_EQ(Snapshot(), before) << "nothing changed";
    }
}

TEST(RegeditTest, ExportNamesTheKeyEitherWayAndRefusesWhatIsNotThere) {
    w95test::TempMachine machine;
    Put("Software\\norvane\\tarvexport", "Country", REG_DWORD, Bytes({1, 0, 0, 0}));
    Put("Software\\norvane\\tarvexport\\Sub", "", REG_SZ, std::string("x", 2));
    const std::string expected =
        "REGEDIT4\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport]\n"
        "\"Country\"=dword:00000001\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport\\Sub]\n"
        "@=\"x\"\n"
        "\n";
    for (const char* key : {"Software\\norvane\\tarvexport", "SOFTWARE\\NORVANE\\TARVEXPORT\\",
                            "HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport",
                            "hkey_local_machine\\software\\norvane\\tarvexport"}) {
        EXPECT_EQ(w95::ExportRegedit(key), expected) << key;
    }
    EXPECT_THROW(w95::ExportRegedit("Software\\Missing"), std::runtime_error);
    EXPECT_THROW(w95::ExportRegedit("HKEY_CURRENT_USER\\Software"), std::runtime_error);

    // A value name with a line break has no REGEDIT4 form: refused, not written broken.
    Put("Software\\Broken", "two\nlines", REG_BINARY, "1");
    EXPECT_THROW(w95::ExportRegedit("Software\\Broken"), std::runtime_error);
}

}  // namespace
