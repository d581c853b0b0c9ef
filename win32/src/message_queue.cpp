// The per-thread message queue: posted messages, the quit flag, generated WM_PAINT, and the
// user, who is asked for input whenever a thread waits on an empty queue.
#include "window.h"

#include "handles.h"
#include "journal.h"

#include <map>

namespace w95 {

namespace {

struct MessageQueue {
    std::mutex mutex;
    std::deque<MSG> posted;
    bool quit = false;
    int quit_code = 0;
};

struct QueueTable {
    std::mutex mutex;
    std::map<std::thread::id, std::shared_ptr<MessageQueue>> queues;
};

QueueTable& Queues() {
    static QueueTable* table = new QueueTable;
    return *table;
}

std::shared_ptr<MessageQueue> QueueOf(std::thread::id thread) {
    auto& table = Queues();
    std::lock_guard lock(table.mutex);
    auto& queue = table.queues[thread];
    if (!queue)
        queue = std::make_shared<MessageQueue>();
    return queue;
}

DWORD MessageTime() {
    return static_cast<DWORD>(MachineMillis());
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = MessageTime();
    return msg;
}

bool Matches(const MSG& msg, HWND hwnd, UINT min, UINT max) {
    if (hwnd && msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd))
        return false;
    if (min == 0 && max == 0)
        return true;
    return msg.message >= min && msg.message <= max;
}

// The next message for the calling thread without waiting: posted messages first, then the quit
// message, then WM_PAINT for a window that needs painting.
bool NextMessage(MSG* out, HWND hwnd, UINT min, UINT max, bool remove) {
    auto queue = QueueOf(std::this_thread::get_id());
    {
        std::lock_guard lock(queue->mutex);
        for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
            if (Matches(*it, hwnd, min, max)) {
                *out = *it;
                if (remove)
                    queue->posted.erase(it);
                return true;
            }
        }
        if (queue->quit) {
            *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue->quit_code), 0);
            if (remove)
                queue->quit = false;
            return true;
        }
    }
    if ((min == 0 && max == 0) || (WM_PAINT >= min && WM_PAINT <= max)) {
        for (const auto& window : ThreadWindows()) {
            if (window->needs_paint && !window->destroying && IsVisibleOnScreen(*window) &&
                (!hwnd || window->handle == hwnd || IsChild(hwnd, window->handle))) {
                // WM_PAINT stays until the window is validated, as on Windows.
                *out = MakeMessage(window->handle, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    return false;
}

}  // namespace

void Post(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(hwnd, message, wparam, lparam);
}

}  // namespace w95

using w95::Fail;

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::thread::id thread = std::this_thread::get_id();
    if (hWnd) {
        auto window = w95::WindowOrFail(hWnd);
        if (!window)
            return FALSE;
        thread = window->thread;
    }
    auto queue = w95::QueueOf(thread);
    std::lock_guard lock(queue->mutex);
    queue->posted.push_back(w95::MakeMessage(hWnd, Msg, wParam, lParam));
    return TRUE;
}

extern "C" void WINAPI PostQuitMessage(int nExitCode) {
    auto queue = w95::QueueOf(std::this_thread::get_id());
    std::lock_guard lock(queue->mutex);
    queue->quit = true;
    queue->quit_code = nExitCode;
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg) {
    if (!lpMsg)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return w95::NextMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                            (wRemoveMsg & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg)
        return Fail(ERROR_INVALID_PARAMETER, -1);
    if (hWnd && !w95::WindowOrFail(hWnd))
        return -1;
    while (!w95::NextMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
        w95::WaitForUser();
    return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN)
        return FALSE;
    char character = 0;
    switch (lpMsg->wParam) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_SPACE:
            character = static_cast<char>(lpMsg->wParam);
            break;
        default:
            if ((lpMsg->wParam >= '0' && lpMsg->wParam <= '9') ||
                (lpMsg->wParam >= 'A' && lpMsg->wParam <= 'Z'))
                character = static_cast<char>(lpMsg->wParam);
            break;
    }
    if (!character)
        return FALSE;
    // The character comes next, before any later input, as the keyboard driver would give it.
    auto queue = w95::QueueOf(std::this_thread::get_id());
    std::lock_guard lock(queue->mutex);
    queue->posted.push_front(
        w95::MakeMessage(lpMsg->hwnd, WM_CHAR, static_cast<WPARAM>(character), lpMsg->lParam));
    return TRUE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg || !lpMsg->hwnd)
        return 0;
    return w95::Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
