// Menus: handle-table objects built from RT_MENU templates, with the item states that
// EnableMenuItem changes, and what the user sees of a window's menu and may choose from it.
#pragma once

#include "handles.h"
#include "user.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace w95 {

class Menu;

struct MenuItem {
    UINT state = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT id = 0;     // command id; 0 for separators and pop-ups
    std::string text;
    bool separator = false;
    std::shared_ptr<Menu> popup;  // the pop-up's own menu, with its own handle
    HMENU popup_handle = nullptr;
};

class Menu : public KernelObject {
  public:
    std::vector<MenuItem> items;
    void OnClose() override;  // the pop-ups go with their menu
};

// Builds a menu from a standard menu template of SIZE bytes; throws ResourceFormatError for a
// template that is cut short, nests without end, or is of the extended kind.
std::shared_ptr<Menu> ParseMenuTemplate(const uint8_t* data, size_t size);

// The command items of MENU and its pop-ups, in menu order, as the user sees them: the text is
// the path of pop-up texts and the item's text ("&Select > Board &1").
std::vector<UserMenuItem> MenuCommandsForUser(HMENU menu);

// Whether the user can choose command ID from MENU; false with WHY when the menu has no such
// command or the command is greyed or disabled.
bool CanChooseMenuCommand(HMENU menu, int id, std::string& why);

}  // namespace w95
