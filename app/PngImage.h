#pragma once
// PNG pictures kept as resources, decoded into 32-bit DIB sections with
// premultiplied alpha, ready for AlphaBlend.
#include <windows.h>

#include <cstddef>

#include "platform/Handle.h"

namespace kb {

struct PngBitmap {
    UniqueBitmap bitmap;
    int width = 0;
    int height = 0;
};

// Decodes PNG bytes; an empty result when they are not a readable PNG.
PngBitmap DecodePng(const void* data, std::size_t size);

// Decodes the RCDATA resource of that id from the module.
PngBitmap LoadPngResource(HINSTANCE module, int resourceId);

// Draws the picture with its alpha over what the DC already shows.
void DrawPng(HDC dc, const PngBitmap& png, int x, int y, int width, int height);

}  // namespace kb
