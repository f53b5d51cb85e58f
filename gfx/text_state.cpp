#include "text_state.h"

#include <algorithm>
#include <new>

#include "../platform/screen.h"

namespace fb {

namespace {

TextState state;

bool SetUp(TextState& text, const ScreenContext& screen) {
  text = TextState{};
  text.modeSerial = screen.modeSerial;
  text.font = &FONT_8X8;
  text.textColumns = screen.width / text.font->width;
  text.textRows = screen.height / text.font->height;
  text.textView = {0, text.textRows - 1};
  const size_t count =
      size_t(text.textColumns) * size_t(text.textRows) * size_t(screen.pageCount);
  text.cells.reset(new (std::nothrow) TextCell[count]);
  if (!text.cells) {
    text.modeSerial = 0;  // try again next time
    return false;
  }
  // The default colours: white (index 15 at 8 bits) on opaque black.
  const Color foreground = screen.depth == 8 ? 15u : screen.colorMask;
  const Color background = screen.colorMask & 0xFF000000u;
  std::fill_n(text.cells.get(), count, TextCell{32, foreground, background});
  return true;
}

}  // namespace

TextState* GetTextState() {
  const ScreenContext* screen = Screen();
  if (!screen) return nullptr;
  if (state.modeSerial != screen->modeSerial && !SetUp(state, *screen)) return nullptr;
  return &state;
}

}  // namespace fb
