// GDI objects of the emulation: bitmaps with their pixels, memory device contexts that hold a
// selected bitmap, and the pixel surface of each window that painting draws into. Pixels are
// 0x00RRGGBB, rows top-down.
#pragma once

#include "handles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace w95 {

struct PixelSurface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height

    PixelSurface() = default;
    PixelSurface(int w, int h, uint32_t fill)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

class Bitmap : public KernelObject {
  public:
    explicit Bitmap(PixelSurface surface) : surface(std::move(surface)) {}
    PixelSurface surface;
    HDC selected_into = nullptr;  // the memory context that holds it, if any
    bool stock = false;           // the default bitmap of new memory contexts: never deleted
};

class MemoryDeviceContext : public KernelObject {
  public:
    HBITMAP bitmap = nullptr;  // always a live Bitmap: the stock one until another is selected
};

// Decodes a packed device-independent bitmap (BITMAPINFOHEADER, colour table, bits) of 1, 4, 8
// or 24 bits per pixel, uncompressed, bottom-up or top-down; nullopt when it is none of these or
// is cut short.
std::optional<PixelSurface> DecodePackedDib(const uint8_t* data, size_t size);

// The pixels of a window's client area: what has been drawn into it so far, on the window
// background's white where nothing has. nullopt for a window that does not exist.
std::optional<PixelSurface> WindowPixels(HWND hwnd);

// Runs DRAW on the window's surface, sized to its client area, under the surface table's lock.
// False when the window does not exist.
bool DrawOnWindow(HWND hwnd, const std::function<void(PixelSurface&)>& draw);

}  // namespace w95
