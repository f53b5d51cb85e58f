// The typewriter panel: a text of several lines typed onto the screen one
// character every tenth of a second behind a block cursor, and the intro
// screen built on it.  The panel draws straight onto the screen and never
// clears it: finished lines stay, only the line being typed is blanked and
// redrawn.  Program's thread; the caller brackets Erase and Draw with
// ScreenLock/ScreenUnlock.
#pragma once
#include <cstdint>
#include <string>

#include <fb/gfx/image.h>

namespace shooter {

// Called with the panel's tag once the whole text is typed.
using PanelCallback = void (*)(std::string& tag);

// Positions in text are 1-based.
struct TypewriterPanel {
  int32_t x;           // left edge of every line
  int32_t y;           // top of the line being typed; +10 per finished line
  std::string text;    // the whole text to type
  std::string tag;     // handed to callback
  int32_t lineLength;  // text positions the current line covers, from lineStart
  int32_t typed;       // position of the last typed character
  int32_t lineStart;   // where the current line begins (its opening line feed after the first)
  double lastTick;     // when the last character was typed
  double now;          // TimerSeconds at the last Update
  uint8_t newlinePending;  // the character just typed is a line feed
  int32_t lineOffset;      // 0 on the first line, 1 later (skips the opening line feed)
  uint8_t active;          // Update, Erase and Draw work only while 1
  PanelCallback callback;
  uint8_t done;  // set once the whole text is typed
};

constexpr uint32_t TYPEWRITER_COLOR = 0xFF00AA00;
constexpr char TYPEWRITER_CURSOR = char(219);  // the solid block of the font

// The briefing typed by the intro screen, 123 characters.
inline constexpr char INTRO_TEXT[] =
    "The Aliens are incoming...\n\nMake sure that you save the core.\nGood luck!\n\n\n"
    "Controls:\n\nw, a, s, d, space\n\n\nPress any key ...";
static_assert(sizeof(INTRO_TEXT) - 1 == 123);

// Sets up a panel at (x, y) with copies of text and tag: the first
// character is already typed.
void InitPanel(TypewriterPanel& panel, int32_t x, int32_t y, const std::string& text,
               const std::string& tag, PanelCallback callback);

// Types one more character when more than 0.1 s have passed since the last
// one; once past the end, calls callback with tag and sets done (again at
// every later Update while active).
void Update(TypewriterPanel& panel);

// Blanks the line being typed with a filled box in colour 0.
void Erase(TypewriterPanel& panel);

// Draws the line being typed with the cursor, or, right after a line feed
// was typed, the finished line without it and moves down one line.
void Draw(TypewriterPanel& panel);

// One frame of typing, as the intro and the closing screen run it:
// Update; ScreenLock; Erase; Draw; ScreenUnlock(-1, -1); Sleep(10).
void TypeFrame(TypewriterPanel& panel);

void Show(TypewriterPanel& panel);
void Hide(TypewriterPanel& panel);

// Releases text and tag.
void Destroy(TypewriterPanel& panel);

// The 1-based substring of text at position, of count characters: empty
// when position is outside the text or count is 0 or less; cut at the end.
std::string Substring(const std::string& text, int32_t position, int32_t count);

// The intro: draws background, types the briefing at (250, 256) until a key
// is pressed (or, when typed out, waits for one), then clears the screen.
void ShowIntro(fb::Image* background);

}  // namespace shooter
