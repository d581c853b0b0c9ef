// wsprintfA with Windows' formatting rules, and the lstr functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>

namespace {

TEST(StringsTest, FormatsWithWindowsRules) {
    struct Case {
        const char* expected;
        std::function<int(char*)> format;
    } cases[] = {
        {"Error 3", [](char* o) { return wsprintfA(o, "Error %d", 3); }},
        {"-5|-2147483648", [](char* o) { return wsprintfA(o, "%d|%i", -5, INT_MIN); }},
        {"4294967295", [](char* o) { return wsprintfA(o, "%u", 0xFFFFFFFFu); }},
        {"beef BEEF", [](char* o) { return wsprintfA(o, "%x %X", 0xBEEFu, 0xBEEFu); }},
        {"Checksum: 0A1B", [](char* o) { return wsprintfA(o, "Checksum: %04X", 0xA1Bu); }},
        {"[   42][42   ][-0042]",
         [](char* o) { return wsprintfA(o, "[%5d][%-5d][%05d]", 42, 42, -42); }},
        {"0x1f 0X1F 0", [](char* o) { return wsprintfA(o, "%#x %#X %#x", 31u, 31u, 0u); }},
        {"[  007]", [](char* o) { return wsprintfA(o, "[%5.3d]", 7); }},
        {"COM5: A", [](char* o) { return wsprintfA(o, "%s: %c", "COM5", 'A'); }},
        {"[Tar][  Tar][Tar  ]",
         [](char* o) {
             return wsprintfA(o, "[%.3s][%5.3s][%-5.3s]", "Tarvex", "Tarvex", "Tarvex");
         }},
        {"[Tarvex]", [](char* o) { return wsprintfA(o, "[%3s]", "Tarvex"); }},
        {"(null)", [](char* o) { return wsprintfA(o, "%s", static_cast<const char*>(nullptr)); }},
        {"100% y", [](char* o) { return wsprintfA(o, "100%% %y"); }},
        // 'l' is 32 bits whatever the host's long: LONG and DWORD arguments are read right, and
        // the arguments after them too.
        {"-1 4000000000 ffffffff 7",
         [](char* o) {
             return wsprintfA(o, "%ld %lu %lx %d", LONG{-1}, DWORD{4000000000u}, DWORD{0xFFFFFFFF},
                              7);
         }},
        {"4464 1 -1", [](char* o) { return wsprintfA(o, "%hd %hu %hd", 70000, 65537, 0xFFFF); }},
        {"wide",
         [](char* o) {
             static const uint16_t wide[] = {'w', 'i', 'd', 'e', 0};
             return wsprintfA(o, "%ls", wide);
         }},
        {"", [](char* o) { return wsprintfA(o, ""); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        char out[1100];
        std::memset(out, '#', sizeof out);
        int count = c.format(out);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(count, static_cast<int>(std::strlen(c.expected)));
    }
}

TEST(StringsTest, OutputStopsAt1024BytesWithItsTerminator) {
    std::string long_text(2000, 'x');
    char out[1100];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(wsprintfA(out, "%s", long_text.c_str()), 1023);
    EXPECT_EQ(out[1022], 'x');
    EXPECT_EQ(out[1023], '\0');
    EXPECT_EQ(out[1024], '#');  // nothing written past the limit

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(wsprintfA(out, "%1500d", 5), 1023);
    EXPECT_EQ(out[1023], '\0');
    EXPECT_EQ(out[1024], '#');
}

TEST(StringsTest, CopyAndConcatenate) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA("COM12"), 5);

    struct Case {
        int limit;
        const char* expected;
    } cases[] = {{0, "######"}, {1, ""}, {4, "COM"}, {5, "COM1"}, {6, "COM12"}, {20, "COM12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        char out[32];
        std::memset(out, '#', sizeof out);
        out[6] = '\0';
        EXPECT_EQ(lstrcpynA(out, "COM12", c.limit), out);
        EXPECT_STREQ(out, c.expected);
    }

    char path[64];
    EXPECT_EQ(lstrcpyA(path, "C:\\WINDOWS\\SYSTEM"), path);
    EXPECT_EQ(lstrcatA(path, "\\TARVEX\\"), path);
    EXPECT_STREQ(path, "C:\\WINDOWS\\SYSTEM\\TARVEX\\");
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);
    EXPECT_EQ(lstrcatA(path, nullptr), nullptr);
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(StringsTest, CompareInWordOrder) {
    struct Case {
        const char* a;
        const char* b;
        int sensitive;
        int insensitive;
    } cases[] = {
        {"001", "001", 0, 0},     {"001", "002", -1, -1},
        {"/AUTO", "/auto", 1, 0}, {"a", "A", -1, 0},  // lower case first when the letters agree
        {"a", "B", -1, -1},                           // letters before case
        {"B", "a", 1, 1},         {"ab", "abc", -1, -1},
        {"Ab", "abc", -1, -1},  // length decides before case
        {"9", "a", -1, -1},       {"", "a", -1, -1},
        {nullptr, "", -1, -1},    {nullptr, nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.a ? c.a : "NULL") << " vs " << (c.b ? c.b : "NULL"));
        EXPECT_EQ(Sign(lstrcmpA(c.a, c.b)), c.sensitive);
        EXPECT_EQ(Sign(lstrcmpA(c.b, c.a)), -c.sensitive);
        EXPECT_EQ(Sign(lstrcmpiA(c.a, c.b)), c.insensitive);
    }
}

}  // namespace
