// Bitmaps: LoadBitmapA decodes an RT_BITMAP resource (a packed device-independent bitmap) into
// pixels; DeleteObject frees a bitmap that no memory context holds.
#include "gdi_objects.h"

#include "resources.h"

namespace w95 {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kUncompressed = 0;  // BI_RGB
// Larger bitmaps are taken for a malformed resource.
constexpr int32_t kMaxSide = 8192;

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

std::optional<PixelSurface> DecodePackedDib(const uint8_t* data, size_t size) {
    if (!data || size < kInfoHeaderSize)
        return std::nullopt;
    uint32_t header_size = Read32(data);
    int32_t width = static_cast<int32_t>(Read32(data + 4));
    int32_t height = static_cast<int32_t>(Read32(data + 8));
    uint16_t planes = Read16(data + 12);
    uint16_t bits = Read16(data + 14);
    uint32_t compression = Read32(data + 16);
    uint32_t colors_used = Read32(data + 32);
    bool top_down = height < 0;
    if (top_down)
        height = -height;
    if (header_size < kInfoHeaderSize || header_size > size || planes != 1 ||
        compression != kUncompressed || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
        return std::nullopt;

    size_t palette_count = bits == 24 ? 0 : (colors_used ? colors_used : (1u << bits));
    if (palette_count > 256)
        return std::nullopt;
    size_t palette_offset = header_size;
    size_t bits_offset = palette_offset + palette_count * 4;
    size_t row_bytes = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (bits_offset > size || (size - bits_offset) / row_bytes < static_cast<size_t>(height))
        return std::nullopt;

    std::vector<uint32_t> palette(palette_count);
    for (size_t i = 0; i < palette_count; ++i) {
        const uint8_t* quad = data + palette_offset + i * 4;  // blue, green, red, reserved
        palette[i] = (static_cast<uint32_t>(quad[2]) << 16) | (quad[1] << 8) | quad[0];
    }

    PixelSurface surface(width, height, 0);
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* line = data + bits_offset + static_cast<size_t>(row) * row_bytes;
        int32_t y = top_down ? row : height - 1 - row;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t pixel;
            if (bits == 24) {
                const uint8_t* p = line + static_cast<size_t>(x) * 3;
                pixel = (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            } else {
                size_t bit = static_cast<size_t>(x) * bits;
                unsigned index = (line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                // An index past a short colour table reads as black.
                pixel = index < palette.size() ? palette[index] : 0;
            }
            surface.At(x, y) = pixel;
        }
    }
    return surface;
}

}  // namespace w95

extern "C" HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    if (!hInstance)  // the system's own bitmaps are not part of the machine
        return w95::Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HBITMAP{nullptr});
    const w95::Resource* resource = w95::FindProgramResource(RT_BITMAP, lpBitmapName);
    if (!resource)
        return nullptr;
    auto surface = w95::DecodePackedDib(resource->data, resource->size);
    if (!surface)
        return w95::Fail(ERROR_RESOURCE_DATA_NOT_FOUND, HBITMAP{nullptr});
    return static_cast<HBITMAP>(w95::AddHandle(std::make_shared<w95::Bitmap>(std::move(*surface))));
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ hObject) {
    auto bitmap = w95::LookupHandleAs<w95::Bitmap>(hObject);
    if (!bitmap)
        return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
    // A bitmap still selected into a memory context, or a stock one, stays.
    if (bitmap->stock || bitmap->selected_into)
        return FALSE;
    return w95::CloseKernelHandle(hObject) ? TRUE : FALSE;
}
