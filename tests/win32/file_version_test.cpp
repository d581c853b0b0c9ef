// Version blocks: which files have one, and VerQueryValueA walking a block built here, with texts
// that end early or lack their terminator and children that claim more than their parent holds.
#include "temp_machine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One node of a version block: wLength, wValueLength, wType, key, padding, value, padding,
// children.
std::vector<uint8_t> Node(const std::string& key, uint16_t type, const std::vector<uint8_t>& value,
                          uint16_t value_length, const std::vector<std::vector<uint8_t>>& children,
                          int length_adjust = 0) {
    std::vector<uint8_t> out(6, 0);
    for (char c : key) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    out.insert(out.end(), {0, 0});
    out.resize((out.size() + 3) & ~size_t{3}, 0);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        out.resize((out.size() + 3) & ~size_t{3}, 0);
        out.insert(out.end(), child.begin(), child.end());
    }
    size_t length = out.size() + static_cast<size_t>(length_adjust);
    out[0] = static_cast<uint8_t>(length);
    out[1] = static_cast<uint8_t>(length >> 8);
    out[2] = static_cast<uint8_t>(value_length);
    out[3] = static_cast<uint8_t>(value_length >> 8);
    out[4] = static_cast<uint8_t>(type);
    return out;
}

std::vector<uint8_t> Wide(const std::string& text, bool terminated = true) {
    std::vector<uint8_t> out;
    for (char c : text)
        out.insert(out.end(), {static_cast<uint8_t>(c), 0});
    if (terminated)
        out.insert(out.end(), {0, 0});
    return out;
}

std::vector<uint8_t> Text(const std::string& key, const std::string& text, bool terminated = true) {
    auto value = Wide(text, terminated);
    return Node(key, 1, value, static_cast<uint16_t>(value.size() / 2), {});
}

// The block followed by the room for the ANSI texts, as GetFileVersionInfoA lays out its copy.
std::vector<uint8_t> Copy(std::vector<uint8_t> block) {
    size_t size = block.size();
    block.resize(((size + 3) & ~size_t{3}) + size, 0xEE);
    return block;
}

TEST(FileVersionTest, OnlyTheRunningProgramHasABlockAndThisOneCarriesNone) {
    w95test::TempMachine machine;
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof(path)), 0u);
    DWORD handle = 7;
    EXPECT_EQ(GetFileVersionInfoSizeA(path, &handle), 0u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\no\\such.exe", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    char data[64];
    EXPECT_FALSE(GetFileVersionInfoA(path, 0, sizeof(data), data));
}

TEST(FileVersionTest, QueriesWalkTheBlockAndStayInsideIt) {
    std::vector<uint8_t> fixed(52, 0xAB);
    auto table =
        Node("040904E4", 1, {}, 0,
             {Text("FileVersion", "2.5"), Text("Empty", ""), Text("Unterminated", "abcd", false)});
    auto block =
        Copy(Node("VS_VERSION_INFO", 0, fixed, 52, {Node("StringFileInfo", 1, {}, 0, {table})}));
    struct Case {
        const char* path;
        bool found;
        std::string text;
    };
    const Case cases[] = {
        {"\\StringFileInfo\\040904E4\\FileVersion", true, "2.5"},
        {"\\stringfileinfo\\040904e4\\fileversion", true, "2.5"},  // keys ignore case
        {"\\StringFileInfo\\040904E4\\Empty", true, ""},
        {"\\StringFileInfo\\040904E4\\Unterminated", true, "abcd"},
        {"\\StringFileInfo\\040904E4\\Missing", false, ""},
        {"\\StringFileInfo\\041104B0\\FileVersion", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LPVOID value = nullptr;
        UINT length = 99;
        EXPECT_EQ(VerQueryValueA(block.data(), c.path, &value, &length) != FALSE, c.found);
        if (!c.found) {
            EXPECT_EQ(length, 0u);
            continue;
        }
        const char* text = static_cast<const char*>(value);
        EXPECT_EQ(std::string(text), c.text);
        EXPECT_EQ(length, c.text.size() + 1);
        EXPECT_GE(text, reinterpret_cast<const char*>(block.data()));
        EXPECT_LE(text + length, reinterpret_cast<const char*>(block.data() + block.size()));
    }
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    EXPECT_EQ(length, 52u);
    EXPECT_EQ(static_cast<const uint8_t*>(value)[0], 0xAB);
}

TEST(FileVersionTest, ChildClaimingMoreThanItsParentIsNotFollowed) {
    // The text node says it is 200 bytes long inside a parent far shorter.
    auto bad = Text("FileVersion", "1.0");
    bad[0] = 200;
    auto block =
        Copy(Node("VS_VERSION_INFO", 0, {}, 0,
                  {Node("StringFileInfo", 1, {}, 0, {Node("040904E4", 1, {}, 0, {bad})})}));
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(
        VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &length));
    EXPECT_EQ(value, nullptr);
}

}  // namespace
