// The typewriter panel and the intro screen.
#include "game/typewriter.h"

#include <fb/clock/clock.h>
#include <fb/gfx/blit.h>
#include <fb/gfx/context.h>
#include <fb/gfx/primitives.h>
#include <fb/gfx/text.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

namespace shooter {

using namespace fb;  // the library's names read plainly in the game's code

namespace {

constexpr double TYPING_PERIOD = 0.1;  // seconds per character
constexpr int32_t CELL = 8;            // the built-in font's cell, pixels
constexpr int32_t LINE_PITCH = 10;

void BlankLine(const TypewriterPanel& panel) {
  DrawLine(nullptr, float(panel.x), float(panel.y), float(panel.x + panel.lineLength * CELL),
           float(panel.y + CELL), 0, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
}

void DrawLineText(const TypewriterPanel& panel, const std::string& line) {
  DrawText(nullptr, float(panel.x), float(panel.y), CoordFlags::Absolute, line.c_str(),
           TYPEWRITER_COLOR);
}

void NothingToDo(std::string&) {}

}  // namespace

std::string Substring(const std::string& text, int32_t position, int32_t count) {
  int64_t length = int64_t(text.size());
  if (text.empty() || position < 1 || position > length || count <= 0) return {};
  return text.substr(size_t(position - 1), size_t(count));
}

void InitPanel(TypewriterPanel& panel, int32_t x, int32_t y, const std::string& text,
               const std::string& tag, PanelCallback callback) {
  panel = TypewriterPanel{};
  panel.x = x;
  panel.y = y;
  panel.text = text;
  panel.tag = tag;
  panel.lineLength = 1;
  panel.typed = 1;
  panel.lineStart = 1;
  panel.lastTick = TimerSeconds();
  panel.active = 1;
  panel.callback = callback;
}

void Update(TypewriterPanel& panel) {
  if (panel.active != 1) return;
  panel.now = TimerSeconds();
  if (panel.now - panel.lastTick > TYPING_PERIOD) {
    panel.lineLength += 1;
    panel.typed += 1;
    panel.lastTick = TimerSeconds();
    // Past the end there is no character, so nothing is pending.
    if (size_t(panel.typed) <= panel.text.size() && panel.text[size_t(panel.typed - 1)] == '\n')
      panel.newlinePending = 1;
  }
  if (int64_t(panel.typed) > int64_t(panel.text.size())) {
    if (panel.callback) panel.callback(panel.tag);
    panel.done = 1;
  }
}

void Erase(TypewriterPanel& panel) {
  if (panel.active != 1) return;
  BlankLine(panel);
}

void Draw(TypewriterPanel& panel) {
  if (panel.active != 1) return;
  if (panel.newlinePending == 1) {
    panel.newlinePending = 0;
    BlankLine(panel);
    DrawLineText(panel, Substring(panel.text, panel.lineStart + panel.lineOffset,
                                  panel.lineLength - 1 - panel.lineOffset));
    panel.lineOffset = 1;
    panel.y += LINE_PITCH;
    panel.lineStart = panel.lineStart + panel.lineLength - 1;
    panel.lineLength = 1;
    return;
  }
  std::string line =
      Substring(panel.text, panel.lineStart + panel.lineOffset, panel.lineLength - panel.lineOffset);
  line += TYPEWRITER_CURSOR;
  DrawLineText(panel, line);
}

void Show(TypewriterPanel& panel) { panel.active = 1; }
void Hide(TypewriterPanel& panel) { panel.active = 0; }

void Destroy(TypewriterPanel& panel) {
  panel.text = std::string();
  panel.tag = std::string();
}

void TypeFrame(TypewriterPanel& panel) {
  Update(panel);
  ScreenLock();
  Erase(panel);
  Draw(panel);
  ScreenUnlock(-1, -1);
  Sleep(10);
}

void ShowIntro(Image* background) {
  TypewriterPanel panel;
  InitPanel(panel, 250, 256, INTRO_TEXT, "I1", NothingToDo);
  // Drawn once: the panel blanks only the line it types, so the briefing
  // ends up on black strips across the picture.
  PutImage(nullptr, 0, 0, background, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE, PUT_WHOLE_IMAGE,
           PUT_WHOLE_IMAGE, 0, PutMode::Blend, 255);
  bool keyPressed = false;
  while (panel.done == 0) {
    TypeFrame(panel);
    if (!ReadKey().empty()) {
      keyPressed = true;
      break;
    }
  }
  if (!keyPressed) Sleep(-1);
  ClearScreen();
  Destroy(panel);
}

}  // namespace shooter
