// The pixel surfaces of windows: one per window, made on its first drawing at the size of its
// client area, kept with the window's creation serial so that a handle slot reused by a later
// window never shows the pixels of an earlier one.
#include "gdi_objects.h"
#include "window.h"

#include <map>
#include <mutex>

namespace w95 {

namespace {

constexpr uint32_t kWindowBackground = 0xFFFFFF;  // COLOR_WINDOW of the standard scheme

struct SurfaceEntry {
    uint64_t serial = 0;
    PixelSurface surface;
};

struct SurfaceTable {
    std::mutex mutex;
    std::map<HWND, SurfaceEntry> entries;
};

SurfaceTable& Surfaces() {
    static SurfaceTable* table = new SurfaceTable;  // never destroyed: threads may outlive exit
    return *table;
}

// The window's surface at its present client size; the caller holds the table's lock.
PixelSurface& SurfaceOf(SurfaceTable& table, const Window& window) {
    RECT client{};
    GetClientRect(window.handle, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    SurfaceEntry& entry = table.entries[window.handle];
    if (entry.serial != window.serial || entry.surface.width != width ||
        entry.surface.height != height) {
        entry.serial = window.serial;
        entry.surface = PixelSurface(width, height, kWindowBackground);
    }
    return entry.surface;
}

}  // namespace

std::optional<PixelSurface> WindowPixels(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        return std::nullopt;
    auto& table = Surfaces();
    std::lock_guard lock(table.mutex);
    return SurfaceOf(table, *window);
}

bool DrawOnWindow(HWND hwnd, const std::function<void(PixelSurface&)>& draw) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        return false;
    auto& table = Surfaces();
    std::lock_guard lock(table.mutex);
    draw(SurfaceOf(table, *window));
    return true;
}

}  // namespace w95
