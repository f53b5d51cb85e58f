// The text screen's state: the character cells of every page, the cursor,
// the view and a scroll held back.  There is one for the open screen; it
// is set up when the drawing code first looks at a newly opened screen
// (its mode serial differs), the same rule the drawing contexts follow.
// Program's thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "color.h"
#include "text.h"

namespace fb {

// One character cell of the text screen.
struct TextCell {
  uint16_t code;
  Color foreground;
  Color background;
};
struct TextCursor {
  int32_t column, row;  // 0-based
};
struct TextView {
  int32_t firstRow, lastRow;
};

struct TextState {
  int32_t modeSerial = 0;       // of the screen it was set up for
  const Font* font = nullptr;   // the screen's built-in font
  int32_t textColumns = 0, textRows = 0;
  std::unique_ptr<TextCell[]> cells;  // textColumns x textRows per page, page after page
  TextCursor textCursor{0, 0};
  uint8_t scrollPending = 0;
  TextView textView{0, 0};

  TextCell* PageCells(int32_t page) {
    return cells.get() + size_t(page) * size_t(textColumns) * size_t(textRows);
  }
};

// The open screen's text state.  For a newly opened screen it is set up
// afresh: the 8 x 8 font, width / 8 columns and height / 8 rows, every
// cell a space in the default colours, the cursor at the top left and the
// view the whole screen.  nullptr without a screen, or when the cells
// cannot be had.
TextState* GetTextState();

}  // namespace fb
