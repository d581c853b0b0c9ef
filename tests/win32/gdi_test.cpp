// Bitmaps and block transfers: decoding packed DIBs of each depth and orientation, refusing
// malformed ones, copying into a window's surface with clipping, and the rules of selecting and
// deleting bitmaps.
#include "gdi_objects.h"
#include "temp_machine.h"
#include "window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A packed DIB: header, colour table (0x00RRGGBB entries), then ROWS as given, each row's bytes
// padded to 4. HEIGHT negative for top-down.
std::vector<uint8_t> Dib(int width, int height, int bits, const std::vector<uint32_t>& palette,
                         const std::vector<std::vector<uint8_t>>& rows, uint32_t compression = 0) {
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);
    put16(static_cast<uint16_t>(bits));
    put32(compression);
    for (int i = 0; i < 3; ++i)
        put32(0);
    put32(static_cast<uint32_t>(palette.size()));
    put32(0);
    for (uint32_t colour : palette)
        put32(colour);  // blue, green, red, 0 in memory order
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize(out.size() + (4 - row.size() % 4) % 4, 0);
    }
    return out;
}

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

TEST(PackedDibTest, DecodesEachDepthAndOrientation) {
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
        std::vector<uint32_t> pixels;  // 3 x 2, top row first
    };
    const Case cases[] = {
        {"4 bits bottom-up",
         Dib(3, 2, 4, {kRed, kGreen, kBlue}, {{0x21, 0x00}, {0x01, 0x20}}),
         {kRed, kGreen, kBlue, kBlue, kGreen, kRed}},
        {"4 bits top-down",
         Dib(3, -2, 4, {kRed, kGreen, kBlue}, {{0x01, 0x20}, {0x21, 0x00}}),
         {kRed, kGreen, kBlue, kBlue, kGreen, kRed}},
        {"1 bit",
         Dib(3, 2, 1, {kRed, kWhite}, {{0x40}, {0xA0}}),
         {kWhite, kRed, kWhite, kRed, kWhite, kRed}},
        {"8 bits",
         Dib(3, 2, 8, {kRed, kGreen, kBlue}, {{2, 2, 2}, {0, 1, 2}}),
         {kRed, kGreen, kBlue, kBlue, kBlue, kBlue}},
        {"24 bits",
         Dib(3, 2, 24, {},
             {{0x03, 0x02, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF}, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF}}),
         {kBlue, kGreen, kRed, 0x010203, 0, kWhite}},
        {"index past the colour table is black",
         Dib(3, 2, 4, {kRed}, {{0x00, 0x00}, {0x0F, 0x00}}),
         {kRed, 0, kRed, kRed, kRed, kRed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto surface = w95::DecodePackedDib(c.dib.data(), c.dib.size());
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->width, 3);
        EXPECT_EQ(surface->height, 2);
        EXPECT_EQ(surface->pixels, c.pixels);
    }
}

TEST(PackedDibTest, RefusesWhatItCannotReadWhole) {
    auto good = Dib(3, 2, 4, {kRed}, {{0, 0}, {0, 0}});
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
    };
    const Case cases[] = {
        {"bits cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
        {"compressed", Dib(3, 2, 4, {kRed}, {{0, 0}, {0, 0}}, 2)},
        {"16 bits", Dib(1, 1, 16, {}, {{0, 0}})},
        {"zero width", Dib(0, 1, 4, {kRed}, {{0}})},
        {"colour table beyond the data", Dib(1, 1, 8, std::vector<uint32_t>(256, 0), {})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(w95::DecodePackedDib(c.dib.data(), c.dib.size()));
    }
}

class BlitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A frameless pop-up: its client area is its whole 6 x 4 rectangle.
        window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 6, 4, nullptr, nullptr, nullptr,
                                  nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { w95::ResetThreadWindows(); }

    // A 3 x 3 bitmap of distinct pixels 1 .. 9, row by row.
    HBITMAP MakeBitmap() {
        w95::PixelSurface surface(3, 3, 0);
        for (int i = 0; i < 9; ++i)
            surface.pixels[static_cast<size_t>(i)] = static_cast<uint32_t>(i + 1);
        return static_cast<HBITMAP>(w95::AddHandle(std::make_shared<w95::Bitmap>(surface)));
    }

    w95test::TempMachine machine_;
    HWND window_ = nullptr;
};

TEST_F(BlitTest, CopiesIntoTheWindowClippedToBothSides) {
    struct Case {
        const char* name;
        int x, y, cx, cy, src_x, src_y;
        std::vector<uint32_t> expected;  // 6 x 4, W for the untouched background
    };
    constexpr uint32_t W = kWhite;
    const Case cases[] = {
        {"whole bitmap at the corner", 0, 0, 3, 3, 0, 0, {1, 2, 3, W, W, W, 4, 5, 6, W, W, W,
                                                          7, 8, 9, W, W, W, W, W, W, W, W, W}},
        {"past the right and bottom edges", 4, 2, 3, 3, 0, 0, {W, W, W, W, W, W, W, W, W, W, W, W,
                                                               W, W, W, W, 1, 2, W, W, W, W, 4, 5}},
        {"from before the left and top edges", -1, -2, 3, 3, 0, 0, {8, 9, W, W, W, W, W, W,
                                                                    W, W, W, W, W, W, W, W,
                                                                    W, W, W, W, W, W, W, W}},
        {"larger than the source", 0, 0, 10, 10, 2, 1, {6, W, W, W, W, W, 9, W, W, W, W, W,
                                                        W, W, W, W, W, W, W, W, W, W, W, W}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(w95::DrawOnWindow(window_, [](w95::PixelSurface& s) {
            std::fill(s.pixels.begin(), s.pixels.end(), kWhite);
        }));
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = MakeBitmap();
        HGDIOBJ stock = SelectObject(memory, bitmap);
        ASSERT_NE(stock, nullptr);
        EXPECT_TRUE(BitBlt(dc, c.x, c.y, c.cx, c.cy, memory, c.src_x, c.src_y, SRCCOPY));
        EXPECT_EQ(SelectObject(memory, stock), bitmap);
        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_TRUE(DeleteDC(memory));
        EndPaint(window_, &paint);
        auto pixels = w95::WindowPixels(window_);
        ASSERT_TRUE(pixels);
        ASSERT_EQ(pixels->width, 6);
        ASSERT_EQ(pixels->height, 4);
        EXPECT_EQ(pixels->pixels, c.expected);
    }
}

TEST_F(BlitTest, SelectionRulesKeepBitmapsFromBeingLostOrShared) {
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    ASSERT_NE(first, nullptr);
    HBITMAP bitmap = MakeBitmap();
    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    // In one context at a time; not deleted while selected; the stock bitmap never.
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(stock));
    // Deleting the context frees its bitmap.
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_NE(SelectObject(second, bitmap), nullptr);
    EXPECT_NE(SelectObject(second, stock), nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));  // gone
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // Only SRCCOPY, only from a memory context, only onto a context.
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, second, 0, 0, 0x00EE0086 /* SRCPAINT */));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(window_), 0, 0, 1, 1, second, 0, 0, SRCCOPY));
    EndPaint(window_, &paint);
    EXPECT_EQ(CreateCompatibleDC(dc), nullptr);  // the paint context has ended
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_FALSE(DeleteDC(second));
}

}  // namespace
