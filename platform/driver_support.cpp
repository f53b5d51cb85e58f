#include "driver_support.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "events.h"
#include "screen.h"
#include "window_thread.h"

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

void StorePaletteEntryLocked(int32_t index, int32_t red, int32_t green, int32_t blue) {
  LockDisplay();
  if (ScreenContext* screen = Screen()) StorePaletteEntry(*screen, index, red, green, blue);
  UnlockDisplay();
}

void SleepOneRefresh() {
  std::this_thread::sleep_for(std::chrono::milliseconds(RefreshPeriodMs(Screen())));
}

void PressPointerButton(PointerState& pointer, int32_t button, uint32_t timeMs) {
  pointer.buttons |= button;
  const bool twice =
      button == pointer.lastClickButton && timeMs - pointer.lastClickTime < DOUBLE_CLICK_MS;
  pointer.lastClickButton = twice ? 0 : button;
  pointer.lastClickTime = timeMs;
  PostEvent(twice ? EVENT_MOUSE_DOUBLE_CLICK : EVENT_MOUSE_PRESS, button);
}

void ReleasePointerButton(PointerState& pointer, int32_t button) {
  pointer.buttons &= ~button;
  PostEvent(EVENT_MOUSE_RELEASE, button);
}

void TurnPointerWheel(PointerState& pointer, bool horizontal, int32_t notches) {
  int32_t& position = horizontal ? pointer.horizontalWheel : pointer.wheel;
  position += notches * WHEEL_NOTCH;
  PostEvent(horizontal ? EVENT_MOUSE_HWHEEL : EVENT_MOUSE_WHEEL, position);
}

void MovePointerTo(PointerState& pointer, int32_t x, int32_t y) {
  PostEvent(EVENT_MOUSE_MOVE, x, y, x - pointer.x, y - pointer.y);
  pointer.x = x;
  pointer.y = y;
}

int AnswerGetMouse(const PointerState& pointer, int32_t x, int32_t y, int32_t width,
                   int32_t height, int32_t clipped, int32_t* outX, int32_t* outY,
                   int32_t* outWheel, int32_t* outButtons) {
  if (clipped > 0) {
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
  }
  if (x < 0 || y < 0 || x >= width || y >= height) return -1;
  if (outX) *outX = x;
  if (outY) *outY = y;
  if (outWheel) *outWheel = pointer.wheel;
  if (outButtons) *outButtons = pointer.buttons;
  return 0;
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

int32_t WindowScale(const char* setting, int32_t screenWidth, int32_t screenHeight,
                    int32_t width, int32_t height, SettingVerdict* verdict) {
  constexpr int32_t MAX_SCALE = 16, MAX_SIDE = 16384;
  constexpr int32_t DESKTOP_WIDTH = 1920, DESKTOP_HEIGHT = 1080;
  SettingVerdict ignored;
  SettingVerdict& outcome = verdict ? *verdict : ignored;
  outcome = setting && *setting ? SettingVerdict::Unusable : SettingVerdict::Unset;
  if (width <= 0 || height <= 0) return 1;
  const int32_t largest = std::max(1, std::min({MAX_SCALE, MAX_SIDE / width, MAX_SIDE / height}));
  // The largest scale whose picture fits on the screen; 1 when not even
  // the picture's own size does.
  const int32_t fits =
      std::clamp(std::min(screenWidth / width, screenHeight / height), int32_t(1), largest);
  if (setting && *setting) {
    int32_t n = 0;
    const char* c = setting;
    // Saturated, so that a long number cannot overflow.
    for (; *c >= '0' && *c <= '9'; ++c) n = std::min(n * 10 + (*c - '0'), MAX_SIDE);
    if (*c == '\0' && n >= 1) {
      outcome = n > fits ? SettingVerdict::Capped : SettingVerdict::Taken;
      return std::min(n, fits);
    }
  }
  // A screen with the pixels of several desktops is a dense one; its
  // pixels are smaller than the ones the program was drawn for.
  const int32_t density = std::min(screenWidth / DESKTOP_WIDTH, screenHeight / DESKTOP_HEIGHT);
  return std::clamp(density, int32_t(1), fits);
}

}  // namespace fb
