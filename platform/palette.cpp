#include "palette.h"

namespace fb {

namespace {

// 16 colours of the classic text attributes, 16 greys, a 6 x 6 x 6 colour
// cube and 8 blacks: every 8-bit screen starts with it.
struct DefaultPalette {
  uint8_t rgb[256 * 3];
  constexpr DefaultPalette() : rgb() {
    constexpr uint8_t base[16][3] = {
        {0, 0, 0},       {0, 0, 170},     {0, 170, 0},     {0, 170, 170},
        {170, 0, 0},     {170, 0, 170},   {170, 85, 0},    {170, 170, 170},
        {85, 85, 85},    {85, 85, 255},   {85, 255, 85},   {85, 255, 255},
        {255, 85, 85},   {255, 85, 255},  {255, 255, 85},  {255, 255, 255}};
    int i = 0;
    for (; i < 16; ++i)
      for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = base[i][c];
    for (int g = 0; g < 16; ++g, ++i)
      for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = uint8_t(g * 17);
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b, ++i) {
          rgb[i * 3 + 0] = uint8_t(r * 51);
          rgb[i * 3 + 1] = uint8_t(g * 51);
          rgb[i * 3 + 2] = uint8_t(b * 51);
        }
  }
};

constexpr DefaultPalette DEFAULT_PALETTE;

}  // namespace

const uint8_t* DefaultPaletteRgb() { return DEFAULT_PALETTE.rgb; }

}  // namespace fb
