// Text: the built-in code page 437 fonts, DrawText at pixel positions, and
// PrintText, the text screen with its cells, cursor, wrapping and
// scrolling.  Program's thread; screen writes happen under the screen lock.
#pragma once
#include <cstdint>
#include <string_view>

#include "color.h"
#include "image.h"

namespace fb {

// A bitmap font: glyph c starts at byte c * height * ((width + 7) / 8);
// in each row byte, bit k is pixel column k (bit 0 leftmost).
struct Font {
  int32_t width;
  int32_t height;
  const uint8_t* glyphs;  // 256 glyphs
};

extern const Font FONT_8X8;
extern const Font FONT_8X14;
extern const Font FONT_8X16;

// Draws text (bytes, no line breaks) with its first character's top-left
// corner at (x, y): set glyph bits in colour, clear bits untouched.
// font nullptr is the screen's built-in font; otherwise a font image (its
// first row a header of first/last code and widths) drawn with the blit
// routine of mode.  Returns 1 for an absent text or an unusable font
// image, else 0 (also with no screen open).
int32_t DrawText(Image* target, float x, float y, int32_t coordFlags, const char* text,
                 Color colour, Image* font = nullptr, int32_t mode = 0, int32_t blitter = 0,
                 int32_t alpha = 0, int32_t param = 0);

// Writes text at the text cursor of the screen (foreground on background,
// wrapping and scrolling the text view), followed by a line end when
// lineEnd is set.  Without a screen it writes to standard output.
void PrintText(std::string_view text, bool lineEnd = true);

// Text screen operations the layout uses; rows and columns 0-based here.
void DrawRun(int32_t column, int32_t row, const char* bytes, int32_t count);
void ScrollView(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t lines);

// Cursor and view, 1-based; a non-positive value keeps that coordinate.
void SetTextCursor(int32_t column, int32_t row);
void GetTextCursor(int32_t* column, int32_t* row);
void SetTextView(int32_t firstRow, int32_t lastRow);

}  // namespace fb
