// A text console: PrintText writes at the text cursor, wraps at the right
// edge and scrolls; what you type is echoed, Enter starts a new line and
// Backspace rubs out.  Escape or the window's close box quits;
// `console N` ends by itself after N frames.
#include <fb/clock/clock.h>
#include <fb/gfx/text.h>
#include <fb/platform/driver.h>
#include <fb/platform/keyboard.h>
#include <fb/platform/screen.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : -1;  // -1: until Escape
  fb::SetWindowTitle("fb: console");
  const int opened = fb::SetScreenMode(640, 400, 32, 0, fb::SCREEN_WINDOWED, 0);
  for (const std::string& note : fb::SettingNotes())  // FB_SCALE or SCRDRIVER not taken
    std::fprintf(stderr, "console: %s\n", note.c_str());
  if (opened != 0) {
    std::fprintf(stderr, "console: no screen could be opened: %s\n", fb::DisplayFailure().c_str());
    return 1;
  }
  // 80 columns by 50 rows of the 8 x 8 font.
  fb::PrintText("fb text console: type away. Enter starts a new line, Escape quits.");
  for (int i = 1; i <= 3; ++i)
    fb::PrintText("Line " + std::to_string(i) + " of a few, printed before you typed anything.");
  fb::PrintText("A long line wraps at the right edge by itself: "
                "the quick brown fox jumps over the lazy dog, twice over, "
                "the quick brown fox jumps over the lazy dog.");
  fb::PrintText("> ", false);

  for (long frame = 0; frame != frames; ++frame) {
    const std::string key = fb::ReadKey();  // empty when no key waits
    if (key.empty()) {
      fb::Sleep(16);
      continue;
    }
    if (key[0] == 27 || fb::KeyCodeString(fb::KEY_CLOSE) == key) break;
    if (key.size() > 1) continue;  // arrows, function keys: nothing to print
    if (key[0] == '\r') {
      fb::PrintText("");  // a line end
      fb::PrintText("> ", false);
    } else if (key[0] == '\b') {
      int column = 0;
      fb::GetTextCursor(&column, nullptr);
      if (column > 3) fb::PrintText("\b \b", false);  // 1-based: the prompt "> " stays
    } else {
      fb::PrintText(key, false);
    }
  }
  return 0;
}
