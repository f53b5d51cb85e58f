// The text screen: PrintText's layout over a grid of character cells on
// the graphics screen, drawn opaque in the foreground on the background,
// with wrapping, scrolling of the text view and a scroll held back after
// a line end on the view's last row.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "context.h"
#include "text.h"
#include "text_state.h"
#include "../platform/console.h"
#include "../platform/screen.h"

namespace fb {

namespace {

// Longest run of printable bytes drawn in one piece before the layout
// looks at the right edge again.
constexpr int RUN_BYTES = 1024;

// The screen state one text operation works on.  Every function taking
// it runs under the screen lock with the screen selected as target; the
// Unsafe ones also assume their cells and rows lie inside the grid.
struct TextScreen {
  TextState& text;
  DrawContext& dc;
  const Font& font;
  TextCell* cells;
  int touchedFirst = INT_MAX, touchedLast = INT_MIN;  // pixel rows

  void Touch(int first, int last) {
    touchedFirst = std::min(touchedFirst, first);
    touchedLast = std::max(touchedLast, last);
  }
  TextCell* Cell(int column, int row) {
    return cells + size_t(row) * size_t(text.textColumns) + size_t(column);
  }
};

// Opens the screen for a text operation: the screen as target, the plain
// storing routines (text colours are drawn as they are), the lock held.
TextScreen BeginText(TextState& text) {
  DrawContext& dc = *GetDrawContext();
  SelectTarget(dc, nullptr);
  ChoosePixelRoutines(dc, 0xFF000000);
  ScreenLock();
  return TextScreen{text, dc, *text.font, text.PageCells(dc.workPage)};
}

void EndText(TextScreen& ts) {
  if (ts.touchedFirst <= ts.touchedLast) MarkDirtyRows(ts.dc, ts.touchedFirst, ts.touchedLast);
  ScreenUnlock(1, 0);
}

// Draws count characters into the cells from (column, row) on, every cell
// pixel written, and stores them in the cells.
void UnsafeDrawCells(TextScreen& ts, int column, int row, const uint8_t* bytes, int count) {
  const Font& f = ts.font;
  const int bytesPerRow = (f.width + 7) / 8;
  const size_t glyphBytes = size_t(f.height) * size_t(bytesPerRow);
  const uint32_t fg = ts.dc.foreground, bg = ts.dc.background;
  const int y0 = row * f.height;
  for (int i = 0; i < count; ++i) {
    const uint8_t* glyph = f.glyphs + size_t(bytes[i]) * glyphBytes;
    const int x0 = (column + i) * f.width;
    for (int r = 0; r < f.height; ++r) {
      const uint8_t* bits = glyph + size_t(r) * size_t(bytesPerRow);
      for (int k = 0; k < f.width; ++k)
        ts.dc.pixel.PutPixel(ts.dc, x0 + k, y0 + r, (bits[k >> 3] >> (k & 7)) & 1 ? fg : bg);
    }
    *ts.Cell(column + i, row) = {bytes[i], fg, bg};
  }
  ts.Touch(y0, y0 + f.height - 1);
}

// One piece of a run at (column, row).  A piece of exactly one byte 0xFF
// is the input cursor: only the cell's bottom pixel row, in the
// foreground, over the cell, whose character stays as it was.
void UnsafeDrawRun(TextScreen& ts, int column, int row, const uint8_t* bytes, int count) {
  if (count == 1 && bytes[0] == 0xFF) {
    const int y = (row + 1) * ts.font.height - 1;
    ts.dc.pixel.FillSpan(PixelAddress(ts.dc, column * ts.font.width, y), ts.dc.foreground,
                         size_t(ts.font.width));
    ts.Touch(y, y);
    return;
  }
  UnsafeDrawCells(ts, column, row, bytes, count);
}

// Moves the cells and pixels of text rows top..bottom, columns
// left..right, up by lines rows; the freed rows become spaces on the
// background.  The cursor row becomes bottom.
void UnsafeScroll(TextScreen& ts, int left, int top, int right, int bottom, int lines) {
  const int h = ts.font.height, w = ts.font.width;
  lines = std::min(lines, bottom - top + 1);
  const size_t xOffset = size_t(left) * size_t(w) * size_t(ts.dc.bpp);
  const size_t span = size_t(right - left + 1) * size_t(w);
  const int kept = bottom - top + 1 - lines;  // text rows that survive
  for (int y = top * h; y < (top + kept) * h; ++y)
    ts.dc.pixel.CopySpan(ts.dc.rows[size_t(y)] + xOffset, ts.dc.rows[size_t(y + lines * h)] + xOffset,
                         span);
  for (int y = (top + kept) * h; y < (bottom + 1) * h; ++y)
    ts.dc.pixel.FillSpan(ts.dc.rows[size_t(y)] + xOffset, ts.dc.background, span);

  const size_t cellSpan = size_t(right - left + 1);
  for (int row = top; row < top + kept; ++row)
    std::memmove(ts.Cell(left, row), ts.Cell(left, row + lines), cellSpan * sizeof(TextCell));
  for (int row = top + kept; row <= bottom; ++row)
    std::fill_n(ts.Cell(left, row), cellSpan, TextCell{32, ts.dc.foreground, ts.dc.background});

  ts.text.textCursor.row = bottom;
  ts.Touch(top * h, (bottom + 1) * h - 1);
}

// The layout of one output call: the cursor as it moves, the printable
// bytes waiting to be drawn.
struct Layout {
  TextScreen& ts;
  int column, row;
  uint8_t run[RUN_BYTES];
  int runLength = 0;

  int Columns() const { return ts.text.textColumns; }
  int FirstRow() const { return ts.text.textView.firstRow; }
  int LastRow() const { return ts.text.textView.lastRow; }

