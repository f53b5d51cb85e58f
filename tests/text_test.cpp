// DrawText and the text screen (PrintText, DrawRun, ScrollView, cursor and
// view) on a windowless 1024 x 768 screen: 128 x 96 cells of 8 x 8.
#include <fb/gfx/text.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fb/gfx/blit.h>
#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/gfx/text_state.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include "test_screen.h"

namespace {

using namespace fb;

constexpr uint32_t BLACK = 0xFF000000, WHITE = 0xFFFFFFFF;
constexpr uint32_t PAPER = 0xFF203040;  // a picture for text to be drawn over
constexpr uint32_t GREEN = 0xFF00AA00;

uint32_t* Pixel(int x, int y) {
  ScreenContext* s = Screen();
  return reinterpret_cast<uint32_t*>(s->framebuffer + size_t(y) * size_t(s->pitch)) + x;
}

bool Ink(uint8_t code, int row, int column) {
  return (FONT_8X8.glyphs[code * 8 + row] >> column) & 1;
}

// The screen as text drawn over PAPER should leave it: each character's
// ink at x + 8i, y, wherever that lands on the screen.
std::vector<uint32_t> Expected(const std::string& text, int x, int y, uint32_t colour) {
  std::vector<uint32_t> picture(1024 * 768, PAPER);
  for (size_t i = 0; i < text.size(); ++i)
    for (int r = 0; r < 8; ++r)
      for (int k = 0; k < 8; ++k) {
        int px = x + int(i) * 8 + k, py = y + r;
        if (px >= 0 && px < 1024 && py >= 0 && py < 768 && Ink(uint8_t(text[i]), r, k))
          picture[size_t(py) * 1024 + size_t(px)] = colour;
      }
  return picture;
}

std::vector<uint32_t> ScreenPixels() { return {Pixel(0, 0), Pixel(0, 0) + 1024 * 768}; }

std::vector<int> DirtyRows() {
  std::vector<int> rows;
  for (int y = 0; y < 768; ++y)
    if (Screen()->dirtyRows[y]) rows.push_back(y);
  return rows;
}

class Text : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fbtest::OpenNullScreen(1024, 768, 32), 0); }
  void Paper() {
    std::fill_n(Pixel(0, 0), 1024 * 768, PAPER);
    std::memset(Screen()->dirtyRows, 0, 768);
  }
  fbtest::ScreenGuard guard;
};

TEST_F(Text, DrawTextInkOnlyAndClipped) {
  struct Case {
    const char* name;
    std::string text;
    float x, y;
    int px, py;  // where the first character lands
  } cases[] = {
      {"inside", "AB", 10, 10, 10, 10},
      {"rounded position", "AB", 10.5f, 2.4f, 11, 2},
      {"left edge", "AB", -4, 0, -4, 0},
      {"right edge", "AB", 1020, 0, 1020, 0},
      {"bottom edge", "AB", 0, 765, 0, 765},
      {"top-left corner", "Hello", -21, -5, -21, -5},
      {"long line across both sides", std::string(140, 'W') + "\x01\x03\xdb", -100, 300, -100, 300},
      {"all control codes", "\x01\x02\x03\x07\x08\x09\x0a\x0b\x0c\x0d\x1f\xb0\xc9", 0, 40, 0, 40},
      {"wholly left", "AB", -16, 0, -16, 0},
      {"wholly right", "AB", 1024, 0, 1024, 0},
      {"wholly above", "AB", 0, -8, 0, -8},
      {"wholly below", "AB", 0, 768, 0, 768},
  };
  for (const Case& c : cases) {
    Paper();
    EXPECT_EQ(DrawText(nullptr, c.x, c.y, CoordFlags::Absolute, c.text.c_str(), GREEN), 0);
    EXPECT_TRUE(ScreenPixels() == Expected(c.text, c.px, c.py, GREEN)) << c.name;
  }
}

TEST_F(Text, DrawTextColourResultAndRows) {
  Paper();
  // NoColor draws in the foreground, white here, whatever colour is passed.
  EXPECT_EQ(DrawText(nullptr, 0, 765, CoordFlags::Absolute | CoordFlags::NoColor, "\xdb", 0), 0);
  EXPECT_EQ(*Pixel(3, 766), WHITE);
  EXPECT_EQ(DirtyRows(), (std::vector<int>{765, 766, 767}));

  SetLastError(0);
  EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, nullptr, GREEN), 1);
  EXPECT_EQ(LastError(), 1);
  EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, "", GREEN), 0);
  EXPECT_EQ(LastError(), 0);

  // Relative to the last point: the first call leaves it at (0, 765).
  Paper();
  DrawText(nullptr, 100, -700, CoordFlags::Relative, "\xdb", GREEN);
  EXPECT_EQ(*Pixel(100, 65), GREEN);
}

