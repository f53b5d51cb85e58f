// Colours and their conversion to the pixel formats of a target.
// Owns nothing; pure functions usable from any thread.
#pragma once
#include <cstdint>

namespace fb {

// 0xAARRGGBB.  A 32-bit pixel holds it unchanged (little-endian bytes
// blue, green, red, alpha); a 16-bit pixel is RGB 5-6-5; an 8-bit pixel
// is a palette index.
using Color = uint32_t;

// The colour that blits leave out, by bytes per pixel.  At 4 bytes only
// the low 24 bits are compared, so any alpha byte counts as transparent.
constexpr Color TRANSPARENT_COLOR_32 = 0xFF00FF;
constexpr Color TRANSPARENT_FILL_32 = 0xFFFF00FF;  // what new images hold
constexpr uint32_t TRANSPARENT_COLOR_16 = 0xF81F;
constexpr uint32_t TRANSPARENT_COLOR_8 = 0;

// Converts a Color to the pixel value of a target with bpp bytes per pixel:
// 5-6-5 at 2 bytes, the low byte at 1 byte, unchanged at 4 bytes.
constexpr uint32_t ConvertColor(int bpp, Color c) {
  if (bpp == 2)
    return ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F);
  if (bpp == 1) return c & 0xFF;
  return c;
}

// The transparent pixel value of a depth in bytes per pixel.
constexpr uint32_t TransparentPixel(int bpp) {
  return bpp == 4 ? TRANSPARENT_FILL_32 : bpp == 2 ? TRANSPARENT_COLOR_16 : TRANSPARENT_COLOR_8;
}

}  // namespace fb
