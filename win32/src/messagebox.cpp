// Message boxes: the user answers through one of the box's buttons; an unattended box takes its
// default button. Every closed box is journalled in ui.jsonl.
#include <windows.h>

#include "journal.h"
#include "user.h"
#include "window.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

// The buttons of each MB_TYPEMASK value, left to right.
const std::vector<int>* ButtonsOfType(UINT type) {
    static const std::vector<int> kTypes[] = {
        {IDOK},                        // MB_OK
        {IDOK, IDCANCEL},              // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
        {IDYES, IDNO},                 // MB_YESNO
        {IDRETRY, IDCANCEL},           // MB_RETRYCANCEL
    };
    if (type >= sizeof(kTypes) / sizeof(kTypes[0]))
        return nullptr;
    return &kTypes[type];
}

// One box at a time in the process, whichever thread shows it. Recursive, so that a box raised
// while the same thread's box waits (from a callback) does not deadlock.
std::recursive_mutex& BoxMutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}

std::string ButtonNames(const w95::UserWait& wait) {
    std::string names;
    for (const auto& button : wait.buttons)
        names += (names.empty() ? "" : ", ") + button.name;
    return names;
}

// The windows a box keeps from input while it is up: its owner's top-level window, or, for a
// task-modal box without owner, every top-level window of the thread. Returns those it disabled.
std::vector<HWND> DisableForBox(HWND owner, UINT type) {
    std::vector<HWND> targets;
    if (owner) {
        if (HWND top = w95::TopLevelOf(owner))
            targets.push_back(top);
    } else if ((type & MB_MODEMASK) == MB_TASKMODAL) {
        for (const auto& window : w95::ThreadWindows()) {
            if (w95::IsTopLevel(*window) && !window->destroying)
                targets.push_back(window->handle);
        }
    }
    std::vector<HWND> disabled;
    for (HWND target : targets) {
        if (IsWindowEnabled(target)) {
            EnableWindow(target, FALSE);
            disabled.push_back(target);
        }
    }
    return disabled;
}

}  // namespace

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const std::vector<int>* ids = ButtonsOfType(uType & MB_TYPEMASK);
    if (!ids) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    w95::UserWait wait;
    wait.kind = w95::UserWait::Kind::MessageBox;
    wait.caption = lpCaption ? lpCaption : "Error";
    wait.text = lpText ? lpText : "";
    wait.style = uType;
    wait.owned = hWnd != nullptr;
    for (int id : *ids)
        wait.buttons.push_back({id, w95::AnswerNameForId(id)});
    size_t default_button = (uType & MB_DEFMASK) >> 8;
    wait.default_button = default_button < ids->size() ? default_button : 0;

    std::lock_guard<std::recursive_mutex> lock(BoxMutex());
    std::vector<HWND> disabled = DisableForBox(hWnd, uType);
    const w95::UserButton* chosen = &wait.buttons[wait.default_button];
    while (auto action = w95::NextUserAction(wait)) {
        const w95::UserButton* named = nullptr;
        for (const auto& button : wait.buttons) {
            if (action->verb == w95::UserVerb::Answer && action->name == button.name) {
                named = &button;
            }
        }
        if (named) {
            chosen = named;
            break;
        }
        w95::RejectUserAction(
            *action, wait,
            action->verb == w95::UserVerb::Answer
                ? "it has no " + action->name + " button (its buttons: " + ButtonNames(wait) + ")"
                : "a message box takes only an answer naming one of its buttons (" +
                      ButtonNames(wait) + ")");
    }

    for (HWND window : disabled) {
        if (IsWindow(window))
            EnableWindow(window, TRUE);
    }

    nlohmann::ordered_json event = {{"event", "messagebox"}, {"caption", wait.caption},
                                    {"text", wait.text},     {"style", uType},
                                    {"owner", wait.owned},   {"answer", chosen->name}};
    w95::JournalEvent("ui", event);
    return chosen->id;
}