TEST_F(Text, DrawTextOnAnImage) {
  Image* image = CreateImage(12, 5, BLACK, 32, 0);
  ASSERT_NE(image, nullptr);
  Paper();
  EXPECT_EQ(DrawText(image, 2, -1, CoordFlags::Absolute, "\xdb\xdb", GREEN), 0);
  const uint32_t* px = reinterpret_cast<const uint32_t*>(ImagePixels(image));
  const int pitch = int(image->pitch / 4);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < pitch; ++x) {
      bool ink = x >= 2 && x < 12 && Ink(0xdb, y + 1, (x - 2) % 8);
      EXPECT_EQ(px[y * pitch + x], ink ? GREEN : BLACK) << x << "," << y;
    }
  EXPECT_TRUE(ScreenPixels() == Expected("", 0, 0, GREEN));
  DestroyImage(image);
}

// A font image of three characters, 'A' 2 wide, 'B' 3 wide, 'C' 1 wide,
// with two glyph rows: every glyph pixel a colour of its own except one
// transparent pixel in 'B'.
Image* MakeFontImage() {
  Image* font = CreateImage(6, 3, 0, 32, 0);
  if (!font) return nullptr;
  auto* px = reinterpret_cast<uint32_t*>(ImagePixels(font));
  const uint8_t header[] = {0, 'A', 'C', 2, 3, 1};
  std::memcpy(px, header, sizeof header);
  const int pitch = int(font->pitch / 4);
  for (int y = 1; y < 3; ++y)
    for (int x = 0; x < 6; ++x) px[y * pitch + x] = 0xFF000000u | uint32_t(y << 8 | (x + 1));
  px[pitch + 3] = TRANSPARENT_FILL_32;
  return font;
}

// Where the glyph column gx, row gy of the font image lands for text
// placed at (x, y), given the column where its character starts.
uint32_t FontPixel(int gx, int gy) { return 0xFF000000u | uint32_t((gy + 1) << 8 | (gx + 1)); }

TEST_F(Text, DrawTextWithAFontImage) {
  Image* font = MakeFontImage();
  ASSERT_NE(font, nullptr);
  struct Case {
    const char* name;
    float x, y;
  } cases[] = {{"inside", 10, 20}, {"clipped top-left", -3, -1}, {"clipped right", 1020, 766}};
  // "AxBC": A from image column 0, x not in the font, B from 2, C from 5.
  const int glyphColumn[] = {0, 1, 2, 3, 4, 5};
  for (const Case& c : cases) {
    Paper();
    EXPECT_EQ(DrawText(nullptr, c.x, c.y, CoordFlags::Absolute, "AxBC", 0, font,
                       int32_t(PutMode::Blend), 0, 255),
              0)
        << c.name;
    std::vector<uint32_t> expected(1024 * 768, PAPER);
    for (int gx : glyphColumn)
      for (int gy = 0; gy < 2; ++gy) {
        int px = int(c.x) + gx, py = int(c.y) + gy;
        if (gx == 3 && gy == 0) continue;  // the transparent pixel
        if (px >= 0 && px < 1024 && py >= 0 && py < 768)
          expected[size_t(py) * 1024 + size_t(px)] = FontPixel(gx, gy);
      }
    EXPECT_TRUE(ScreenPixels() == expected) << c.name;
    EXPECT_EQ(GetDrawContext()->lastPoint.x, c.x) << c.name;
  }

  // Fonts that do not fit are refused before anything is drawn.
  auto* header = ImagePixels(font);
  struct Bad {
    const char* name;
    size_t offset;
    uint8_t value;
    int32_t mode;
  } bad[] = {
      {"first byte not 0", 0, 1, 9},   {"first after last", 1, 'D', 9},
      {"too wide", 5, 2, 9},           {"more codes than the header holds", 2, 'Z', 9},
      {"mode without a routine", 0, 0, 3},
  };
  for (const Bad& b : bad) {
    Paper();
    uint8_t saved = header[b.offset];
    header[b.offset] = b.value;
    EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, "ABC", 0, font, b.mode, 0, 255), 1)
        << b.name;
    EXPECT_EQ(LastError(), 1);
    header[b.offset] = saved;
    EXPECT_TRUE(ScreenPixels() == Expected("", 0, 0, 0)) << b.name;
  }
  DestroyImage(font);

  Image* font16 = CreateImage(8, 2, 0, 16, 0);  // not the screen's depth
  ASSERT_NE(font16, nullptr);
  std::memset(ImagePixels(font16), 0, 8);
  ImagePixels(font16)[1] = ImagePixels(font16)[2] = 'A';
  ImagePixels(font16)[3] = 1;
  EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, "A", 0, font16, 9, 0, 255), 1);
  DestroyImage(font16);
}

