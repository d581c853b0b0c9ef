// Cursors: LoadCursorA gives the system's cursors; SetCursor changes the process's cursor and
// journals it, so that a wait cursor shown during a long operation can be seen in ui.jsonl.
#include "icons.h"

#include "journal.h"

#include <mutex>

namespace w95 {

namespace {

struct CursorState {
    std::mutex mutex;
    bool initialised = false;
    HCURSOR current = nullptr;
};

CursorState& State() {
    static CursorState* state = new CursorState;
    return *state;
}

}  // namespace

}  // namespace w95

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    if (!lpCursorName)
        return w95::Fail(ERROR_INVALID_PARAMETER, HCURSOR{nullptr});
    if (!hInstance && IS_INTRESOURCE(lpCursorName)) {
        HCURSOR cursor =
            w95::SystemCursor(static_cast<WORD>(reinterpret_cast<uintptr_t>(lpCursorName)));
        if (cursor)
            return cursor;
    }
    // The programs carry no cursor resources.
    return w95::Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HCURSOR{nullptr});
}

extern "C" HCURSOR WINAPI GetCursor(void) {
    auto& state = w95::State();
    std::lock_guard lock(state.mutex);
    if (!state.initialised) {
        state.current = w95::SystemCursor(32512);
        state.initialised = true;
    }
    return state.current;
}

extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    std::string name = "none";
    if (hCursor) {
        auto object = w95::LookupHandleAs<w95::IconObject>(hCursor);
        if (!object)
            return w95::Fail(ERROR_INVALID_CURSOR_HANDLE, HCURSOR{nullptr});
        name = object->name();
    }
    HCURSOR previous = GetCursor();
    {
        auto& state = w95::State();
        std::lock_guard lock(state.mutex);
        state.current = hCursor;
    }
    w95::JournalEvent("ui", {{"event", "cursor"}, {"cursor", name}});
    return previous;
}
