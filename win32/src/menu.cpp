// Menus: LoadMenuA and LoadMenuIndirectA build a menu from a template, GetMenu gives a window's
// menu bar, EnableMenuItem and GetMenuState address items by command or position. A greyed or
// disabled command cannot be chosen by the user.
#include "menu.h"

#include "resources.h"
#include "window.h"

#include <functional>

namespace w95 {

namespace {

// The item option bits of a standard menu template.
constexpr uint16_t kTemplatePopup = 0x0010;
constexpr uint16_t kTemplateEnd = 0x0080;
constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED;
// Deeper nesting than this is taken for a malformed template.
constexpr int kMaxDepth = 8;

class TemplateReader {
  public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint16_t Word() {
        if (size_ - offset_ < 2)
            throw ResourceFormatError("the menu template is cut short at byte " +
                                      std::to_string(offset_));
        uint16_t value = static_cast<uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
        offset_ += 2;
        return value;
    }
    std::string Text() {
        std::string text;
        for (uint16_t c = Word(); c != 0; c = Word())
            text += c < 0x100 ? static_cast<char>(c) : '?';
        return text;
    }
    void Skip(size_t count) {
        if (size_ - offset_ < count)
            throw ResourceFormatError("the menu template header is cut short");
        offset_ += count;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

std::shared_ptr<Menu> ReadLevel(TemplateReader& reader, int depth) {
    if (depth > kMaxDepth)
        throw ResourceFormatError("the menu template nests too deep");
    auto menu = std::make_shared<Menu>();
    for (;;) {
        uint16_t option = reader.Word();
        MenuItem item;
        item.state = option & kStateBits;
        if (option & kTemplatePopup) {
            item.text = reader.Text();
            item.popup = ReadLevel(reader, depth + 1);
            item.popup_handle = static_cast<HMENU>(AddHandle(item.popup));
        } else {
            item.id = reader.Word();
            item.text = reader.Text();
            item.separator = item.id == 0 && item.text.empty();
        }
        menu->items.push_back(std::move(item));
        if (option & kTemplateEnd)
            return menu;
    }
}

// The item that UITEM names in MENU: by position, or by command in MENU and its pop-ups.
MenuItem* FindItem(Menu& menu, UINT uitem, UINT flags) {
    if (flags & MF_BYPOSITION)
        return uitem < menu.items.size() ? &menu.items[uitem] : nullptr;
    for (auto& item : menu.items) {
        if (item.popup) {
            if (MenuItem* inner = FindItem(*item.popup, uitem, flags))
                return inner;
        } else if (!item.separator && item.id == uitem) {
            return &item;
        }
    }
    return nullptr;
}

void CollectCommands(const Menu& menu, const std::string& path, bool enabled,
                     std::vector<UserMenuItem>& out) {
    for (const auto& item : menu.items) {
        bool item_enabled = enabled && !(item.state & (MF_GRAYED | MF_DISABLED));
        std::string text = path.empty() ? item.text : path + " > " + item.text;
        if (item.popup)
            CollectCommands(*item.popup, text, item_enabled, out);
        else if (!item.separator)
            out.push_back({static_cast<int>(item.id), text, item_enabled});
    }
}

}  // namespace

void Menu::OnClose() {
    for (auto& item : items) {
        if (item.popup_handle && LookupHandleAs<Menu>(item.popup_handle))
            CloseKernelHandle(item.popup_handle);
        item.popup_handle = nullptr;
    }
}

std::shared_ptr<Menu> ParseMenuTemplate(const uint8_t* data, size_t size) {
    TemplateReader reader(data, size);
    uint16_t version = reader.Word();
    uint16_t header_size = reader.Word();
    if (version != 0)
        throw ResourceFormatError("the menu template is not a standard one (version " +
                                  std::to_string(version) + ")");
    reader.Skip(header_size);
    return ReadLevel(reader, 0);
}

std::vector<UserMenuItem> MenuCommandsForUser(HMENU menu) {
    std::vector<UserMenuItem> items;
    if (auto object = LookupHandleAs<Menu>(menu))
        CollectCommands(*object, "", true, items);
    return items;
}

bool CanChooseMenuCommand(HMENU menu, int id, std::string& why) {
    for (const auto& item : MenuCommandsForUser(menu)) {
        if (item.id != id)
            continue;
        if (item.enabled)
            return true;
        why = "menu command " + std::to_string(id) + " (" + item.text + ") is greyed";
        return false;
    }
    why = "its menu has no command " + std::to_string(id);
    return false;
}

}  // namespace w95

namespace {

HMENU MenuFromTemplate(const uint8_t* data, size_t size) {
    try {
        return static_cast<HMENU>(w95::AddHandle(w95::ParseMenuTemplate(data, size)));
    } catch (const w95::ResourceFormatError&) {
        return w95::Fail(ERROR_RESOURCE_DATA_NOT_FOUND, HMENU{nullptr});
    }
}

// An in-memory template has no size; a menu resource never needs more than this.
constexpr size_t kIndirectTemplateLimit = 0x10000;

}  // namespace

extern "C" HMENU WINAPI LoadMenuA(HINSTANCE, LPCSTR lpMenuName) {
    const w95::Resource* resource = w95::FindProgramResource(RT_MENU, lpMenuName);
    if (!resource)
        return nullptr;
    return MenuFromTemplate(resource->data, resource->size);
}

extern "C" HMENU WINAPI LoadMenuIndirectA(const void* lpMenuTemplate) {
    if (!lpMenuTemplate)
        return w95::Fail(ERROR_INVALID_PARAMETER, HMENU{nullptr});
    return MenuFromTemplate(static_cast<const uint8_t*>(lpMenuTemplate), kIndirectTemplateLimit);
}

extern "C" BOOL WINAPI DestroyMenu(HMENU hMenu) {
    if (!w95::LookupHandleAs<w95::Menu>(hMenu))
        return w95::Fail(ERROR_INVALID_MENU_HANDLE, FALSE);
    return w95::CloseKernelHandle(hMenu) ? TRUE : FALSE;
}

extern "C" HMENU WINAPI GetMenu(HWND hWnd) {
    auto window = w95::WindowOrFail(hWnd);
    return window && !window->parent ? window->menu : nullptr;
}

extern "C" HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    auto menu = w95::LookupHandleAs<w95::Menu>(hMenu);
    if (!menu || nPos < 0 || static_cast<size_t>(nPos) >= menu->items.size())
        return nullptr;
    return menu->items[static_cast<size_t>(nPos)].popup_handle;
}

extern "C" int WINAPI GetMenuItemCount(HMENU hMenu) {
    auto menu = w95::LookupHandleAs<w95::Menu>(hMenu);
    if (!menu)
        return w95::Fail(ERROR_INVALID_MENU_HANDLE, -1);
    return static_cast<int>(menu->items.size());
}

extern "C" BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    auto menu = w95::LookupHandleAs<w95::Menu>(hMenu);
    if (!menu)
        return w95::Fail(ERROR_INVALID_MENU_HANDLE, -1);
    w95::MenuItem* item = w95::FindItem(*menu, uIDEnableItem, uEnable);
    if (!item)
        return -1;
    UINT previous = item->state & (MF_GRAYED | MF_DISABLED);
    item->state =
        (item->state & ~(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return static_cast<BOOL>(previous);
}

extern "C" UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
    auto menu = w95::LookupHandleAs<w95::Menu>(hMenu);
    if (!menu)
        return w95::Fail(ERROR_INVALID_MENU_HANDLE, static_cast<UINT>(-1));
    w95::MenuItem* item = w95::FindItem(*menu, uId, uFlags);
    if (!item)
        return static_cast<UINT>(-1);
    UINT state = item->state;
    if (item->separator)
        state |= MF_SEPARATOR;
    if (item->popup)  // a pop-up: its item count in the high byte
        state |= MF_POPUP | (static_cast<UINT>(item->popup->items.size()) << 8);
    return state;
}
