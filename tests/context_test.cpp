#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/gfx/text_state.h>
#include <fb/platform/screen.h>
#include "test_screen.h"

using namespace fb;

namespace {

TEST(Context, RoundingHalvesAwayFromZero) {
  struct Case {
    float in;
    int out;
  } cases[] = {{10.5f, 11}, {-0.5f, -1}, {0.4f, 0},   {2.5f, 3},   {-2.5f, -3},
               {2.49f, 2},  {-0.4f, 0},  {0.0f, 0},   {1023.6f, 1024},
               // Just below a half must not round up through float addition.
               {0.49999997f, 0}, {-0.49999997f, 0}, {1e12f, 1000000000}, {-1e12f, -1000000000}};
  for (const Case& c : cases) EXPECT_EQ(RoundToPixel(c.in), c.out) << c.in;
  EXPECT_EQ(RoundToPixel(std::numeric_limits<float>::quiet_NaN()), -1000000000);
  EXPECT_EQ(RoundToPixel(std::numeric_limits<float>::infinity()), 1000000000);
}

TEST(Context, NoScreenNoContext) {
  CloseScreen();
  EXPECT_EQ(GetDrawContext(), nullptr);
  EXPECT_EQ(Screen(), nullptr);
}

TEST(Context, DefaultsPerDepthAndRebuildOnNewScreen) {
  fbtest::ScreenGuard guard;
  struct Case {
    int depth;
    Color foreground, background;
    int bpp;
  } cases[] = {{32, 0xFFFFFFFF, 0xFF000000, 4}, {24, 0xFFFFFFFF, 0xFF000000, 4},
               {16, 0xFFFF, 0, 2},              {15, 0xFFFF, 0, 2},
               {8, 15, 0, 1}};
  int32_t previousSerial = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(fbtest::OpenNullScreen(40, 30, c.depth), 0);
    DrawContext* dc = GetDrawContext();
    ASSERT_NE(dc, nullptr);
    EXPECT_GT(dc->modeSerial, previousSerial);
    previousSerial = dc->modeSerial;
    EXPECT_EQ(dc->foreground, c.foreground) << c.depth;
    EXPECT_EQ(dc->background, c.background) << c.depth;
    EXPECT_EQ(dc->bpp, c.bpp);
    EXPECT_EQ(dc->pitch, c.bpp * 40);
    EXPECT_EQ(dc->rows[29], Screen()->pages[0] + 29 * 40 * c.bpp);
  }
}

TEST(Context, SelectTargetKeepsTheScreenClip) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(100, 50, 32), 0);
  DrawContext* dc = GetDrawContext();
  Image* a = CreateImage(7, 9, 0, 32, -1);
  Image* b = CreateImage(3, 60, 0, 16, -1);  // taller than the screen
  SelectTarget(*dc, a);
  EXPECT_EQ(dc->clip.width, 7);
  EXPECT_EQ(dc->rows[8], ImagePixels(a) + 8 * a->pitch);
  SelectTarget(*dc, b);
  EXPECT_EQ(dc->bpp, 2);
  EXPECT_GE(dc->rows.size(), 60u);
  EXPECT_EQ(dc->rows[59], ImagePixels(b) + 59 * b->pitch);
  SelectTarget(*dc, nullptr);
  EXPECT_EQ(dc->clip.width, 100);
  EXPECT_EQ(dc->clip.height, 50);
  EXPECT_EQ(dc->bpp, 4);
  EXPECT_EQ(dc->rows[49], Screen()->framebuffer + 49 * 400);
  DestroyImage(a);
  DestroyImage(b);
}

TEST(Context, CoordFlags) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(100, 50, 32), 0);
  DrawContext& dc = *GetDrawContext();
  dc.lastPoint = {10, 20};
  float x = 1, y = 2;
  ApplyCoordFlags(dc, CoordFlags::Relative, x, y);
  EXPECT_EQ(x, 11);
  EXPECT_EQ(y, 22);
  x = 3, y = 4;
  ApplyCoordFlags(dc, CoordFlags::Absolute | CoordFlags::NoColor, x, y);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(dc.lastPoint.y, 4);

  // Two points: mode 3 moves the first by lastPoint and the second by the first.
  dc.lastPoint = {100, 200};
  float x1 = 1, y1 = 2, x2 = 5, y2 = 6;
  ApplyCoordFlags(dc, 3, x1, y1, x2, y2);
  EXPECT_EQ(x1, 101);
  EXPECT_EQ(y1, 202);
  EXPECT_EQ(x2, 106);
  EXPECT_EQ(y2, 208);
  EXPECT_EQ(dc.lastPoint.x, 106);
  EXPECT_EQ(dc.lastPoint.y, 208);

  EXPECT_EQ(ChooseColor(dc, CoordFlags::NoColor, 0x123456), 0xFFFFFFFFu);
  EXPECT_EQ(ChooseColor(dc, CoordFlags::NoColor, 0x123456, true), 0xFF000000u);
  EXPECT_EQ(ChooseColor(dc, 4, 0x00123456), 0x00123456u);
}