  // Brings a cursor below the view back onto its last row.
  void ScrollIntoView() {
    if (row <= LastRow()) return;
    UnsafeScroll(ts, 0, FirstRow(), Columns() - 1, LastRow(), row - LastRow());
    row = LastRow();
  }

  // Moves down a row.  Past the view the row only needs to count far
  // enough to scroll the whole view away, which keeps it bounded.
  void NextRow() {
    column = 0;
    if (row <= 2 * LastRow() + 1) ++row;
  }

  // Draws the waiting run in pieces split at the right edge.
  void Flush() {
    const uint8_t* bytes = run;
    int count = runLength;
    runLength = 0;
    while (count > 0) {
      ScrollIntoView();
      int piece = std::min(count, Columns() - column);
      UnsafeDrawRun(ts, column, row, bytes, piece);
      column += piece;
      bytes += piece;
      count -= piece;
      if (column == Columns()) NextRow();
    }
  }

  void Put(uint8_t byte) {
    run[runLength++] = byte;
    if (runLength == RUN_BYTES) Flush();
  }

  void Take(uint8_t byte) {
    switch (byte) {
      case 7:  // bell: nothing to draw
        break;
      case 8:
        Flush();
        if (column > 0) --column;
        break;
      case 9: {
        Flush();
        // Up to the next multiple of 8, or the right edge if that is nearer.
        int spaces = std::min(8 - column % 8, Columns() - column);
        for (int i = 0; i < spaces; ++i) Put(' ');
        Flush();
        break;
      }
      case 10:
        Flush();
        NextRow();
        break;
      case 13:
        Flush();
        column = 0;
        break;
      default:
        Put(byte);
    }
  }
};

// A positive 1-based position as a 0-based index among count cells:
// positions past the end are the last cell, and with no cells at all
// (a screen narrower or shorter than one character) it is 0.
int CellIndex(int32_t position, int count) { return std::max(std::min(position, count), 1) - 1; }

}  // namespace

void PrintText(std::string_view text, bool lineEnd) {
  if (!Screen()) {
    ConsoleWrite(text);
    if (lineEnd) ConsoleWrite("\n");
    return;
  }
  if (text.empty() && !lineEnd) return;
  TextState* screen = GetTextState();
  if (!screen) return;
  // A screen narrower or shorter than one character has no cell: the text
  // goes nowhere.  The layout below needs at least one column and one row
  // in its view, or its wrapping and scrolling never end.
  if (screen->textColumns <= 0 || screen->textRows <= 0) return;

  TextScreen ts = BeginText(*screen);
  Layout layout{ts, screen->textCursor.column, screen->textCursor.row, {}};
  if (screen->scrollPending) {
    // The scroll held back at the end of the last call is made now.
    screen->scrollPending = 0;
    layout.NextRow();
    layout.ScrollIntoView();
  }
  for (char c : text) layout.Take(uint8_t(c));
  if (lineEnd) layout.Take('\n');
  layout.Flush();

  const int lastRow = screen->textView.lastRow;
  if (layout.column == 0 && layout.row == lastRow + 1) {
    // A line end on the last row keeps the picture still until more
    // output follows: park the cursor at the end of that row.
    screen->scrollPending = 1;
    layout.column = screen->textColumns - 1;
    layout.row = lastRow;
  } else {
    layout.ScrollIntoView();
  }
  screen->textCursor = {layout.column, layout.row};
  EndText(ts);
}

void DrawRun(int32_t column, int32_t row, const char* bytes, int32_t count) {
  TextState* screen = GetTextState();
  if (!screen || !bytes || count <= 0) return;
  if (column < 0 || column >= screen->textColumns || row < 0 || row >= screen->textRows) return;
  count = std::min(count, screen->textColumns - column);

  TextScreen ts = BeginText(*screen);
  UnsafeDrawRun(ts, column, row, reinterpret_cast<const uint8_t*>(bytes), count);
  EndText(ts);
}

void ScrollView(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t lines) {
  TextState* screen = GetTextState();
  if (!screen || lines <= 0) return;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, screen->textColumns - 1);
  bottom = std::min(bottom, screen->textRows - 1);
  if (left > right || top > bottom) return;

  TextScreen ts = BeginText(*screen);
  UnsafeScroll(ts, left, top, right, bottom, lines);
  EndText(ts);
}

void SetTextCursor(int32_t column, int32_t row) {
  TextState* screen = GetTextState();
  if (!screen) return;
  if (column > 0) screen->textCursor.column = CellIndex(column, screen->textColumns);
  if (row > 0) screen->textCursor.row = CellIndex(row, screen->textRows);
  screen->scrollPending = 0;
}

void GetTextCursor(int32_t* column, int32_t* row) {
  // Without a screen there is no text cursor: both read 0.
  const TextState* screen = GetTextState();
  if (column) *column = screen ? screen->textCursor.column + 1 : 0;
  if (row) *row = screen ? screen->textCursor.row + 1 : 0;
}

void SetTextView(int32_t firstRow, int32_t lastRow) {
  TextState* screen = GetTextState();
  if (!screen) return;
  int first = firstRow > 0 ? firstRow - 1 : screen->textView.firstRow;
  int last = lastRow > 0 ? lastRow - 1 : screen->textView.lastRow;
  if (first > last || last >= screen->textRows) return;
  screen->textView = {first, last};
  // A scroll held for the old view means nothing in the new one; a cursor
  // outside the new view starts again at its top.
  screen->scrollPending = 0;
  if (screen->textCursor.row < first || screen->textCursor.row > last)
    screen->textCursor = {0, first};
}

}  // namespace fb
