// A sprite drawn into an image of its own, then put on the screen twice:
// keyed (its magenta background left out) and blended at half opacity,
// moved with the arrow keys.  Escape or the window's close box quits;
// `sprite N` ends by itself after N frames.
#include <fb/clock/clock.h>
#include <fb/gfx/blit.h>
#include <fb/gfx/image.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/driver.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

#include <cstdio>
#include <cstdlib>
#include <string>

constexpr int32_t SCANCODE_ESCAPE = 1, SCANCODE_UP = 72, SCANCODE_LEFT = 75,
                  SCANCODE_RIGHT = 77, SCANCODE_DOWN = 80;
constexpr int32_t ABSOLUTE = 4;

// A 64 x 64 ship on the transparent colour, which blits leave out.
fb::Image* MakeSprite() {
  fb::Image* sprite = fb::CreateImage(64, 64, 0, 0, -1);  // flags < 0: all transparent
  if (!sprite) return nullptr;
  fb::DrawCircle(sprite, 32, 32, 30, 0xFF3070FF, 0, 0, fb::FULL_CIRCLE, 1, ABSOLUTE);
  fb::DrawCircle(sprite, 32, 26, 12, 0xFFB0E0FF, 0, 0, fb::FULL_CIRCLE, 1, ABSOLUTE);
  fb::DrawLine(sprite, 8, 40, 55, 47, 0xFFFFC040, fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
  return sprite;
}

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : -1;  // -1: until Escape
  fb::SetWindowTitle("fb: sprite");
  const int opened = fb::SetScreenMode(640, 480, 32, 0, fb::SCREEN_WINDOWED, 0);
  for (const std::string& note : fb::SettingNotes())  // FB_SCALE or SCRDRIVER not taken
    std::fprintf(stderr, "sprite: %s\n", note.c_str());
  if (opened != 0) {
    std::fprintf(stderr, "sprite: no screen could be opened: %s\n", fb::DisplayFailure().c_str());
    return 1;
  }
  fb::Image* sprite = MakeSprite();
  if (!sprite) {
    std::fprintf(stderr, "sprite: no memory for the sprite\n");
    return 1;
  }
  float x = 288, y = 208;
  for (long frame = 0; frame != frames && !fb::KeyDown(SCANCODE_ESCAPE); ++frame) {
    if (fb::KeyHit() && fb::WaitKey() == fb::KEY_CLOSE) break;
    if (fb::KeyDown(SCANCODE_LEFT)) x -= 4;
    if (fb::KeyDown(SCANCODE_RIGHT)) x += 4;
    if (fb::KeyDown(SCANCODE_UP)) y -= 4;
    if (fb::KeyDown(SCANCODE_DOWN)) y += 4;

    fb::ScreenLock();
    for (int stripe = 0; stripe < 480; stripe += 40)  // a background to see through the sprite
      fb::DrawLine(nullptr, 0, float(stripe), 639, float(stripe + 19), 0xFF306030,
                   fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
    for (int stripe = 20; stripe < 480; stripe += 40)
      fb::DrawLine(nullptr, 0, float(stripe), 639, float(stripe + 19), 0xFF603030,
                   fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
    fb::PutImage(nullptr, 40, 40, sprite, fb::PUT_WHOLE_IMAGE, 0, 0, 0, 0,
                 fb::PutMode::Transparent, 0);
    fb::PutImage(nullptr, x, y, sprite, fb::PUT_WHOLE_IMAGE, 0, 0, 0, 0, fb::PutMode::Blend, 128);
    fb::DrawText(nullptr, 120, 60, ABSOLUTE, "keyed", 0xFFFFFFFF);
    fb::DrawText(nullptr, 20, 460, ABSOLUTE, "Arrow keys move the blended copy; Escape quits",
                 0xFFFFFFFF);
    fb::ScreenUnlock(-1, -1);

    fb::Sleep(16);
  }
  fb::DestroyImage(sprite);
  return 0;
}
