// Windows: the window table, creation and destruction, showing, text, geometry, sent messages and
// the default window procedure.
#include "window.h"

#include "handles.h"
#include "journal.h"
#include "slot_table.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace w95 {

namespace {

constexpr DWORD kErrorCannotFindWindowClass = 1407;
constexpr DWORD kErrorChildWithoutParent = 1406;
constexpr DWORD kErrorInvalidIndex = 1413;

// A window handle is ((generation << 15) | slot) << 1 | 1: odd, so it never equals a kernel
// handle (multiples of four), and never 0.
constexpr uint32_t kSlotBits = 15;
constexpr uint32_t kMaxSlots = 1u << kSlotBits;
constexpr uint32_t kMaxGeneration = 0x7FFF;

using WindowSlots = SlotTable<Window>;

struct WindowTable {
    std::mutex mutex;
    WindowSlots slots{kMaxSlots, kMaxGeneration};
    int default_placements = 0;  // windows placed by CW_USEDEFAULT, for the cascade
    uint64_t serial = 0;         // creation order
};

WindowTable& Table() {
    static WindowTable* table = new WindowTable;  // never destroyed: threads may outlive exit
    return *table;
}

HWND Encode(WindowSlots::Ref ref) {
    return reinterpret_cast<HWND>(
        static_cast<uintptr_t>((((ref.generation << kSlotBits) | ref.slot) << 1) | 1));
}

std::optional<WindowSlots::Ref> Decode(HWND hwnd) {
    auto value = reinterpret_cast<uintptr_t>(hwnd);
    if ((value & 1) == 0 || value > 0xFFFFFFFFu)
        return std::nullopt;
    value >>= 1;
    return WindowSlots::Ref{static_cast<uint32_t>(value & (kMaxSlots - 1)),
                            static_cast<uint32_t>(value >> kSlotBits)};
}

HWND AddWindow(const std::shared_ptr<Window>& window) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto ref = table.slots.Add(window);
    if (!ref)
        return nullptr;
    window->serial = ++table.serial;
    window->handle = Encode(*ref);
    return window->handle;
}

void RemoveWindow(HWND hwnd) {
    auto ref = Decode(hwnd);
    if (!ref)
        return;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    table.slots.Remove(*ref);
}

// Where CW_USEDEFAULT puts a new top-level window: a cascade from the screen's corner.
int NextDefaultPlacement() {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    return 26 * (table.default_placements++ % 8);
}

std::string ClassNameArgument(LPCSTR name) {
    if (!name)
        return "";
    if (IS_INTRESOURCE(name)) {
        // An atom: find the class that has it.
        return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    }
    return name;
}

// The screen position of a window's client area origin.
POINT ClientOrigin(const Window& window);

POINT WindowOrigin(const Window& window) {
    if (!window.parent)
        return {window.rect.left, window.rect.top};
    auto parent = FindWindowObject(window.parent);
    POINT origin = parent ? ClientOrigin(*parent) : POINT{0, 0};
    return {origin.x + window.rect.left, origin.y + window.rect.top};
}

POINT ClientOrigin(const Window& window) {
    POINT origin = WindowOrigin(window);
    RECT insets = NonClientInsets(window.style, window.ex_style, window.menu != nullptr);
    return {origin.x + insets.left, origin.y + insets.top};
}

void DestroyTree(const std::shared_ptr<Window>& window);

}  // namespace

std::shared_ptr<Window> FindWindowObject(HWND hwnd) {
    auto ref = Decode(hwnd);
    if (!ref)
        return nullptr;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    return table.slots.Find(*ref);
}

