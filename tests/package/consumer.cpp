// A program that uses the library the way another project would: through
// <fb/...> headers and one library, on a screen without a window.  It
// draws, reads its pixels back and says whether they are right.
#include <fb/clock/clock.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/screen.h>

#include <cstdint>
#include <cstdio>

int main() {
  if (fb::SetScreenMode(64, 32, 32, 0, fb::SCREEN_NULL, 0) != 0) {
    std::puts("consumer: no screen");
    return 1;
  }
  const double start = fb::TimerSeconds();
  fb::ScreenLock();
  fb::DrawLine(nullptr, 2, 3, 9, 6, 0xFF2080FF, fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
  fb::DrawText(nullptr, 16, 8, 4, "\xDB", 0xFFFFFF00);  // the solid block, 8 x 8
  fb::ScreenUnlock(-1, -1);

  const fb::ScreenContext* s = fb::Screen();
  auto pixel = [s](int x, int y) {
    return reinterpret_cast<const uint32_t*>(s->framebuffer + y * s->pitch)[x];
  };
  const bool right = pixel(2, 3) == 0xFF2080FF && pixel(9, 6) == 0xFF2080FF &&
                     pixel(10, 6) == 0xFF000000 && pixel(16, 8) == 0xFFFFFF00 &&
                     pixel(23, 15) == 0xFFFFFF00 && pixel(24, 15) == 0xFF000000 &&
                     s->dirtyRows[31] == 1 && fb::TimerSeconds() >= start;
  fb::CloseScreen();
  std::puts(right ? "consumer: ok" : "consumer: wrong pixels");
  return right ? 0 : 1;
}
