// Window classes: RegisterClassA and the predefined control and dialog classes.
#include "window.h"

#include "handles.h"

#include <strings.h>

#include <mutex>
#include <vector>

namespace w95 {

namespace {

struct ClassTable {
    std::mutex mutex;
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM next_atom = 0xC000;  // registered classes take atoms from the string-atom range
};

ClassTable& Classes() {
    static ClassTable* table = new ClassTable;
    return *table;
}

std::shared_ptr<WindowClass> FindLocked(ClassTable& table, const std::string& name) {
    for (const auto& entry : table.classes) {
        if (strcasecmp(entry->name.c_str(), name.c_str()) == 0)
            return entry;
    }
    return nullptr;
}

void AddSystemClass(ClassTable& table, const char* name, WNDPROC proc, HBRUSH background) {
    auto entry = std::make_shared<WindowClass>();
    entry->name = name;
    entry->atom = table.next_atom++;
    entry->proc = proc;
    entry->background = background;
    entry->system = true;
    table.classes.push_back(entry);
}

}  // namespace

void RegisterSystemClasses() {
    auto& table = Classes();
    std::lock_guard lock(table.mutex);
    if (FindLocked(table, "BUTTON"))
        return;
    auto face = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1));
    auto window = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1));
    AddSystemClass(table, "BUTTON", ButtonProc, nullptr);
    AddSystemClass(table, "STATIC", StaticProc, nullptr);
    AddSystemClass(table, "EDIT", EditProc, window);
    AddSystemClass(table, "COMBOBOX", ComboBoxProc, nullptr);
    AddSystemClass(table, kDialogClass, DialogProc, face);
}

std::shared_ptr<WindowClass> FindWindowClass(const std::string& name) {
    RegisterSystemClasses();
    auto& table = Classes();
    std::lock_guard lock(table.mutex);
    return FindLocked(table, name);
}

}  // namespace w95

using w95::Fail;

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass || !lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc)
        return Fail(ERROR_INVALID_PARAMETER, ATOM{0});
    if (IS_INTRESOURCE(lpWndClass->lpszClassName) || !*lpWndClass->lpszClassName)
        return Fail(ERROR_INVALID_PARAMETER, ATOM{0});
    w95::RegisterSystemClasses();
    auto& table = w95::Classes();
    std::lock_guard lock(table.mutex);
    if (w95::FindLocked(table, lpWndClass->lpszClassName))
        return Fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});
    auto entry = std::make_shared<w95::WindowClass>();
    entry->name = lpWndClass->lpszClassName;
    entry->atom = table.next_atom++;
    entry->style = lpWndClass->style;
    entry->proc = lpWndClass->lpfnWndProc;
    entry->instance = lpWndClass->hInstance;
    entry->icon = lpWndClass->hIcon;
    entry->cursor = lpWndClass->hCursor;
    entry->background = lpWndClass->hbrBackground;
    table.classes.push_back(entry);
    return entry->atom;
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    if (!lpClassName || IS_INTRESOURCE(lpClassName))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto& table = w95::Classes();
    std::lock_guard lock(table.mutex);
    for (auto it = table.classes.begin(); it != table.classes.end(); ++it) {
        if (strcasecmp((*it)->name.c_str(), lpClassName) == 0 && !(*it)->system) {
            table.classes.erase(it);
            return TRUE;
        }
    }
    return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
}
