#include <algorithm>

#include "context.h"
#include "../platform/console.h"
#include "../platform/screen.h"
#include "text.h"

namespace fb {

namespace {

void ResetCells(const ScreenContext& screen, const DrawContext& dc, int firstRow, int lastRow) {
  TextCell* cells = screen.textCells ? screen.textCells[dc.workPage] : nullptr;
  if (!cells) return;
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
  DrawContext& dc = *GetDrawContext();
  SelectTarget(dc, nullptr);
  ChoosePixelRoutines(dc, dc.background);
  if (mode == CLEAR_DEFAULT)
    mode = screen->textView.firstRow == 0 && screen->textView.lastRow == screen->textRows - 1 ? 0 : 2;
  const ClipRect& clip = dc.clip;

  ScreenLock();
  if (mode == 0) {
    dc.pixel.FillSpan(dc.rows[0], dc.background, size_t(screen->width) * size_t(screen->height));
    MarkDirtyRows(dc, 0, screen->height - 1);
    dc.lastPoint = {float(clip.x + clip.width / 2), float(clip.y + clip.height / 2)};
    ResetCells(*screen, dc, 0, screen->textRows - 1);
    screen->textCursor = {0, screen->textView.firstRow};
    screen->scrollPending = 0;
  } else if (mode == 2) {
    int fontHeight = screen->font ? screen->font->height : 8;
    int first = std::max(screen->textView.firstRow * fontHeight, 0);
    int last = std::min((screen->textView.lastRow + 1) * fontHeight - 1, screen->height - 1);
    for (int y = first; y <= last; ++y) dc.pixel.FillSpan(dc.rows[size_t(y)], dc.background, size_t(screen->width));
    MarkDirtyRows(dc, first, last);
    ResetCells(*screen, dc, screen->textView.firstRow, screen->textView.lastRow);
    screen->textCursor = {0, screen->textView.firstRow};
    screen->scrollPending = 0;
  } else {
    for (int y = clip.y; y < clip.y + clip.height; ++y)
      dc.pixel.FillSpan(PixelAddress(dc, clip.x, y), dc.background, size_t(clip.width));
    MarkDirtyRows(dc, clip.y, clip.y + clip.height - 1);
    dc.lastPoint = {float(clip.x + clip.width / 2), float(clip.y + clip.height / 2)};
  }
  ScreenUnlock(1, 0);
}

}  // namespace fb