TEST(Context, AlphaPrimitivesBlendOnlyTranslucentColours) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(8, 2, 32, SCREEN_ALPHA_PRIMITIVES), 0);
  DrawContext& dc = *GetDrawContext();
  SelectTarget(dc, nullptr);
  uint32_t* row = reinterpret_cast<uint32_t*>(dc.rows[0]);
  row[0] = 0xFF204060;
  ChoosePixelRoutines(dc, 0x80FF0000);
  dc.pixel.PutPixel(dc, 0, 0, 0x80FF0000);
  // Each colour byte moves by floor((c - d) * 128 / 256); alpha becomes 0x80.
  EXPECT_EQ(row[0], 0x808F2030u);
  ChoosePixelRoutines(dc, 0xFF00FF00);
  dc.pixel.PutPixel(dc, 1, 0, 0xFF00FF00);
  EXPECT_EQ(row[1], 0xFF00FF00u);
}

TEST(ClearScreen, DefaultClearsEverything) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(1024, 768, 32), 0);
  ScreenContext* s = Screen();
  TextState* t = GetTextState();
  std::memset(s->framebuffer, 0x5A, size_t(s->pitch) * 768);
  t->PageCells(0)[5] = {'Q', 1, 2};
  t->textCursor = {7, 9};
  t->scrollPending = 1;
  ClearScreen();
  const uint32_t* px = reinterpret_cast<const uint32_t*>(s->framebuffer);
  for (size_t i = 0; i < 1024u * 768u; ++i) ASSERT_EQ(px[i], 0xFF000000u) << i;
  for (int y = 0; y < 768; ++y) ASSERT_EQ(s->dirtyRows[y], 1) << y;
  DrawContext* dc = GetDrawContext();
  EXPECT_EQ(dc->lastPoint.x, 512);
  EXPECT_EQ(dc->lastPoint.y, 384);
  EXPECT_EQ(t->PageCells(0)[5].code, 32);
  EXPECT_EQ(t->PageCells(0)[5].foreground, 0xFFFFFFFFu);
  EXPECT_EQ(t->textCursor.column, 0);
  EXPECT_EQ(t->textCursor.row, 0);
  EXPECT_EQ(t->scrollPending, 0);
  EXPECT_EQ(s->lockCount, 0);
}

TEST(ClearScreen, TextViewModeClearsOnlyItsRows) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(64, 64, 32), 0);  // 8 text rows
  ScreenContext* s = Screen();
  TextState* t = GetTextState();
  std::memset(s->framebuffer, 0x5A, size_t(s->pitch) * 64);
  t->textView = {2, 4};
  DrawContext* dc = GetDrawContext();
  dc->lastPoint = {3, 3};
  ClearScreen();  // the view is not the whole screen: mode 2
  const uint32_t* px = reinterpret_cast<const uint32_t*>(s->framebuffer);
  for (int y = 0; y < 64; ++y) {
    bool inView = y >= 16 && y <= 39;
    EXPECT_EQ(px[y * 64 + 10], inView ? 0xFF000000u : 0x5A5A5A5Au) << y;
    EXPECT_EQ(s->dirtyRows[y], inView ? 1 : 0) << y;
  }
  EXPECT_EQ(t->textCursor.row, 2);
  EXPECT_EQ(dc->lastPoint.x, 3);  // kept

  std::memset(s->dirtyRows, 0, 64);
  ClearScreen(1);  // the clip rectangle: the whole screen, cells untouched
  EXPECT_EQ(px[0], 0xFF000000u);
  EXPECT_EQ(s->dirtyRows[63], 1);
  EXPECT_EQ(dc->lastPoint.x, 32);
}

}  // namespace
