// The window manager's model: window classes, windows and their table, per-thread state (message
// queue, focus, active window). Windows belong to the thread that created them; their fields are
// touched by that thread only, while the table and the queues are shared and locked.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace w95 {

struct WindowClass {
    std::string name;  // as registered; compared case-insensitively
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    bool system = false;  // predefined: BUTTON, STATIC, EDIT, COMBOBOX, the dialog class
};

// The class name of dialogs, as Windows names it.
constexpr const char* kDialogClass = "#32770";

// What a kind of window keeps besides the common fields (control state, dialog state).
struct WindowExtension {
    virtual ~WindowExtension() = default;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> window_class;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    std::string text;
    HWND parent = nullptr;  // children: the parent; top-level windows: null
    HWND owner = nullptr;   // top-level windows: the owner, if any
    HMENU menu = nullptr;   // top-level windows: the menu bar
    int id = 0;             // children: the control id
    HINSTANCE instance = nullptr;
    RECT rect{};  // children: relative to the parent's client area; top-level: on the screen
    std::vector<HWND> children;  // in creation order, which is the dialog's tab order
    std::thread::id thread;
    bool needs_paint = false;
    bool erase_background = false;
    bool minimized = false;
    bool destroying = false;
    LONG user_data = 0;
    uint64_t serial = 0;  // creation order within the process
    std::unique_ptr<WindowExtension> extension;

    template <class T>
    T* As() const {
        return dynamic_cast<T*>(extension.get());
    }
};

// Registered classes (process-wide, like Windows 95's application classes of one program).
std::shared_ptr<WindowClass> FindWindowClass(const std::string& name);
void RegisterSystemClasses();

// The window table. Lookups of destroyed or forged handles give nullptr.
std::shared_ptr<Window> FindWindowObject(HWND hwnd);
// Like FindWindowObject, but sets ERROR_INVALID_WINDOW_HANDLE when it fails.
std::shared_ptr<Window> WindowOrFail(HWND hwnd);
// The live windows of the calling thread, in creation order.
std::vector<std::shared_ptr<Window>> ThreadWindows();

// What each thread keeps of the user interface: the focus and the active window.
struct ThreadUi {
    HWND focus = nullptr;
    HWND active = nullptr;
};
ThreadUi& ThisThreadUi();

// The top-level window that holds HWND (HWND itself when it is top-level).
HWND TopLevelOf(HWND hwnd);

// The dialog state that CreateWindowExA attaches to a new window of the dialog class; the dialog
// manager prepares it for the template it creates, before any message reaches the window.
std::unique_ptr<WindowExtension> TakeDialogExtension();

// The visible top-level window that the user acts on for the calling thread, or nullptr.
HWND UserWindow();
void SetActiveWindowOfThread(HWND hwnd);
// Activates a top-level window: WM_ACTIVATE to the old and the new one.
void ActivateWindow(HWND hwnd);

bool IsVisibleOnScreen(const Window& window);  // WS_VISIBLE on the window and its ancestors
bool IsTopLevel(const Window& window);
bool IsDialogWindow(const Window& window);
// The child of DIALOG that holds HWND (HWND itself, or the control whose part it is).
HWND DialogControlOf(HWND dialog, HWND hwnd);

// Non-client insets of a window style with the fixed Windows 95 metrics.
RECT NonClientInsets(DWORD style, DWORD ex_style, bool has_menu);

// Messages. Sent messages are delivered at once on the calling thread.
LRESULT Send(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
void Post(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
// WM_COMMAND from a control to its parent.
void NotifyParent(const Window& control, WORD code);

// The text-copying rule of WM_GETTEXT: at most BUFFER_SIZE - 1 characters and a NUL.
LRESULT CopyWindowText(const std::string& text, WPARAM buffer_size, LPARAM buffer);

// The built-in window procedures.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// Control state that the user's description and actions read.
int ButtonCheckState(const Window& button);
std::vector<std::string> ComboBoxItems(const Window& combo);
HWND ComboBoxEdit(const Window& combo);

// Dialog state.
bool DialogEnded(HWND dialog, INT_PTR* result);
void SetDialogFocusMemory(HWND dialog, HWND control);
// The 32-bit dialog field that GetWindowLongA/SetWindowLongA address (DWL_MSGRESULT, DWL_USER);
// nullptr for other indexes or windows that are not dialogs.
LONG* DialogLongField(const Window& window, int index);

// Journals a window event in ui.jsonl: {"event":"window","action":ACTION,"class":...,...}.
void JournalWindow(const Window& window, const std::string& action,
                   const nlohmann::ordered_json& details = nlohmann::ordered_json::object());
// Whether a window's events are journalled: top-level windows and dialogs, not their controls.
bool IsJournalled(const Window& window);

// Waits for the user on the calling thread when its queue is empty: describes the window the user
// acts on and carries out the next action (which posts input or changes controls). Ends the
// program when nobody can answer or no window is there to act on.
void WaitForUser();

// Destroys every window of the calling thread and empties its queue and focus (tests).
void ResetThreadWindows();

}  // namespace w95
