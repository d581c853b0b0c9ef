// The user at the windows: when a thread waits on an empty queue, the window the user acts on is
// described (its controls with id, class, text, state) and the next action is carried out as the
// input it stands for: a click is a press and release of the mouse button on the control, a key
// goes to the focused control through the queue (so the loop's IsDialogMessageA sees it), typed
// text replaces an edit field's text, close is the window's Close command.
#include "menu.h"
#include "user.h"
#include "window.h"

#include <functional>

namespace w95 {

namespace {

int DisplayId(const Window& control) {
    return control.id == 0xFFFF ? -1 : control.id;
}

bool IsControlClass(const std::string& name) {
    return name == "BUTTON" || name == "STATIC" || name == "EDIT" || name == "COMBOBOX";
}

bool EnabledWithAncestors(const Window& window) {
    if (window.style & WS_DISABLED)
        return false;
    auto parent = FindWindowObject(window.parent);
    return !parent || EnabledWithAncestors(*parent);
}

// The visible controls inside TOP, depth first in creation order (a child dialog's controls
// come in its place); the edit field of a combo box is part of the combo box.
void CollectControls(const Window& top, std::vector<std::shared_ptr<Window>>& out) {
    for (HWND child : top.children) {
        auto window = FindWindowObject(child);
        if (!window || !(window->style & WS_VISIBLE) || window->destroying)
            continue;
        if (IsControlClass(window->window_class->name))
            out.push_back(window);
        else
            CollectControls(*window, out);
    }
}

UserWait Describe(const Window& top) {
    UserWait wait;
    wait.kind = UserWait::Kind::Window;
    wait.caption = top.text;
    wait.class_name = top.window_class->name;
    std::vector<std::shared_ptr<Window>> controls;
    CollectControls(top, controls);
    HWND focus = GetFocus();
    for (const auto& control : controls) {
        UserControl entry;
        entry.id = DisplayId(*control);
        entry.class_name = control->window_class->name;
        char text[1024];
        GetWindowTextA(control->handle, text, sizeof(text));
        entry.text = text;
        entry.enabled = EnabledWithAncestors(*control);
        entry.checked = control->window_class->name == "BUTTON" && ButtonCheckState(*control);
        entry.focused = focus && (focus == control->handle || IsChild(control->handle, focus));
        if (entry.class_name == "COMBOBOX")
            entry.items = ComboBoxItems(*control);
        wait.controls.push_back(std::move(entry));
    }
    if (top.menu)
        wait.menu = MenuCommandsForUser(top.menu);
    return wait;
}

std::shared_ptr<Window> FindControl(const Window& top, int id) {
    std::vector<std::shared_ptr<Window>> controls;
    CollectControls(top, controls);
    for (const auto& control : controls) {
        if (DisplayId(*control) == id)
            return control;
    }
    return nullptr;
}

WPARAM VirtualKey(const std::string& name) {
    if (name == "enter")
        return VK_RETURN;
    if (name == "esc")
        return VK_ESCAPE;
    if (name == "tab")
        return VK_TAB;
    if (name == "space")
        return VK_SPACE;
    return 0;
}

// Carries out ACTION on the window TOP; false with WHY when it cannot be done.
bool CarryOut(const Window& top, const UserAction& action, std::string& why) {
    switch (action.verb) {
        case UserVerb::Click:
        case UserVerb::SetText: {
            auto control = FindControl(top, action.id);
            if (!control) {
                why = "it has no visible control " + std::to_string(action.id);
                return false;
            }
            const std::string& kind = control->window_class->name;
            std::string name = "control " + std::to_string(action.id) + " (" + kind + ")";
            if (!EnabledWithAncestors(*control)) {
                why = name + " is disabled";
                return false;
            }
            if (action.verb == UserVerb::Click) {
                if (kind != "BUTTON" || (control->style & BS_TYPEMASK) == BS_GROUPBOX) {
                    why = name + " cannot be clicked: only buttons and check boxes can";
                    return false;
                }
                Post(control->handle, WM_LBUTTONDOWN);
                Post(control->handle, WM_LBUTTONUP);
                return true;
            }
            HWND edit = kind == "EDIT"       ? control->handle
                        : kind == "COMBOBOX" ? ComboBoxEdit(*control)
                                             : nullptr;
            std::vector<std::string> items =
                kind == "COMBOBOX" ? ComboBoxItems(*control) : std::vector<std::string>();
            int listed = -1;
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i] == action.text && listed < 0)
                    listed = static_cast<int>(i);
            }
            if (!edit && !(kind == "COMBOBOX" && listed >= 0)) {
                why = kind == "COMBOBOX" ? name + " has no edit field and no item \"" +
                                               action.text + "\" in its list"
                                         : name +
                                               " takes no text: only edit fields and combo "
                                               "boxes do";
                return false;
            }
            // The user clicks into the field, types the text, and picks a listed item by it.
            SetFocus(control->handle);
            if (edit)
                Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(action.text.c_str()));
            if (listed >= 0) {
                Send(control->handle, CB_SETCURSEL, static_cast<WPARAM>(listed));
                NotifyParent(*control, CBN_SELCHANGE);
            }
            return true;
        }
        case UserVerb::Key: {
            HWND focus = GetFocus();
            HWND target =
                focus && (focus == top.handle || IsChild(top.handle, focus)) ? focus : top.handle;
            WPARAM key = VirtualKey(action.name);
            Post(target, WM_KEYDOWN, key, 1);
            Post(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
            return true;
        }
        case UserVerb::Menu:
            if (!top.menu) {
                why = "it has no menu";
                return false;
            }
            if (!CanChooseMenuCommand(top.menu, action.id, why))
                return false;
            Post(top.handle, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(action.id), 0), 0);
            return true;
        case UserVerb::Close:
            Post(top.handle, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        case UserVerb::Answer:
            why = "no message box is up; a window takes click, settext, key, menu or close";
            return false;
    }
    return false;
}

}  // namespace

void WaitForUser() {
    auto top = FindWindowObject(UserWindow());
    if (!top) {
        EndProgramForUser(nullptr,
                          "the program waits for a message, but it has no visible window: no "
                          "input can ever come");
    }
    UserWait wait = Describe(*top);
    for (;;) {
        std::optional<UserAction> action = NextUserAction(wait);
        if (!action) {
            EndProgramForUser(nullptr, "the " + DescribeWait(wait) +
                                           " waits for the user, and nobody is there (give the "
                                           "actions in a W95_USER script or run at a terminal)");
        }
        std::string why;
        if (CarryOut(*top, *action, why)) {
            JournalWindow(*top, "user", {{"input", FormatUserAction(*action)}});
            return;
        }
        RejectUserAction(*action, wait, why);
    }
}

}  // namespace w95
