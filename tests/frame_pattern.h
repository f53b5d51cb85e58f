// The test picture the window tests draw at every depth, and the colour
// the window must show for each of its pixels.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include <fb/platform/screen.h>

namespace framepattern {

inline uint32_t Pattern32(int x, int y) {
  return 0xFF000000u | uint32_t((x * 3) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 |
         uint32_t((x + y) & 0xFF);
}
inline uint16_t Pattern16(int x, int y) { return uint16_t(x * 37 + y * 101); }
inline uint8_t Pattern8(int x, int y) { return uint8_t(x + y * 3); }

// 5-6-5 widened with the top bits repeated, so white stays white.
inline uint32_t Rgb565(uint16_t p) {
  const uint32_t r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
  return ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2));
}
inline uint32_t RgbOfPalette(uint32_t entry) {  // 0x00BBGGRR
  return (entry & 0xFF) << 16 | (entry & 0xFF00) | (entry >> 16 & 0xFF);
}

// Draws the pattern of the screen's depth into its framebuffer (the
// caller holds the screen lock) and returns the 0xRRGGBB each pixel must
// show, palette entries as they are now.
struct Expected {
  int depth;
  std::vector<uint32_t> palette;
  uint32_t operator()(int x, int y) const {
    if (depth == 32) return Pattern32(x, y) & 0xFFFFFF;
    if (depth == 16) return Rgb565(Pattern16(x, y));
    return RgbOfPalette(palette[Pattern8(x, y)]);
  }
};
inline Expected DrawPattern(fb::ScreenContext& s) {
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      uint8_t* p = s.framebuffer + size_t(y) * size_t(s.pitch) + size_t(x) * size_t(s.bpp);
      if (s.bpp == 4) {
        const uint32_t v = Pattern32(x, y);
        std::memcpy(p, &v, 4);
      } else if (s.bpp == 2) {
        const uint16_t v = Pattern16(x, y);
        std::memcpy(p, &v, 2);
      } else {
        *p = Pattern8(x, y);
      }
    }
  return {s.bpp * 8, std::vector<uint32_t>(s.devicePalette, s.devicePalette + 256)};
}

}  // namespace framepattern
