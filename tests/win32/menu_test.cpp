// Menus built from templates: nesting, item states by command and by position, what the user
// sees of a window's menu and which commands can be chosen, and malformed templates.
#include "menu.h"
#include "resources.h"
#include "temp_machine.h"
#include "window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Writes a standard menu template: items as (option, id, text); pop-ups have no id.
class TemplateBuilder {
  public:
    TemplateBuilder() { Words({0, 0}); }
    TemplateBuilder& Popup(const std::string& text, bool last = false, uint16_t state = 0) {
        Words({static_cast<uint16_t>(MF_POPUP | state | (last ? MF_END : 0))});
        return Text(text);
    }
    TemplateBuilder& Item(uint16_t id, const std::string& text, bool last = false,
                          uint16_t state = 0) {
        Words({static_cast<uint16_t>(state | (last ? MF_END : 0)), id});
        return Text(text);
    }
    std::vector<uint8_t> bytes;

  private:
    void Words(std::initializer_list<uint16_t> words) {
        for (uint16_t w : words) {
            bytes.push_back(static_cast<uint8_t>(w & 0xFF));
            bytes.push_back(static_cast<uint8_t>(w >> 8));
        }
    }
    TemplateBuilder& Text(const std::string& text) {
        for (char c : text)
            Words({static_cast<uint8_t>(c)});
        Words({0});
        return *this;
    }
};

// "&File" (Open 10, separator, Exit 11) and "&Tools" greyed (Run 20).
std::vector<uint8_t> SampleTemplate() {
    TemplateBuilder builder;
    builder.Popup("&File")
        .Item(10, "&Open")
        .Item(0, "")
        .Item(11, "E&xit", true)
        .Popup("&Tools", true, MF_GRAYED)
        .Item(20, "&Run", true);
    return builder.bytes;
}

class MenuTest : public ::testing::Test {
  protected:
    void TearDown() override { w95::ResetThreadWindows(); }
    w95test::TempMachine machine_;
};

TEST_F(MenuTest, StatesChangeByCommandAndByPosition) {
    auto data = SampleTemplate();
    HMENU menu = LoadMenuIndirectA(data.data());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(GetMenuItemCount(file), 3);
    EXPECT_EQ(GetMenuState(file, 1, MF_BYPOSITION), static_cast<UINT>(MF_SEPARATOR));
    // A pop-up's state carries its item count in the high byte.
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION),
              static_cast<UINT>(MF_POPUP | MF_GRAYED | 0x100));

    // By command, from the top menu into its pop-ups; the previous state comes back.
    EXPECT_EQ(EnableMenuItem(menu, 11, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(menu, 11, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED | MF_DISABLED));
    EXPECT_EQ(EnableMenuItem(menu, 11, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED | MF_DISABLED);
    EXPECT_EQ(GetMenuState(file, 11, MF_BYCOMMAND), static_cast<UINT>(MF_ENABLED));
    EXPECT_EQ(EnableMenuItem(file, 0, MF_BYPOSITION | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(menu, 10, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED));

    // No such item: -1, the menu unchanged.
    EXPECT_EQ(EnableMenuItem(menu, 99, MF_BYCOMMAND | MF_GRAYED), -1);
    EXPECT_EQ(GetMenuState(menu, 99, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(EnableMenuItem(file, 3, MF_BYPOSITION | MF_GRAYED), -1);

    EXPECT_TRUE(DestroyMenu(menu));
    // The pop-ups went with their menu.
    EXPECT_EQ(GetMenuItemCount(file), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
    EXPECT_EQ(EnableMenuItem(menu, 10, MF_GRAYED), -1);
    EXPECT_FALSE(DestroyMenu(menu));
}

TEST_F(MenuTest, UserSeesCommandsWithTheirPathsAndCannotChooseGreyedOnes) {
    auto data = SampleTemplate();
    HMENU menu = LoadMenuIndirectA(data.data());
    EnableMenuItem(menu, 11, MF_BYCOMMAND | MF_DISABLED);
    auto items = w95::MenuCommandsForUser(menu);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, "&File > &Open");
    EXPECT_TRUE(items[0].enabled);
    EXPECT_EQ(items[1].id, 11);
    EXPECT_FALSE(items[1].enabled);
    EXPECT_EQ(items[2].text, "&Tools > &Run");
    EXPECT_FALSE(items[2].enabled);  // inside a greyed pop-up

    struct Case {
        int id;
        bool choosable;
        const char* why;
    };
    const Case cases[] = {{10, true, ""},
                          {11, false, "menu command 11 (&File > E&xit) is greyed"},
                          {20, false, "menu command 20 (&Tools > &Run) is greyed"},
                          {0, false, "its menu has no command 0"},
                          {12, false, "its menu has no command 12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        std::string why;
        EXPECT_EQ(w95::CanChooseMenuCommand(menu, c.id, why), c.choosable);
        EXPECT_EQ(why, c.why);
    }

    // A window shows the menu it was created with.
    HWND window = CreateWindowExA(0, "STATIC", "menu owner", WS_OVERLAPPED | WS_CAPTION, 0, 0, 200,
                                  100, nullptr, menu, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetMenu(window), menu);
    DestroyMenu(menu);
}

TEST_F(MenuTest, MalformedTemplatesAreRefused) {
    auto whole = SampleTemplate();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> extended = whole;
    extended[0] = 1;  // the extended kind's version
    std::vector<uint8_t> no_end = TemplateBuilder().Item(1, "A").Item(2, "B").bytes;
    const Case cases[] = {
        {"cut inside a text", std::vector<uint8_t>(whole.begin(), whole.begin() + 15)},
        {"header only", std::vector<uint8_t>(whole.begin(), whole.begin() + 4)},
        {"last item without the end mark", no_end},
        {"extended template", extended},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(w95::ParseMenuTemplate(c.bytes.data(), c.bytes.size()),
                     w95::ResourceFormatError);
    }
    // Pop-ups nested without end.
    TemplateBuilder deep;
    for (int i = 0; i < 20; ++i)
        deep.Popup("x");
    EXPECT_THROW(w95::ParseMenuTemplate(deep.bytes.data(), deep.bytes.size()),
                 w95::ResourceFormatError);

    // A program without a menu resource.
    EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCEA(102)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

}  // namespace