TEST(TextNoScreen, DrawTextAndPrintText) {
  CloseScreen();
  EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, "x", GREEN), 0);
  EXPECT_EQ(DrawText(nullptr, 0, 0, CoordFlags::Absolute, nullptr, GREEN), 1);
  testing::internal::CaptureStdout();
  PrintText("[ERROR] no screen");
  PrintText("a", false);
  PrintText("b", false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR] no screen\nab");
  DrawRun(0, 0, "x", 1);
  ScrollView(0, 0, 10, 10, 1);
  SetTextCursor(3, 3);
  int column = -1, row = -1;
  GetTextCursor(&column, &row);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 0);
}

// --- the text screen ---

// The text state belongs to the drawing code, which sets it up afresh for
// each newly opened screen: the grid follows the size, the cells are
// spaces in that depth's default colours, and nothing of the last
// screen's cursor, view or held scroll survives.
TEST(TextState, EachNewScreenStartsAfresh) {
  fbtest::ScreenGuard guard;
  struct Case {
    int width, height, depth, pages;
    int columns, rows;
    Color foreground, background;
  } cases[] = {{1024, 768, 32, 1, 128, 96, WHITE, BLACK},
               {100, 40, 16, 2, 12, 5, 0xFFFF, 0},
               {64, 64, 8, 3, 8, 8, 15, 0}};
  for (const Case& c : cases) {
    setenv("SCRDRIVER", "null", 1);
    ASSERT_EQ(SetScreenMode(c.width, c.height, c.depth, c.pages, 0, 0), 0);
    unsetenv("SCRDRIVER");
    TextState* t = GetTextState();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->textColumns, c.columns) << c.width;
    EXPECT_EQ(t->textRows, c.rows) << c.height;
    EXPECT_EQ(t->textView.firstRow, 0);
    EXPECT_EQ(t->textView.lastRow, c.rows - 1);
    EXPECT_EQ(t->textCursor.column, 0);
    EXPECT_EQ(t->textCursor.row, 0);
    EXPECT_EQ(t->scrollPending, 0);
    const TextCell last = t->PageCells(c.pages - 1)[c.columns * c.rows - 1];
    EXPECT_EQ(last.code, ' ');
    EXPECT_EQ(last.foreground, c.foreground) << c.depth;
    EXPECT_EQ(last.background, c.background) << c.depth;
    // Leave state behind for the next screen to discard.
    SetTextView(2, 3);  // rows 1..2; the cursor moves to row 1
    PrintText("x\n\n", false);
    ASSERT_EQ(t->scrollPending, 1);
    EXPECT_EQ(t->PageCells(0)[c.columns].code, 'x');
  }
}

std::string CellRow(int row, int columns = 128) {
  std::string s;
  const TextCell* cells = GetTextState()->PageCells(0) + size_t(row) * 128;
  for (int c = 0; c < columns; ++c) s += char(cells[c].code);
  return s;
}