std::shared_ptr<Window> WindowOrFail(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

std::vector<std::shared_ptr<Window>> ThreadWindows() {
    std::vector<std::shared_ptr<Window>> windows;
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto self = std::this_thread::get_id();
    table.slots.ForEach([&](const std::shared_ptr<Window>& window) {
        if (window->thread == self)
            windows.push_back(window);
    });
    std::sort(windows.begin(), windows.end(),
              [](const auto& a, const auto& b) { return a->serial < b->serial; });
    return windows;
}

bool IsTopLevel(const Window& window) {
    return window.parent == nullptr;
}

bool IsDialogWindow(const Window& window) {
    return window.window_class && window.window_class->name == kDialogClass;
}

bool IsVisibleOnScreen(const Window& window) {
    if (!(window.style & WS_VISIBLE))
        return false;
    if (!window.parent)
        return true;
    auto parent = FindWindowObject(window.parent);
    return parent && IsVisibleOnScreen(*parent);
}

HWND TopLevelOf(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    while (window && window->parent) {
        auto parent = FindWindowObject(window->parent);
        if (!parent)
            break;
        window = parent;
    }
    return window ? window->handle : nullptr;
}

HWND DialogControlOf(HWND dialog, HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    while (window && window->parent && window->parent != dialog)
        window = FindWindowObject(window->parent);
    if (!window || window->parent != dialog)
        return nullptr;
    return window->handle;
}

bool IsJournalled(const Window& window) {
    return IsTopLevel(window) || IsDialogWindow(window);
}

void JournalWindow(const Window& window, const std::string& action,
                   const nlohmann::ordered_json& details) {
    nlohmann::ordered_json event = {{"event", "window"},
                                    {"action", action},
                                    {"class", window.window_class->name},
                                    {"title", window.text},
                                    {"hwnd", reinterpret_cast<uintptr_t>(window.handle)}};
    event.update(details);
    JournalEvent("ui", event);
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = WindowOrFail(hwnd);
    if (!window || !window->proc)
        return 0;
    WNDPROC proc = window->proc;
    return proc(hwnd, message, wparam, lparam);
}

void NotifyParent(const Window& control, WORD code) {
    if (!control.parent)
        return;
    Send(control.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
         reinterpret_cast<LPARAM>(control.handle));
}

LRESULT CopyWindowText(const std::string& text, WPARAM buffer_size, LPARAM buffer) {
    char* out = reinterpret_cast<char*>(buffer);
    if (!out || buffer_size == 0)
        return 0;
    size_t count = std::min<size_t>(text.size(), buffer_size - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return static_cast<LRESULT>(count);
}

RECT NonClientInsets(DWORD style, DWORD ex_style, bool has_menu) {
    // Windows 95 metrics: sizing frame 4, dialog frame 3, border 1, caption 19 (18 and its
    // line), tool-window caption 15, menu bar 19, client edge 2.
    int frame = 0;
    if (style & WS_THICKFRAME)
        frame = 4;
    else if ((style & WS_DLGFRAME) || (ex_style & WS_EX_DLGMODALFRAME))
        frame = 3;
    else if (style & WS_BORDER)
        frame = 1;
    RECT insets{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION)
        insets.top += (ex_style & WS_EX_TOOLWINDOW) ? 15 : 19;
    if (has_menu)
        insets.top += 19;
    if (ex_style & WS_EX_CLIENTEDGE) {
        insets.left += 2;
        insets.top += 2;
        insets.right += 2;
        insets.bottom += 2;
    }
    return insets;
}

namespace {

void DestroyTree(const std::shared_ptr<Window>& window) {
    HWND hwnd = window->handle;
    if (window->destroying)
        return;
    window->destroying = true;
    auto& ui = ThisThreadUi();
    bool was_active = ui.active == hwnd;

    // Owned windows go first, as Windows destroys them with their owner.
    for (const auto& other : ThreadWindows()) {
        if (other->owner == hwnd && !other->destroying)
            DestroyTree(other);
    }
    if (IsJournalled(*window))
        JournalWindow(*window, "destroyed");
    window->style &= ~WS_VISIBLE;
    Send(hwnd, WM_DESTROY);
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        if (auto object = FindWindowObject(child))
            DestroyTree(object);
    }
    Send(hwnd, WM_NCDESTROY);

    if (ui.focus && (ui.focus == hwnd || !FindWindowObject(ui.focus)))
        ui.focus = nullptr;
    if (window->parent) {
        if (auto parent = FindWindowObject(window->parent)) {
            auto& list = parent->children;
            list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
        }
    }
    RemoveWindow(hwnd);
    if (was_active || ui.active == hwnd) {
        ui.active = nullptr;
        HWND next = window->owner;
        auto owner = FindWindowObject(next);
        if (!owner || !IsVisibleOnScreen(*owner))
            next = UserWindow();
        if (next)
            ActivateWindow(next);
    }
}

}  // namespace

HWND UserWindow() {
    auto& ui = ThisThreadUi();
    auto active = FindWindowObject(ui.active);
    if (active && IsVisibleOnScreen(*active) && !active->destroying)
        return ui.active;
    HWND chosen = nullptr;
    for (const auto& window : ThreadWindows()) {
        if (IsTopLevel(*window) && IsVisibleOnScreen(*window) && !window->destroying &&
            !(window->style & WS_DISABLED)) {
            chosen = window->handle;
        }
    }
    return chosen;
}

void ResetThreadWindows() {
    for (const auto& window : ThreadWindows()) {
        if (IsTopLevel(*window) && FindWindowObject(window->handle))
            DestroyTree(window);
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    auto& ui = ThisThreadUi();
    ui.focus = nullptr;
    ui.active = nullptr;
}

}  // namespace w95

using w95::Fail;
using w95::FindWindowObject;
using w95::Window;
using w95::WindowOrFail;

extern "C" HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                       DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                       HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                       LPVOID lpParam) {
    auto window_class = w95::FindWindowClass(w95::ClassNameArgument(lpClassName));
    if (!window_class)
        return Fail(w95::kErrorCannotFindWindowClass, HWND{nullptr});
    std::shared_ptr<Window> parent;
    if (hWndParent) {
        parent = WindowOrFail(hWndParent);
        if (!parent)
            return nullptr;
    }
    bool child = (dwStyle & WS_CHILD) != 0;
    if (child && !parent)
        return Fail(w95::kErrorChildWithoutParent, HWND{nullptr});

    auto window = std::make_shared<Window>();
    window->window_class = window_class;
    window->proc = window_class->proc;
    window->style = dwStyle & ~WS_VISIBLE;
    window->ex_style = dwExStyle;
    window->text = lpWindowName ? lpWindowName : "";
    window->instance = hInstance;
    window->thread = std::this_thread::get_id();
    if (child) {
        window->parent = hWndParent;
        window->id = static_cast<int>(reinterpret_cast<intptr_t>(hMenu));
    } else {
        window->owner = parent ? w95::TopLevelOf(hWndParent) : nullptr;
        window->menu = hMenu;
    }
    if (window_class->name == w95::kDialogClass)
        window->extension = w95::TakeDialogExtension();

    int x = X, y = Y, width = nWidth, height = nHeight;
    if (!child && !(dwStyle & WS_POPUP)) {
        if (x == CW_USEDEFAULT) {
            x = y = w95::NextDefaultPlacement();
        }
        if (width == CW_USEDEFAULT) {
            width = GetSystemMetrics(SM_CXSCREEN) * 3 / 4;
            height = GetSystemMetrics(SM_CYSCREEN) * 3 / 4;
        }
    } else {
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
    }
    window->rect = {x, y, x + width, y + height};

    HWND hwnd = w95::AddWindow(window);
    if (!hwnd)
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HWND{nullptr});
    if (parent)
        parent->children.push_back(hwnd);

    CREATESTRUCTA create{};
    create.lpCreateParams = lpParam;
    create.hInstance = hInstance;
    create.hMenu = hMenu;
    create.hwndParent = hWndParent;
    create.cy = height;
    create.cx = width;
    create.y = y;
    create.x = x;
    create.style = static_cast<LONG>(dwStyle);
    create.lpszName = lpWindowName;
    create.lpszClass = lpClassName;
    create.dwExStyle = dwExStyle;
    if (!w95::Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        if (FindWindowObject(hwnd))
            DestroyWindow(hwnd);
        return Fail(ERROR_INVALID_PARAMETER, HWND{nullptr});
    }
    if (w95::IsJournalled(*window)) {
        w95::JournalWindow(*window, "created",
                           {{"style", dwStyle},
                            {"ex_style", dwExStyle},
                            {"x", window->rect.left},
                            {"y", window->rect.top},
                            {"width", window->rect.right - window->rect.left},
                            {"height", window->rect.bottom - window->rect.top}});
    }
    if (w95::Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        if (FindWindowObject(hwnd))
            DestroyWindow(hwnd);
        return Fail(ERROR_INVALID_PARAMETER, HWND{nullptr});
    }
    if (!FindWindowObject(hwnd))
        return nullptr;  // destroyed while it was being created
    if (dwStyle & WS_VISIBLE) {
        ShowWindow(hwnd, (dwStyle & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW);
    }
    return hwnd;
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    if (window->thread != std::this_thread::get_id())
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    w95::DestroyTree(window);
    return TRUE;
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    bool was_visible = (window->style & WS_VISIBLE) != 0;
    bool was_minimized = window->minimized;
    if (nCmdShow == SW_HIDE) {
        if (!was_visible)
            return FALSE;
        window->style &= ~WS_VISIBLE;
        w95::Send(hWnd, WM_SHOWWINDOW, FALSE);
        if (w95::IsJournalled(*window))
            w95::JournalWindow(*window, "hidden");
        auto& ui = w95::ThisThreadUi();
        if (ui.focus && (ui.focus == hWnd || IsChild(hWnd, ui.focus)))
            SetFocus(nullptr);
        if (ui.active == hWnd) {
            ui.active = nullptr;
            HWND next = window->owner ? window->owner : w95::UserWindow();
            if (next)
                w95::ActivateWindow(next);
        }
        return TRUE;
    }

    bool activate = w95::IsTopLevel(*window);
    switch (nCmdShow) {
        case SW_SHOWMINIMIZED:
            window->minimized = true;
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            window->minimized = true;
            activate = false;
            break;
        case SW_SHOWNA:
        case SW_SHOWNOACTIVATE:
            activate = false;
            break;
        case SW_SHOW:
            if (window->style & WS_MINIMIZE)
                window->minimized = true;
            break;
        default:  // normal, maximised, restore, default
            window->minimized = false;
            break;
    }
    if (window->minimized)
        window->style |= WS_MINIMIZE;
    else
        window->style &= ~WS_MINIMIZE;
    window->style |= WS_VISIBLE;
    if (!was_visible) {
        w95::Send(hWnd, WM_SHOWWINDOW, TRUE);
        InvalidateRect(hWnd, nullptr, TRUE);
        for (HWND child : window->children)
            InvalidateRect(child, nullptr, TRUE);
    }
    if (w95::IsJournalled(*window) && (!was_visible || was_minimized != window->minimized)) {
        const char* state = window->minimized                ? "minimized"
                            : (nCmdShow == SW_SHOWMAXIMIZED) ? "maximized"
                                                             : "normal";
        w95::JournalWindow(*window, "shown", {{"state", state}, {"command", nCmdShow}});
    }
    if (activate && !(window->style & WS_DISABLED))
        w95::ActivateWindow(hWnd);
    return was_visible ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && !window->destroying ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && w95::IsVisibleOnScreen(*window) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    BOOL was_disabled = (window->style & WS_DISABLED) ? TRUE : FALSE;
    if (bEnable)
        window->style &= ~WS_DISABLED;
    else
        window->style |= WS_DISABLED;
    if (was_disabled == (bEnable ? TRUE : FALSE)) {
        w95::Send(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE);
        HWND focus = w95::ThisThreadUi().focus;
        if (!bEnable && focus && (focus == hWnd || IsChild(hWnd, focus)))
            SetFocus(nullptr);
    }
    return was_disabled;
}

