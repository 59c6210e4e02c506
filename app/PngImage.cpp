#include "app/PngImage.h"

#include <png.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kb {

PngBitmap DecodePng(const void* data, std::size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return {};

    image.format = PNG_FORMAT_BGRA;  // a DIB's byte order
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(image.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(image.height);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    PngBitmap result;
    result.bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!result.bitmap) return {};
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);

    // AlphaBlend wants every colour already multiplied by its alpha.
    auto* out = static_cast<std::uint8_t*>(bits);
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        const unsigned alpha = pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            out[i + c] = static_cast<std::uint8_t>((pixels[i + c] * alpha + 127) / 255);
        out[i + 3] = static_cast<std::uint8_t>(alpha);
    }
    ::GdiFlush();
    return result;
}

PngBitmap LoadPngResource(HINSTANCE module, int resourceId) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    if (!info) return {};
    HGLOBAL loaded = ::LoadResource(module, info);  // not freed: part of the module image
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return DecodePng(data, ::SizeofResource(module, info));
}

void DrawPng(HDC dc, const PngBitmap& png, int x, int y, int width, int height) {
    if (!png.bitmap) return;
    UniqueMemoryDc memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    SelectObjectScope select(memory.get(), png.bitmap.get());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, x, y, width, height, memory.get(), 0, 0, png.width, png.height, blend);
}

}  // namespace kb
