// Framebuffer rows converted into the pixels of a display surface, for a
// driver that draws into the display's own format (the "DirectX" driver).
// A converter is chosen by the pair (framebuffer depth class, display
// format); displays whose red component lies in the lowest bits get a
// second set with red and blue exchanged.  Palette-indexed framebuffers
// (1, 2, 4 and 8 bits, a byte per pixel) go through the palette, turned
// into display pixels beforehand.  Pure functions; any thread.
#pragma once
#include <cstdint>

namespace fb {

struct DisplayPixelFormat {
  int32_t bits;  // bits per pixel: 8, 15, 16, 24 or 32 (15: 5-5-5 in 16 bits)
  bool redLow;   // red in the lowest bits, blue in the highest
};

// The format of a display whose pixels have bitCount bits and these
// channel masks: 16 bits with a 5-bit green mask are 15; a red mask below
// the blue one is redLow.
DisplayPixelFormat DisplayFormatOf(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                   uint32_t blueMask);

// Bytes a display pixel of the format takes.
int32_t DisplayBytesPerPixel(DisplayPixelFormat format);

// Converts width framebuffer pixels at in into display pixels at out,
// each written scale times side by side (scale >= 1).  palette: the 256
// display pixels of an indexed framebuffer (DisplayPixelOf), unused
// otherwise.  Callers keep both rows inside their buffers.
using RowConverter = void (*)(const uint8_t* in, uint8_t* out, int32_t width, int32_t scale,
                              const uint32_t* palette);

// The converter for a framebuffer of framebufferBpp bytes per pixel (1
// indexed, 2 as 5-6-5, 4 as 0xAARRGGBB) onto a display of this format;
// nullptr for a pair without one (8-bit, palette-based displays have
// none).
RowConverter ChooseRowConverter(int32_t framebufferBpp, DisplayPixelFormat display);

// A palette entry 0x00BBGGRR as a pixel of the display format.
uint32_t DisplayPixelOf(DisplayPixelFormat display, uint32_t paletteEntry);

}  // namespace fb
