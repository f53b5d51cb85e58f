#include <algorithm>

#include "context.h"
#include "../platform/console.h"
#include "../platform/screen.h"
#include "text.h"
#include "text_state.h"

namespace fb {

namespace {

void ResetCells(TextState& screen, const DrawContext& dc, int firstRow, int lastRow) {
  TextCell* cells = screen.PageCells(dc.workPage);
  firstRow = std::max(firstRow, 0);
  lastRow = std::min(lastRow, screen.textRows - 1);
  for (int row = firstRow; row <= lastRow; ++row)
    for (int col = 0; col < screen.textColumns; ++col)
      cells[size_t(row) * size_t(screen.textColumns) + size_t(col)] = {32, dc.foreground,
                                                                        dc.background};
}

}  // namespace

void ClearScreen(int32_t mode) {
  ScreenContext* screen = Screen();
  if (!screen) {
    ConsoleClear();
    return;
  }
  TextState* text = GetTextState();
  if (!text) return;
  DrawContext& dc = *GetDrawContext();
  SelectTarget(dc, nullptr);
  ChoosePixelRoutines(dc, dc.background);
  if (mode == CLEAR_DEFAULT)
    mode = text->textView.firstRow == 0 && text->textView.lastRow == text->textRows - 1 ? 0 : 2;
  const ClipRect& clip = dc.clip;

  ScreenLock();
  if (mode == 0) {
    dc.pixel.FillSpan(dc.rows[0], dc.background, size_t(screen->width) * size_t(screen->height));
    MarkDirtyRows(dc, 0, screen->height - 1);
    dc.lastPoint = {float(clip.x + clip.width / 2), float(clip.y + clip.height / 2)};
    ResetCells(*text, dc, 0, text->textRows - 1);
    text->textCursor = {0, text->textView.firstRow};
    text->scrollPending = 0;
  } else if (mode == 2) {
    int fontHeight = text->font->height;
    int first = std::max(text->textView.firstRow * fontHeight, 0);
    int last = std::min((text->textView.lastRow + 1) * fontHeight - 1, screen->height - 1);
    for (int y = first; y <= last; ++y) dc.pixel.FillSpan(dc.rows[size_t(y)], dc.background, size_t(screen->width));
    MarkDirtyRows(dc, first, last);
    ResetCells(*text, dc, text->textView.firstRow, text->textView.lastRow);
    text->textCursor = {0, text->textView.firstRow};
    text->scrollPending = 0;
  } else {
    for (int y = clip.y; y < clip.y + clip.height; ++y)
      dc.pixel.FillSpan(PixelAddress(dc, clip.x, y), dc.background, size_t(clip.width));
    MarkDirtyRows(dc, clip.y, clip.y + clip.height - 1);
    dc.lastPoint = {float(clip.x + clip.width / 2), float(clip.y + clip.height / 2)};
  }
  ScreenUnlock(1, 0);
}

}  // namespace fb
