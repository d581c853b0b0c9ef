// The COMBOBOX class: a list of strings and, for the simple and drop-down kinds, an edit field
// (a child EDIT control, id 1001) where the user can also type any text.
#include "window.h"

#include <strings.h>

#include <cstring>

namespace w95 {

namespace {

constexpr int kEditId = 1001;

struct ComboData : WindowExtension {
    std::vector<std::string> items;
    std::vector<LPARAM> item_data;
    int selection = CB_ERR;
    HWND edit = nullptr;
    bool quiet = false;  // set while the combo box changes its own edit field
    bool dropped = false;
};

ComboData& Data(Window& window) {
    if (!window.As<ComboData>())
        window.extension = std::make_unique<ComboData>();
    return *window.As<ComboData>();
}

DWORD Kind(const Window& window) {
    return window.style & 0x3;
}

void SetEditText(ComboData& data, const std::string& text) {
    if (!data.edit)
        return;
    data.quiet = true;
    SetWindowTextA(data.edit, text.c_str());
    data.quiet = false;
}

// CB_FINDSTRING and CB_FINDSTRINGEXACT: the search starts after item START (-1: at the first)
// and wraps around; the comparison ignores case.
int Find(const ComboData& data, WPARAM start, const char* text, bool exact) {
    if (!text)
        return CB_ERR;
    int count = static_cast<int>(data.items.size());
    int first = static_cast<int>(static_cast<INT_PTR>(start));
    first = (first < 0 || first >= count) ? 0 : first + 1;
    size_t length = std::strlen(text);
    for (int n = 0; n < count; ++n) {
        int index = (first + n) % count;
        const std::string& item = data.items[static_cast<size_t>(index)];
        bool match = exact ? strcasecmp(item.c_str(), text) == 0
                           : strncasecmp(item.c_str(), text, length) == 0;
        if (match)
            return index;
    }
    return CB_ERR;
}

LRESULT Insert(const Window& window, ComboData& data, int index, const char* text) {
    if (!text)
        return CB_ERR;
    int count = static_cast<int>(data.items.size());
    if (index < 0 || index > count)
        index = count;
    if (window.style & CBS_SORT) {
        index = 0;
        while (index < count &&
               strcasecmp(data.items[static_cast<size_t>(index)].c_str(), text) <= 0)
            ++index;
    }
    data.items.insert(data.items.begin() + index, text);
    data.item_data.insert(data.item_data.begin() + index, 0);
    if (data.selection >= index)
        ++data.selection;
    return index;
}

}  // namespace

std::vector<std::string> ComboBoxItems(const Window& combo) {
    auto* data = combo.As<ComboData>();
    return data ? data->items : std::vector<std::string>();
}

HWND ComboBoxEdit(const Window& combo) {
    auto* data = combo.As<ComboData>();
    return data ? data->edit : nullptr;
}

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        return 0;
    auto& data = Data(*window);
    int count = static_cast<int>(data.items.size());
    int index = static_cast<int>(static_cast<INT_PTR>(wparam));
    switch (message) {
        case WM_CREATE:
            if (Kind(*window) != CBS_DROPDOWNLIST) {
                // The edit field takes the combo box's width less its drop-down arrow.
                int width = window->rect.right - window->rect.left;
                DWORD style = WS_CHILD | WS_VISIBLE |
                              ((window->style & CBS_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0);
                data.edit =
                    CreateWindowExA(0, "EDIT", "", style, 0, 0, width > 16 ? width - 16 : width, 21,
                                    hwnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(kEditId)),
                                    window->instance, nullptr);
                if (!data.edit)
                    return -1;
            }
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_WANTARROWS;
        case WM_SETFOCUS:
            if (data.edit)
                SetFocus(data.edit);
            else
                NotifyParent(*window, CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            if (!data.edit)
                NotifyParent(*window, CBN_KILLFOCUS);
            return 0;
        case WM_ENABLE:
            if (data.edit)
                EnableWindow(data.edit, wparam ? TRUE : FALSE);
            return 0;
        case WM_COMMAND:
            // The edit field's notifications, told to the parent as the combo box's own.
            if (reinterpret_cast<HWND>(lparam) == data.edit && data.edit) {
                switch (HIWORD(wparam)) {
                    case EN_CHANGE:
                        if (!data.quiet)
                            NotifyParent(*window, CBN_EDITCHANGE);
                        break;
                    case EN_UPDATE:
                        if (!data.quiet)
                            NotifyParent(*window, CBN_EDITUPDATE);
                        break;
                    case EN_SETFOCUS:
                        NotifyParent(*window, CBN_SETFOCUS);
                        break;
                    case EN_KILLFOCUS:
                        NotifyParent(*window, CBN_KILLFOCUS);
                        break;
                    default:
                        break;
                }
            }
            return 0;
        case WM_SETTEXT:
            if (data.edit) {
                SetEditText(data, lparam ? reinterpret_cast<const char*>(lparam) : "");
                return TRUE;
            } else {
                int found = Find(data, static_cast<WPARAM>(-1),
                                 reinterpret_cast<const char*>(lparam), true);
                if (found == CB_ERR)
                    return CB_ERR;
                data.selection = found;
                return TRUE;
            }
        case WM_GETTEXT:
            if (data.edit)
                return Send(data.edit, WM_GETTEXT, wparam, lparam);
            return CopyWindowText(data.selection >= 0 ? data.items[data.selection] : "", wparam,
                                  lparam);
        case WM_GETTEXTLENGTH:
            if (data.edit)
                return Send(data.edit, WM_GETTEXTLENGTH);
            return data.selection >= 0 ? static_cast<LRESULT>(data.items[data.selection].size())
                                       : 0;
        case CB_ADDSTRING:
            return Insert(*window, data, -1, reinterpret_cast<const char*>(lparam));
        case CB_INSERTSTRING: {
            if (index > count)
                return CB_ERR;
            // An explicit position is kept even in a sorted list.
            DWORD sorted = window->style & CBS_SORT;
            window->style &= ~CBS_SORT;
            LRESULT result = Insert(*window, data, index, reinterpret_cast<const char*>(lparam));
            window->style |= sorted;
            return result;
        }
        case CB_DELETESTRING:
            if (index < 0 || index >= count)
                return CB_ERR;
            data.items.erase(data.items.begin() + index);
            data.item_data.erase(data.item_data.begin() + index);
            if (data.selection == index)
                data.selection = CB_ERR;
            else if (data.selection > index)
                --data.selection;
            return count - 1;
        case CB_RESETCONTENT:
            data.items.clear();
            data.item_data.clear();
            data.selection = CB_ERR;
            SetEditText(data, "");
            return CB_OKAY;
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return data.selection;
        case CB_SETCURSEL:
            if (index < 0 || index >= count) {
                data.selection = CB_ERR;
                SetEditText(data, "");
                return CB_ERR;
            }
            data.selection = index;
            SetEditText(data, data.items[static_cast<size_t>(index)]);
            return index;
        case CB_GETLBTEXT: {
            if (index < 0 || index >= count || !lparam)
                return CB_ERR;
            const std::string& item = data.items[static_cast<size_t>(index)];
            std::memcpy(reinterpret_cast<char*>(lparam), item.c_str(), item.size() + 1);
            return static_cast<LRESULT>(item.size());
        }
        case CB_GETLBTEXTLEN:
            if (index < 0 || index >= count)
                return CB_ERR;
            return static_cast<LRESULT>(data.items[static_cast<size_t>(index)].size());
        case CB_FINDSTRING:
            return Find(data, wparam, reinterpret_cast<const char*>(lparam), false);
        case CB_FINDSTRINGEXACT:
            return Find(data, wparam, reinterpret_cast<const char*>(lparam), true);
        case CB_SELECTSTRING: {
            int found = Find(data, wparam, reinterpret_cast<const char*>(lparam), false);
            if (found == CB_ERR)
                return CB_ERR;
            data.selection = found;
            SetEditText(data, data.items[static_cast<size_t>(found)]);
            return found;
        }
        case CB_SETITEMDATA:
            if (index < 0 || index >= count)
                return CB_ERR;
            data.item_data[static_cast<size_t>(index)] = lparam;
            return TRUE;
        case CB_GETITEMDATA:
            if (index < 0 || index >= count)
                return CB_ERR;
            return data.item_data[static_cast<size_t>(index)];
        case CB_LIMITTEXT:
            if (data.edit)
                Send(data.edit, EM_LIMITTEXT, wparam);
            return TRUE;
        case CB_SHOWDROPDOWN:
            data.dropped = wparam != 0;
            return TRUE;
        case CB_GETDROPPEDSTATE:
            return data.dropped ? TRUE : FALSE;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace w95
