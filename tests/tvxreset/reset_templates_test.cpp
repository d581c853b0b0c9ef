// The compiled resources of the reset utility: menu 102 and dialog 101 item by item, the logo,
// the icon and the version block, read back through the layer as the program reads them.
#include "tvxreset.h"

#include "gdi_objects.h"
#include "icons.h"
#include "menu.h"
#include "resources.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct MenuRow {
    std::string text;  // "-" for a separator
    UINT id;
};

TEST(ResetTemplatesTest, MenuHasTheSelectAndHelpPopupsInOrder) {
    HMENU menu = LoadMenuA(reinterpret_cast<HINSTANCE>(0x00400000), MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    auto object = w95::LookupHandleAs<w95::Menu>(menu);
    ASSERT_TRUE(object);
    ASSERT_EQ(object->items.size(), 2u);
    const std::vector<MenuRow> select = {{"Board &1", 40001},
                                         {"Board &2", 40002},
                                         {"Board &3", 40003},
                                         {"Board &4", 40004},
                                         {"-", 0},
                                         {"&Reset all", 40010},
                                         {"-", 0},
                                         {"E&xit", 40011}};
    const std::vector<MenuRow> help = {{"&Help Topics", 40012}, {"&About", 40013}};
    const std::pair<const char*, const std::vector<MenuRow>*> popups[] = {{"&Select", &select},
                                                                          {"&Help", &help}};
    for (size_t p = 0; p < 2; ++p) {
        const w95::MenuItem& popup = object->items[p];
        EXPECT_EQ(popup.text, popups[p].first);
        ASSERT_TRUE(popup.popup);
        const auto& rows = *popups[p].second;
        ASSERT_EQ(popup.popup->items.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].text);
            const w95::MenuItem& item = popup.popup->items[i];
            EXPECT_EQ(item.separator, rows[i].text == "-");
            if (!item.separator) {
                EXPECT_EQ(item.text, rows[i].text);
            }
            EXPECT_EQ(item.id, rows[i].id);
            EXPECT_EQ(item.state, 0u);  // enabled until start-up sets the board entries
        }
    }
    DestroyMenu(menu);
}

struct DialogRow {
    int id;
    const char* class_name;
    const char* text;
    short x, y, cx, cy;
    DWORD kind;  // BS_ or SS_ type bits
    bool visible;
    DWORD extra;  // WS_TABSTOP or WS_GROUP
};