struct Cursor {
  int column, row;  // 1-based
  bool operator==(const Cursor&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Cursor& c) {
  return os << "(" << c.column << ", " << c.row << ")";
}
Cursor GetCursor() {
  Cursor c{};
  GetTextCursor(&c.column, &c.row);
  return c;
}

// Checks that the cell at (column, row) shows code opaque in white on black.
void ExpectCellPixels(int column, int row, uint8_t code) {
  for (int r = 0; r < 8; ++r)
    for (int k = 0; k < 8; ++k)
      ASSERT_EQ(*Pixel(column * 8 + k, row * 8 + r), Ink(code, r, k) ? WHITE : BLACK)
          << "cell " << column << "," << row << " pixel " << k << "," << r;
}

TEST_F(Text, LayoutOfControlBytes) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> rows;  // expected cells from row 0, trimmed
    Cursor cursor;
  } cases[] = {
      {"plain", "abc", {"abc"}, {4, 1}},
      {"backspace", "abc\b\bX", {"aXc"}, {3, 1}},
      {"backspace at the edge", "\b\bX", {"X"}, {2, 1}},
      {"tab from 3", "abc\tX", {"abc     X"}, {10, 1}},
      {"tab from 8", "abcdefgh\tX", {"abcdefgh        X"}, {18, 1}},
      {"carriage return", "abc\rX", {"Xbc"}, {2, 1}},
      {"line feed", "ab\ncd", {"ab", "cd"}, {3, 2}},
      {"bell", "a\ab", {"ab"}, {3, 1}},
      {"11 and 12 are glyphs", "\x0b\x0c", {"\x0b\x0c"}, {3, 1}},
      {"wrap", std::string(130, 'w'), {std::string(128, 'w'), "ww"}, {3, 2}},
      {"a long run", std::string(1500, 'r'),
       {std::string(128, 'r'), std::string(128, 'r'), std::string(128, 'r'), std::string(128, 'r'),
        std::string(128, 'r'), std::string(128, 'r'), std::string(128, 'r'), std::string(128, 'r'),
        std::string(128, 'r'), std::string(128, 'r'), std::string(128, 'r'), std::string(92, 'r')},
       {93, 12}},
      {"a whole row", std::string(128, 'x'), {std::string(128, 'x')}, {1, 2}},
      {"tab at the right edge", std::string(126, '.') + "\tZ", {std::string(126, '.') + "  ", "Z"}, {2, 2}},
  };
  for (const Case& c : cases) {
    ClearScreen(0);
    PrintText(c.text, false);
    for (size_t r = 0; r < c.rows.size() + 1; ++r) {
      std::string expected = r < c.rows.size() ? c.rows[r] : "";
      expected.resize(128, ' ');
      EXPECT_EQ(CellRow(int(r)), expected) << c.name << ", row " << r;
    }
    EXPECT_EQ(GetCursor(), c.cursor) << c.name;
  }
}

