// Pixels, lines, circles and text in a window.  Escape or the window's
// close box quits; `shapes N` ends by itself after N frames.
#include <fb/clock/clock.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/driver.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

constexpr int32_t SCANCODE_ESCAPE = 1;
constexpr int32_t ABSOLUTE = 4;  // coordinates as given, not relative to the last point

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : -1;  // -1: until Escape
  fb::SetWindowTitle("fb: shapes");
  const int opened = fb::SetScreenMode(640, 480, 32, 0, fb::SCREEN_WINDOWED, 0);
  for (const std::string& note : fb::SettingNotes())  // FB_SCALE or SCRDRIVER not taken
    std::fprintf(stderr, "shapes: %s\n", note.c_str());
  if (opened != 0) {
    std::fprintf(stderr, "shapes: no screen could be opened: %s\n", fb::DisplayFailure().c_str());
    return 1;
  }
  for (long frame = 0; frame != frames && !fb::KeyDown(SCANCODE_ESCAPE); ++frame) {
    if (fb::KeyHit() && fb::WaitKey() == fb::KEY_CLOSE) break;
    const float t = float(frame) / 60;

    fb::ScreenLock();  // the window shows nothing of a half-drawn frame
    fb::DrawLine(nullptr, 0, 0, 639, 479, 0xFF101828, fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
    for (int i = 0; i < 300; ++i)  // stars: single pixels
      fb::SetPixel(nullptr, float(i * 97 % 640), float(i * 61 % 480), 0xFFC0C8FF, ABSOLUTE);
    for (int i = 0; i <= 16; ++i)  // a fan of lines
      fb::DrawLine(nullptr, 40, 440, float(40 + i * 20), 160, 0xFF0000FF | uint32_t(i * 15) << 8,
                   fb::BOX_MODE_LINE, fb::LINE_STYLE_SOLID, 0);
    fb::DrawLine(nullptr, 30, 150, 380, 450, 0xFFFFFFFF, fb::BOX_MODE_OUTLINE, 0xF0F0, 0);
    fb::DrawCircle(nullptr, 500, 300, 90, 0xFFFFA000, 0, 0, fb::FULL_CIRCLE, 1, ABSOLUTE);
    fb::DrawCircle(nullptr, 500, 300, 110, 0xFFFFE080, 0, 0, fb::FULL_CIRCLE, 0, ABSOLUTE);
    fb::DrawCircle(nullptr, 500 + 110 * std::cos(t), 300 + 110 * std::sin(t), 12, 0xFF40E0FF, 0, 0,
                   fb::FULL_CIRCLE, 1, ABSOLUTE);
    fb::DrawText(nullptr, 20, 20, ABSOLUTE, "Pixels, lines, circles and text", 0xFFFFFFFF);
    fb::DrawText(nullptr, 20, 36, ABSOLUTE, "Escape quits", 0xFF8090A0);
    fb::ScreenUnlock(-1, -1);  // every row changed: present them all

    fb::Sleep(16);  // about 60 frames a second
  }
  return 0;
}