TEST(ResetTemplatesTest, BoardDialogMatchesItsTable) {
    const w95::Resource* resource =
        w95::FindProgramResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_BOARD));
    ASSERT_NE(resource, nullptr);
    w95::DialogTemplate dialog = w95::ParseDialogTemplate(resource->data, resource->size);
    EXPECT_EQ(dialog.caption, "Reset TarvexModem");
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.point_size, 8);
    EXPECT_EQ(dialog.cx, 282);
    EXPECT_EQ(dialog.cy, 95);
    const DWORD frame = DS_MODALFRAME | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    EXPECT_EQ(dialog.style & frame, frame);

    const DialogRow rows[] = {
        {1, "BUTTON", "&Ok", 229, 5, 50, 14, BS_DEFPUSHBUTTON, true, WS_TABSTOP},
        {0xFFFF, "BUTTON", "", 4, 0, 220, 90, BS_GROUPBOX, true, 0},
        {1000, "BUTTON", "Reset", 55, 12, 50, 14, BS_PUSHBUTTON, true, WS_TABSTOP},
        {1001, "BUTTON", "Reset", 55, 31, 50, 14, BS_PUSHBUTTON, true, WS_TABSTOP},
        {1002, "BUTTON", "Reset", 55, 50, 50, 14, BS_PUSHBUTTON, true, WS_TABSTOP},
        {1003, "BUTTON", "Reset", 55, 69, 50, 14, BS_PUSHBUTTON, true, WS_TABSTOP},
        {1004, "BUTTON", "Reset", 165, 12, 50, 14, BS_PUSHBUTTON, false, WS_TABSTOP},
        {1005, "BUTTON", "Reset", 165, 31, 50, 14, BS_PUSHBUTTON, false, WS_TABSTOP},
        {1006, "BUTTON", "Reset", 165, 50, 50, 14, BS_PUSHBUTTON, false, WS_TABSTOP},
        {1007, "BUTTON", "Reset", 165, 69, 50, 14, BS_PUSHBUTTON, false, WS_TABSTOP},
        {1008, "STATIC", "COM100", 15, 14, 35, 10, SS_LEFT, true, WS_GROUP},
        {1009, "STATIC", "COM101", 15, 33, 35, 10, SS_LEFT, true, WS_GROUP},
        {1010, "STATIC", "COM102", 15, 52, 35, 10, SS_LEFT, true, WS_GROUP},
        {1011, "STATIC", "COM103", 15, 71, 35, 10, SS_LEFT, true, WS_GROUP},
        {1012, "STATIC", "COM104", 125, 15, 35, 10, SS_LEFT, false, WS_GROUP},
        {1013, "STATIC", "COM105", 125, 34, 35, 10, SS_LEFT, false, WS_GROUP},
        {1014, "STATIC", "COM106", 125, 53, 35, 10, SS_LEFT, false, WS_GROUP},
        {1015, "STATIC", "COM107", 125, 71, 35, 10, SS_LEFT, false, WS_GROUP},
    };
    ASSERT_EQ(dialog.items.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const DialogRow& row = rows[i];
        const w95::DialogItem& item = dialog.items[i];
        SCOPED_TRACE("control " + std::to_string(row.id));
        EXPECT_EQ(item.id, static_cast<DWORD>(row.id));
        EXPECT_EQ(item.class_name, row.class_name);
        EXPECT_EQ(item.text, row.text);
        EXPECT_EQ(item.x, row.x);
        EXPECT_EQ(item.y, row.y);
        EXPECT_EQ(item.cx, row.cx);
        EXPECT_EQ(item.cy, row.cy);
        EXPECT_EQ(item.style & 0x1F, row.kind);
        EXPECT_EQ((item.style & WS_VISIBLE) != 0, row.visible);
        EXPECT_EQ(item.style & (WS_TABSTOP | WS_GROUP), row.extra);
    }
}

TEST(ResetTemplatesTest, LogoIconAndVersionBlock) {
    w95test::TempMachine machine;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x00400000);
    HBITMAP logo = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_LOGO));
    ASSERT_NE(logo, nullptr);
    auto bitmap = w95::LookupHandleAs<w95::Bitmap>(logo);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->surface.width, MAIN_CLIENT_WIDTH);
    EXPECT_EQ(bitmap->surface.height, MAIN_CLIENT_HEIGHT);
    EXPECT_TRUE(DeleteObject(logo));

    auto icon = w95::LookupHandleAs<w95::IconObject>(LoadIconA(instance, "MainIcon"));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width(), 32);
    EXPECT_EQ(icon->height(), 32);
    EXPECT_EQ(icon->colors(), 16);

    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof(path)), 0u);
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
    struct Value {
        const char* name;
        const char* text;
    };
    const Value values[] = {{"FileVersion", "1.11"},
                            {"FileDescription", "TarvexModem Reset Utility"},
                            {"LegalCopyright", "Copyright (C) Norvane. All rights reserved."}};
    for (const auto& value : values) {
        SCOPED_TRACE(value.name);
        LPVOID found = nullptr;
        UINT length = 0;
        std::string sub = std::string("\\StringFileInfo\\040904E4\\") + value.name;
        ASSERT_TRUE(VerQueryValueA(block.data(), sub.c_str(), &found, &length));
        EXPECT_EQ(std::string(static_cast<const char*>(found)), value.text);
        EXPECT_EQ(length, std::string(value.text).size() + 1);
        // Every value stays inside the caller's copy.
        EXPECT_GE(static_cast<char*>(found), block.data());
        EXPECT_LE(static_cast<char*>(found) + length, block.data() + size);
    }
    LPVOID found = nullptr;
    UINT length = 0;
    EXPECT_FALSE(
        VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\Comments", &found, &length));
    EXPECT_TRUE(VerQueryValueA(block.data(), "\\", &found, &length));
    EXPECT_EQ(length, 52u);  // the fixed file information
    // A copy too small for the block is refused, not overrun.
    EXPECT_FALSE(GetFileVersionInfoA(path, 0, size - 1, block.data()));
    // Any other file has no version block.
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\WINDOWS", &handle), 0u);
}

}  // namespace
