#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "TestResources.h"
#include "app/PngImage.h"

namespace {

// The 4 x 1 test picture: opaque red, clear green, half-clear blue, quarter-clear white.
TEST(PngImage, DecodesIntoPremultipliedBgra) {
    const kb::PngBitmap png = kb::LoadPngResource(::GetModuleHandleW(nullptr), IDR_TEST_ALPHA_PNG);
    ASSERT_TRUE(png.bitmap);
    EXPECT_EQ(png.width, 4);
    EXPECT_EQ(png.height, 1);

    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(png.bitmap.get(), sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
    const auto* px = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
    ASSERT_NE(px, nullptr);
    const std::uint8_t expected[16] = {
        0,   0,   255, 255,  // red, opaque
        0,   0,   0,   0,    // green, fully clear: nothing left
        128, 0,   0,   128,  // blue at alpha 128
        64,  64,  64,  64,   // white at alpha 64
    };
    for (int i = 0; i < 16; ++i) EXPECT_EQ(px[i], expected[i]) << "byte " << i;
}

TEST(PngImage, DrawsWithItsAlphaOverTheBackground) {
    const kb::PngBitmap png = kb::LoadPngResource(::GetModuleHandleW(nullptr), IDR_TEST_ALPHA_PNG);
    HDC screen = ::GetDC(nullptr);
    kb::UniqueMemoryDc dc(::CreateCompatibleDC(screen));
    kb::UniqueBitmap canvas(::CreateCompatibleBitmap(screen, 4, 1));
    ::ReleaseDC(nullptr, screen);
    {
        kb::SelectObjectScope select(dc.get(), canvas.get());
        for (int x = 0; x < 4; ++x) ::SetPixel(dc.get(), x, 0, RGB(0, 0, 0));
        kb::DrawPng(dc.get(), png, 0, 0, 4, 1);
        EXPECT_EQ(::GetPixel(dc.get(), 0, 0), RGB(255, 0, 0));
        EXPECT_EQ(::GetPixel(dc.get(), 1, 0), RGB(0, 0, 0)) << "clear pixels leave the ground";
        const COLORREF half = ::GetPixel(dc.get(), 2, 0);
        EXPECT_NEAR(GetBValue(half), 128, 2);
        EXPECT_EQ(GetRValue(half), 0);
    }
}

TEST(PngImage, RejectsWhatIsNotAPng) {
    EXPECT_FALSE(kb::LoadPngResource(::GetModuleHandleW(nullptr), IDR_TEST_NOT_PNG).bitmap);
    EXPECT_FALSE(kb::LoadPngResource(::GetModuleHandleW(nullptr), 9999).bitmap);
    const char garbage[] = "\x89PNG but then nothing";
    EXPECT_FALSE(kb::DecodePng(garbage, sizeof garbage).bitmap);
}

}  // namespace