TEST_F(Text, PrintedCellsAreOpaque) {
  Paper();
  PrintText("A B\xdb", false);
  ExpectCellPixels(0, 0, 'A');
  ExpectCellPixels(1, 0, ' ');  // the space covers its whole cell with black
  ExpectCellPixels(3, 0, 0xdb);
  EXPECT_EQ(*Pixel(32, 0), PAPER);  // the cell after is untouched
  EXPECT_EQ(DirtyRows(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  const TextCell& cell = GetTextState()->PageCells(0)[0];
  EXPECT_EQ(cell.code, 'A');
  EXPECT_EQ(cell.foreground, WHITE);
  EXPECT_EQ(cell.background, BLACK);
}

TEST_F(Text, LastRowHoldsItsScroll) {
  PrintText("top", false);
  SetTextCursor(1, 96);
  std::memset(Screen()->dirtyRows, 0, 768);
  PrintText("x");  // with a line end on the last row
  EXPECT_EQ(GetTextState()->scrollPending, 1);
  EXPECT_EQ(GetCursor(), (Cursor{128, 96}));
  ExpectCellPixels(0, 0, 't');  // nothing moved yet
  ExpectCellPixels(0, 95, 'x');
  EXPECT_EQ(DirtyRows().front(), 760);

  PrintText("y", false);
  EXPECT_EQ(GetTextState()->scrollPending, 0);
  ExpectCellPixels(0, 94, 'x');  // up by 8 pixel rows
  ExpectCellPixels(0, 95, 'y');
  ExpectCellPixels(0, 0, ' ');  // "top" scrolled off
  EXPECT_EQ(CellRow(94, 1), "x");
  EXPECT_EQ(CellRow(95, 2), "y ");
  EXPECT_EQ(GetCursor(), (Cursor{2, 96}));
  EXPECT_EQ(DirtyRows().size(), 768u);
}

TEST_F(Text, OutputBelowTheViewScrolls) {
  SetTextCursor(1, 95);
  // a and b on rows 94 and 95; c scrolls by one first; the two line ends
  // leave the cursor two rows below the view, which scrolls by two at once.
  PrintText("a\nb\nc\n\n", false);
  EXPECT_EQ(GetTextState()->scrollPending, 0);
  EXPECT_EQ(CellRow(91, 1), "a");
  EXPECT_EQ(CellRow(92, 1), "b");
  EXPECT_EQ(CellRow(93, 1), "c");
  EXPECT_EQ(CellRow(94, 1), " ");
  EXPECT_EQ(CellRow(95, 1), " ");
  EXPECT_EQ(GetCursor(), (Cursor{1, 96}));
  ExpectCellPixels(0, 92, 'b');

  // Far more line ends than the view has rows clear the whole view.
  PrintText(std::string(500, '\n') + "z", false);
  for (int r = 0; r < 95; ++r) EXPECT_EQ(CellRow(r), std::string(128, ' ')) << r;
  EXPECT_EQ(CellRow(95, 2), "z ");
}

TEST_F(Text, ScrollingKeepsToTheView) {
  SetTextView(3, 5);  // rows 2..4, 0-based
  EXPECT_EQ(GetCursor(), (Cursor{1, 3}));
  DrawRun(0, 0, "outside", 7);
  DrawRun(0, 5, "below", 5);
  PrintText("1\n2\n3\n4");
  EXPECT_EQ(CellRow(0, 7), "outside");
  EXPECT_EQ(CellRow(2, 1), "2");
  EXPECT_EQ(CellRow(3, 1), "3");
  EXPECT_EQ(CellRow(4, 1), "4");
  EXPECT_EQ(CellRow(5, 5), "below");
  EXPECT_EQ(GetTextState()->scrollPending, 1);
  ExpectCellPixels(0, 5, 'b');
  ExpectCellPixels(0, 2, '2');

  // An invalid view is refused.
  SetTextView(6, 4);
  SetTextView(1, 97);
  EXPECT_EQ(GetTextState()->textView.firstRow, 2);
  EXPECT_EQ(GetTextState()->textView.lastRow, 4);
}

TEST_F(Text, DrawRunAndScrollView) {
  Paper();
  DrawRun(2, 1, "ab", 2);
  ExpectCellPixels(2, 1, 'a');
  ExpectCellPixels(3, 1, 'b');
  DrawRun(126, 3, "wxyz", 4);  // cut at the right edge
  EXPECT_EQ(CellRow(3).substr(126), "wx");
  EXPECT_EQ(CellRow(4, 2), "  ");

  // The single 0xFF byte is the input cursor: one pixel row, cell unchanged.
  DrawRun(5, 5, "\xff", 1);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(*Pixel(40 + k, 47), WHITE);
    EXPECT_EQ(*Pixel(40 + k, 46), PAPER);
  }
  EXPECT_EQ(GetTextState()->PageCells(0)[5 * 128 + 5].code, ' ');

  ScrollView(0, 1, 127, 3, 2);  // rows 1..3 up by 2: row 3 to row 1
  EXPECT_EQ(CellRow(1).substr(126), "wx");
  EXPECT_EQ(CellRow(2), std::string(128, ' '));
  EXPECT_EQ(CellRow(3), std::string(128, ' '));
  ExpectCellPixels(126, 1, 'w');
  ExpectCellPixels(2, 3, ' ');
  EXPECT_EQ(GetCursor().row, 4);
  EXPECT_EQ(*Pixel(0, 32), PAPER);  // row 4 is outside the scroll
}

TEST_F(Text, PrintedLoneFFIsTheInputCursor) {
  // A piece of a run that is the single byte 0xFF marks the cell's bottom
  // pixel row in the foreground and leaves the rest of the cell, picture
  // and character, as it was.  Inside a longer piece it is glyph 255.
  struct Case {
    const char* name;
    std::string text;
    int column, row;  // the cell of the 0xFF byte
    uint8_t under;    // the character already in that cell
    Cursor cursor;
  } cases[] = {
      {"alone", "\xff", 0, 0, ' ', {2, 1}},
      {"over a character", "ab\r\xff", 0, 0, 'a', {2, 1}},
      {"the piece left after a wrap", std::string(128, 'x') + "\xff", 0, 1, ' ', {2, 2}},
  };
  for (const Case& c : cases) {
    ClearScreen(0);
    Paper();
    PrintText(c.text, false);
    for (int r = 0; r < 8; ++r)
      for (int k = 0; k < 8; ++k) {
        uint32_t expected = r == 7            ? WHITE
                            : c.under == ' '    ? PAPER
                            : Ink(c.under, r, k) ? WHITE
                                                 : BLACK;
        ASSERT_EQ(*Pixel(c.column * 8 + k, c.row * 8 + r), expected)
            << c.name << " pixel " << k << "," << r;
      }
    EXPECT_EQ(CellRow(c.row, 1), std::string(1, char(c.under))) << c.name;
    EXPECT_EQ(GetCursor(), c.cursor) << c.name;
  }

  ClearScreen(0);
  PrintText("a\xff", false);
  ExpectCellPixels(1, 0, 0xFF);
  EXPECT_EQ(GetTextState()->PageCells(0)[1].code, 0xFF);
}

// A screen narrower or shorter than one character has no text cell: text
// output goes nowhere and returns, draws nothing, and leaves the cursor
// on the cell grid (1-based 1 on an axis without cells).
TEST(TextTinyScreen, OutputGoesNowhere) {
  struct Size {
    int width, height;
    int columns, rows;
  } sizes[] = {{7, 100, 0, 12}, {100, 7, 12, 0}, {7, 7, 0, 0}, {1, 1, 0, 0}};
  // Every text operation, in an order that would take the layout through
  // wrapping, scrolling and a held scroll on a grid that had cells.
  auto everything = [] {
    PrintText("[ERROR] no room");
    PrintText(std::string(300, 'w') + "\t\b\r\xff", false);
    SetTextCursor(3, 4);
    PrintText("\n\n\n");
    SetTextView(1, 1);
    ScrollView(0, 0, 10, 10, 1);
    DrawRun(0, 0, "x", 1);
    PrintText("\xff", false);
  };
  for (const Size& size : sizes) {
    fbtest::ScreenGuard guard;
    ASSERT_EQ(fbtest::OpenNullScreen(size.width, size.height, 32), 0);
    ASSERT_EQ(GetTextState()->textColumns, size.columns);
    ASSERT_EQ(GetTextState()->textRows, size.rows);
    // In a child first: a call that never returns ends there by the alarm
    // and a crash ends only the child, so both fail this test alone.
    // (Where there are no children, a crash or hang fails the program.)
#if GTEST_HAS_DEATH_TEST
    EXPECT_EXIT(
        {
          alarm(20);
          everything();
          std::_Exit(0);
        },
        testing::ExitedWithCode(0), "")
        << size.width << " x " << size.height;
    if (HasFailure()) return;
#endif

    const size_t pixels = size_t(size.width) * size_t(size.height);
    auto* framebuffer = reinterpret_cast<uint32_t*>(Screen()->framebuffer);
    std::fill_n(framebuffer, pixels, PAPER);
    const TextView view = GetTextState()->textView;
    everything();
    EXPECT_TRUE(std::all_of(framebuffer, framebuffer + pixels,
                            [](uint32_t p) { return p == PAPER; }))
        << size.width << " x " << size.height;
    EXPECT_EQ(Screen()->lockCount, 0);
    if (size.rows == 0) {
      EXPECT_EQ(GetTextState()->textView.firstRow, view.firstRow);
      EXPECT_EQ(GetTextState()->textView.lastRow, view.lastRow);
    }
    // The cursor lies on the grid; SetTextCursor(3, 4) on an axis without
    // cells stays on 1.
    Cursor cursor = GetCursor();
    EXPECT_GE(cursor.column, 1);
    EXPECT_LE(cursor.column, std::max(size.columns, 1));
    EXPECT_GE(cursor.row, 1);
    EXPECT_LE(cursor.row, std::max(size.rows, 1));
    SetTextCursor(3, 4);
    EXPECT_EQ(GetCursor(), (Cursor{size.columns ? 3 : 1, size.rows ? 4 : 1}))
        << size.width << " x " << size.height;

    // Clearing keeps to the screen and to the grid as well.
    ClearScreen(2);
    ClearScreen(0);
    EXPECT_EQ(GetCursor().column, 1);
    EXPECT_GE(GetCursor().row, 1);
  }
}

TEST_F(Text, CursorOperations) {
  SetTextCursor(10, 20);
  EXPECT_EQ(GetCursor(), (Cursor{10, 20}));
  SetTextCursor(0, 5);  // column kept
  EXPECT_EQ(GetCursor(), (Cursor{10, 5}));
  SetTextCursor(7, -1);  // row kept
  EXPECT_EQ(GetCursor(), (Cursor{7, 5}));
  SetTextCursor(500, 500);  // past the grid: its last cell
  EXPECT_EQ(GetCursor(), (Cursor{128, 96}));

  SetTextCursor(1, 96);
  PrintText("held");
  ASSERT_EQ(GetTextState()->scrollPending, 1);
  SetTextCursor(1, 1);  // moving the cursor drops the held scroll
  EXPECT_EQ(GetTextState()->scrollPending, 0);
  PrintText("z", false);
  EXPECT_EQ(CellRow(95, 4), "held");
  EXPECT_EQ(CellRow(0, 1), "z");
}

}  // namespace
