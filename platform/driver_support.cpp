#include "driver_support.h"

#include <cstring>

#include "screen.h"

namespace fb {

void MarkAllRowsDirty(ScreenContext& screen) {
  std::memset(screen.dirtyRows, 1, size_t(screen.height) * size_t(screen.scanLineHeight));
}

void StorePaletteEntry(ScreenContext& screen, int32_t index, int32_t red, int32_t green,
                       int32_t blue) {
  if (index < 0 || index > 255) return;
  auto clamp = [](int32_t v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  screen.devicePalette[index] = clamp(red) | clamp(green) << 8 | clamp(blue) << 16;
  screen.paletteChanged = 1;
  if (screen.bpp == 1) MarkAllRowsDirty(screen);
}

int32_t RefreshPeriodMs(const ScreenContext* screen) {
  const int32_t rate = screen ? screen->refreshRate : 0;
  return rate > 0 ? 1000 / rate : 16;
}

std::vector<DisplayMode> FullscreenModeTries(int32_t width, int32_t height, int32_t depth,
                                             std::span<const DisplayMode> offered) {
  const int32_t sister = depth == 15   ? 16
                         : depth == 16 ? 15
                         : depth == 24 ? 32
                         : depth == 32 ? 24
                                       : 0;
  // Depth 0: a standard mode, taken to exist at every depth.
  static constexpr DisplayMode STANDARD_MODES[] = {
      {320, 240, 0}, {640, 480, 0}, {800, 600, 0}, {1024, 768, 0}, {1280, 1024, 0}};
  if (offered.empty()) offered = STANDARD_MODES;
  std::vector<DisplayMode> tries;
  auto bothDepths = [&](int32_t w, int32_t h) {
    tries.push_back({w, h, depth});
    if (sister) tries.push_back({w, h, sister});
  };
  bothDepths(width, height);
  for (int32_t taller : {240, 480, 600, 768, 1024}) {
    if (taller <= height) continue;
    int32_t narrowest = 0;
    for (const DisplayMode& m : offered) {
      const bool fits = m.height == taller && m.width >= width &&
                        (m.depth == 0 || m.depth == depth || (sister && m.depth == sister));
      if (fits && (!narrowest || m.width < narrowest)) narrowest = m.width;
    }
    if (narrowest) {
      bothDepths(narrowest, taller);
      break;
    }
  }
  return tries;
}

}  // namespace fb