extern "C" BOOL WINAPI IsIconic(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && window->minimized ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    while (window && window->parent) {
        if (window->parent == hWndParent)
            return TRUE;
        window = FindWindowObject(window->parent);
    }
    return FALSE;
}

extern "C" HWND WINAPI GetParent(HWND hWnd) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return nullptr;
    return window->parent ? window->parent : window->owner;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd) {
    auto window = WindowOrFail(hWnd);
    return window && window->parent ? window->id : 0;
}

extern "C" LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return 0;
    switch (nIndex) {
        case GWL_STYLE:
            return static_cast<LONG>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(window->ex_style);
        case GWL_ID:
            return window->id;
        case GWL_USERDATA:
            return window->user_data;
        default:
            break;
    }
    if (LONG* field = w95::DialogLongField(*window, nIndex))
        return *field;
    return Fail(w95::kErrorInvalidIndex, LONG{0});
}

extern "C" LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    auto window = WindowOrFail(hWnd);
    if (!window)
        return 0;
    LONG previous = 0;
    switch (nIndex) {
        case GWL_STYLE:
            previous = static_cast<LONG>(window->style);
            window->style = static_cast<DWORD>(dwNewLong);
            return previous;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(window->ex_style);
            window->ex_style = static_cast<DWORD>(dwNewLong);
            return previous;
        case GWL_ID:
            previous = window->id;
            window->id = dwNewLong;
            return previous;
        case GWL_USERDATA:
            previous = window->user_data;
            window->user_data = dwNewLong;
            return previous;
        default:
            break;
    }
    if (LONG* field = w95::DialogLongField(*window, nIndex)) {
        previous = *field;
        *field = dwNewLong;
        return previous;
    }
    return Fail(w95::kErrorInvalidIndex, LONG{0});
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (!WindowOrFail(hWnd))
        return FALSE;
    return w95::Send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (lpString && nMaxCount > 0)
        lpString[0] = '\0';
    if (!WindowOrFail(hWnd) || !lpString || nMaxCount <= 0)
        return 0;
    return static_cast<int>(w95::Send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                      reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextLengthA(HWND hWnd) {
    if (!WindowOrFail(hWnd))
        return 0;
    return static_cast<int>(w95::Send(hWnd, WM_GETTEXTLENGTH));
}

extern "C" int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    auto window = WindowOrFail(hWnd);
    if (!window || !lpClassName || nMaxCount <= 0)
        return 0;
    return static_cast<int>(w95::CopyWindowText(window->window_class->name,
                                                static_cast<WPARAM>(nMaxCount),
                                                reinterpret_cast<LPARAM>(lpClassName)));
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    auto window = WindowOrFail(hWnd);
    if (!window || !lpRect)
        return FALSE;
    POINT origin = w95::WindowOrigin(*window);
    lpRect->left = origin.x;
    lpRect->top = origin.y;
    lpRect->right = origin.x + (window->rect.right - window->rect.left);
    lpRect->bottom = origin.y + (window->rect.bottom - window->rect.top);
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto window = WindowOrFail(hWnd);
    if (!window || !lpRect)
        return FALSE;
    RECT insets = w95::NonClientInsets(window->style, window->ex_style, window->menu != nullptr);
    LONG width = window->rect.right - window->rect.left - insets.left - insets.right;
    LONG height = window->rect.bottom - window->rect.top - insets.top - insets.bottom;
    *lpRect = {0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
    return TRUE;
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return w95::Send(hWnd, Msg, wParam, lParam);
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hWnd);
    if (!window)
        return 0;
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT: {
            std::string text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            bool changed = text != window->text;
            window->text = text;
            if (changed && w95::IsJournalled(*window) && !window->destroying)
                w95::JournalWindow(*window, "retitled");
            return TRUE;
        }
        case WM_GETTEXT:
            return w95::CopyWindowText(window->text, wParam, lParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    w95::Send(hWnd, WM_CLOSE);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(hWnd, SW_MINIMIZE);
                    break;
                case SC_MAXIMIZE:
                    ShowWindow(hWnd, SW_SHOWMAXIMIZED);
                    break;
                case SC_RESTORE:
                    ShowWindow(hWnd, SW_RESTORE);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4)
                w95::Send(hWnd, WM_SYSCOMMAND, SC_CLOSE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hWnd, &paint);
            EndPaint(hWnd, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return window->window_class->background ? 1 : 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !window->minimized)
                SetFocus(hWnd);
            return 0;
        case WM_NCHITTEST:
            return 1;  // the client area
        case WM_MOUSEACTIVATE:
            return 1;  // activate
        default:
            return 0;
    }
}
