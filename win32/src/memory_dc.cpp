// Memory device contexts and BitBlt: a memory context holds one bitmap at a time (a 1 x 1 stock
// bitmap when it is new); BitBlt copies pixels between memory contexts and the paint contexts of
// windows, clipped to both.
#include "device_context.h"
#include "gdi_objects.h"

#include <algorithm>
#include <mutex>

namespace w95 {

namespace {

HBITMAP StockBitmap() {
    static HBITMAP handle = [] {
        auto bitmap = std::make_shared<Bitmap>(PixelSurface(1, 1, 0));
        bitmap->stock = true;
        return static_cast<HBITMAP>(AddHandle(bitmap));
    }();
    return handle;
}

struct BlitArea {
    int dest_x, dest_y, src_x, src_y, width, height;
};

// Cuts the area to the source's and the destination's bounds, moving both origins together.
bool Clip(BlitArea& area, int src_width, int src_height, int dest_width, int dest_height) {
    auto cut = [](int& dest, int& src, int& extent, int src_limit, int dest_limit) {
        int shift = std::max({0, -dest, -src});
        dest += shift;
        src += shift;
        extent -= shift;
        extent = std::min({extent, src_limit - src, dest_limit - dest});
    };
    cut(area.dest_x, area.src_x, area.width, src_width, dest_width);
    cut(area.dest_y, area.src_y, area.height, src_height, dest_height);
    return area.width > 0 && area.height > 0;
}

void Copy(const PixelSurface& source, PixelSurface& dest, BlitArea area) {
    if (!Clip(area, source.width, source.height, dest.width, dest.height))
        return;
    for (int row = 0; row < area.height; ++row) {
        for (int column = 0; column < area.width; ++column)
            dest.At(area.dest_x + column, area.dest_y + row) =
                source.At(area.src_x + column, area.src_y + row);
    }
}

std::shared_ptr<Bitmap> SelectedBitmap(const MemoryDeviceContext& dc) {
    return LookupHandleAs<Bitmap>(dc.bitmap);
}

}  // namespace

}  // namespace w95

extern "C" HDC WINAPI CreateCompatibleDC(HDC hdc) {
    // NULL stands for the screen; anything else must be a live device context.
    if (hdc && !w95::LookupHandleAs<w95::DeviceContext>(hdc) &&
        !w95::LookupHandleAs<w95::MemoryDeviceContext>(hdc))
        return w95::Fail(ERROR_INVALID_HANDLE, HDC{nullptr});
    auto dc = std::make_shared<w95::MemoryDeviceContext>();
    dc->bitmap = w95::StockBitmap();
    return static_cast<HDC>(w95::AddHandle(dc));
}

extern "C" BOOL WINAPI DeleteDC(HDC hdc) {
    auto dc = w95::LookupHandleAs<w95::MemoryDeviceContext>(hdc);
    if (!dc)
        return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
    // The bitmap it held is free again (deleting a context does not delete its bitmap).
    if (auto bitmap = w95::SelectedBitmap(*dc); bitmap && bitmap->selected_into == hdc)
        bitmap->selected_into = nullptr;
    return w95::CloseKernelHandle(hdc) ? TRUE : FALSE;
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    auto dc = w95::LookupHandleAs<w95::MemoryDeviceContext>(hdc);
    auto bitmap = w95::LookupHandleAs<w95::Bitmap>(h);
    if (!dc || !bitmap)
        return w95::Fail(ERROR_INVALID_HANDLE, HGDIOBJ{nullptr});
    // A bitmap can be in one memory context at a time.
    if (!bitmap->stock && bitmap->selected_into && bitmap->selected_into != hdc)
        return w95::Fail(ERROR_INVALID_PARAMETER, HGDIOBJ{nullptr});
    HGDIOBJ previous = dc->bitmap;
    if (auto old = w95::SelectedBitmap(*dc); old && !old->stock)
        old->selected_into = nullptr;
    if (!bitmap->stock)
        bitmap->selected_into = hdc;
    dc->bitmap = static_cast<HBITMAP>(h);
    return previous;
}

extern "C" BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1,
                              DWORD rop) {
    if (rop != SRCCOPY)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto source_dc = w95::LookupHandleAs<w95::MemoryDeviceContext>(hdcSrc);
    auto source = source_dc ? w95::SelectedBitmap(*source_dc) : nullptr;
    if (!source)
        return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
    w95::BlitArea area{x, y, x1, y1, cx, cy};
    if (auto dest_dc = w95::LookupHandleAs<w95::MemoryDeviceContext>(hdc)) {
        auto dest = w95::SelectedBitmap(*dest_dc);
        if (!dest)
            return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
        w95::PixelSurface copy = source->surface;  // source and destination may be one bitmap
        w95::Copy(copy, dest->surface, area);
        return TRUE;
    }
    auto paint_dc = w95::LookupHandleAs<w95::DeviceContext>(hdc);
    if (!paint_dc)
        return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
    const w95::PixelSurface& pixels = source->surface;
    if (!w95::DrawOnWindow(paint_dc->window(),
                           [&](w95::PixelSurface& surface) { w95::Copy(pixels, surface, area); }))
        return w95::Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    return TRUE;
}
