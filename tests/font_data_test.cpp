// Checks on the generated CP437 glyph tables that catch conversion faults:
// wrong bit order, rows flipped or shifted between glyphs, look-alike glyphs
// standing in for the real ones, missing glyphs, and box pieces from sources
// whose lines don't meet.
#include <fb/gfx/font_data.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

struct Font {
  const char* name;
  const unsigned char* data;
  int height;
};

const Font kFonts[] = {
    {"8x8", fb::kFont8x8, 8},
    {"8x14", fb::kFont8x14, 14},
    {"8x16", fb::kFont8x16, 16},
};

void PrintTo(const Font& f, std::ostream* os) { *os << f.name; }

unsigned row(const Font& f, int code, int y) { return f.data[code * f.height + y]; }
bool ink(const Font& f, int code, int x, int y) { return (row(f, code, y) >> x) & 1; }

int ink_count(const Font& f, int code) {
  int n = 0;
  for (int y = 0; y < f.height; ++y) n += std::popcount(row(f, code, y));
  return n;
}

// Inked rows of a glyph, top to bottom.
std::vector<int> inked_rows(const Font& f, int code) {
  std::vector<int> rows;
  for (int y = 0; y < f.height; ++y)
    if (row(f, code, y)) rows.push_back(y);
  return rows;
}

int lowest_x(unsigned r) { return std::countr_zero(r); }
int highest_x(unsigned r) { return std::bit_width(r) - 1; }

class FontData : public ::testing::TestWithParam<Font> {};

TEST_P(FontData, OnlyNullSpaceAndNoBreakSpaceAreBlank) {
  const Font& f = GetParam();
  for (int c = 0; c < 256; ++c) {
    const bool blank = c == 0 || c == 0x20 || c == 0xFF;
    EXPECT_EQ(ink_count(f, c) == 0, blank) << "code " << c;
  }
}

// A reduced source font reuses one glyph for look-alikes (single-line corner
// for the double one); two codes with the same picture means that slipped in.
TEST_P(FontData, NoTwoCodesShareAGlyph) {
  const Font& f = GetParam();
  std::map<std::string, int> seen;
  for (int c = 1; c < 256; ++c) {
    if (ink_count(f, c) == 0) continue;
    const std::string key(reinterpret_cast<const char*>(f.data + c * f.height), std::size_t(f.height));
    const auto [it, fresh] = seen.emplace(key, c);
    EXPECT_TRUE(fresh) << "code " << c << " has the glyph of code " << it->second;
  }
}

// Block elements pin the layout exactly: bit 0 is the leftmost pixel, rows
// run top to bottom, and the halves tile the cell without gap or overlap.
TEST_P(FontData, BlockElementsFillTheRightParts) {
  const Font& f = GetParam();
  for (int y = 0; y < f.height; ++y) {
    EXPECT_EQ(row(f, 0xDB, y), 0xFFu) << "full block, row " << y;
    EXPECT_EQ(row(f, 0xDD, y), 0x0Fu) << "left half, row " << y;
    EXPECT_EQ(row(f, 0xDE, y), 0xF0u) << "right half, row " << y;
    const unsigned top = row(f, 0xDF, y), bottom = row(f, 0xDC, y);
    EXPECT_TRUE((top == 0xFF && bottom == 0) || (top == 0 && bottom == 0xFF)) << "half blocks, row " << y;
  }
  EXPECT_EQ(row(f, 0xDF, 0), 0xFFu);
  EXPECT_EQ(row(f, 0xDC, f.height - 1), 0xFFu);
  const int upper_rows = ink_count(f, 0xDF) / 8;
  EXPECT_NEAR(upper_rows, f.height / 2, 1);
}

TEST_P(FontData, ShadesHaveQuarterHalfAndThreeQuarterInk) {
  const Font& f = GetParam();
  const double cell = 8.0 * f.height;
  EXPECT_NEAR(ink_count(f, 0xB0) / cell, 0.25, 0.07);
  EXPECT_NEAR(ink_count(f, 0xB1) / cell, 0.50, 0.07);
  EXPECT_NEAR(ink_count(f, 0xB2) / cell, 0.75, 0.07);
}

// 'L': stem on the left, foot at the bottom reaching right. A mirrored table
// puts the stem in the high bits; a flipped one puts the foot on top.
TEST_P(FontData, LetterLHasLeftStemAndFootAtBottom) {
  const Font& f = GetParam();
  const auto rows = inked_rows(f, 'L');
  ASSERT_GE(rows.size(), 5u);
  for (int y : rows) EXPECT_LE(lowest_x(row(f, 'L', y)), 2) << "row " << y;
  EXPECT_LE(highest_x(row(f, 'L', rows.front())), 3);
  EXPECT_GE(highest_x(row(f, 'L', rows.back())), 5);
}

// These glyphs are drawn symmetric about column 3 with column 7 as spacing,
// so a mirrored table (symmetric about 4) fails even though the letters look
// the same to the eye.
TEST_P(FontData, SymmetricLettersAreSymmetricAboutColumnThree) {
  const Font& f = GetParam();
  for (char c : std::string("AHOVX08")) {
    for (int y = 0; y < f.height; ++y) {
      EXPECT_FALSE(ink(f, c, 7, y)) << c << " row " << y;
      for (int x = 0; x < 3; ++x) EXPECT_EQ(ink(f, c, x, y), ink(f, c, 6 - x, y)) << c << " row " << y;
    }
  }
}

TEST_P(FontData, DescendersAndUnderscoreSitLow) {
  const Font& f = GetParam();
  const int baseline = inked_rows(f, 'o').back();
  for (char c : std::string("gjpqy")) EXPECT_GT(inked_rows(f, c).back(), baseline) << c;
  EXPECT_GT(inked_rows(f, '_').front(), baseline);
  EXPECT_LT(inked_rows(f, '^').front(), inked_rows(f, 'o').front());
}

// Box pieces must join their neighbours: every arm that reaches an edge does
// so on exactly the rows/columns of the plain line of its kind, and no other
// edge is touched. Arms per code: up, down, left, right; 1 single, 2 double.
TEST_P(FontData, BoxPiecesMeetTheirNeighbours) {
  struct Arms { int code, up, down, left, right; };
  const Arms kBox[] = {
      {0xB3, 1, 1, 0, 0}, {0xB4, 1, 1, 1, 0}, {0xB5, 1, 1, 2, 0}, {0xB6, 2, 2, 1, 0},
      {0xB7, 0, 2, 1, 0}, {0xB8, 0, 1, 2, 0}, {0xB9, 2, 2, 2, 0}, {0xBA, 2, 2, 0, 0},
      {0xBB, 0, 2, 2, 0}, {0xBC, 2, 0, 2, 0}, {0xBD, 2, 0, 1, 0}, {0xBE, 1, 0, 2, 0},
      {0xBF, 0, 1, 1, 0}, {0xC0, 1, 0, 0, 1}, {0xC1, 1, 0, 1, 1}, {0xC2, 0, 1, 1, 1},
      {0xC3, 1, 1, 0, 1}, {0xC4, 0, 0, 1, 1}, {0xC5, 1, 1, 1, 1}, {0xC6, 1, 1, 0, 2},
      {0xC7, 2, 2, 0, 1}, {0xC8, 2, 0, 0, 2}, {0xC9, 0, 2, 0, 2}, {0xCA, 2, 0, 2, 2},
      {0xCB, 0, 2, 2, 2}, {0xCC, 2, 2, 0, 2}, {0xCD, 0, 0, 2, 2}, {0xCE, 2, 2, 2, 2},
      {0xCF, 1, 0, 2, 2}, {0xD0, 2, 0, 1, 1}, {0xD1, 0, 1, 2, 2}, {0xD2, 0, 2, 1, 1},
      {0xD3, 2, 0, 0, 1}, {0xD4, 1, 0, 0, 2}, {0xD5, 0, 1, 0, 2}, {0xD6, 0, 2, 0, 1},
      {0xD7, 2, 2, 1, 1}, {0xD8, 1, 1, 2, 2}, {0xD9, 1, 0, 1, 0}, {0xDA, 0, 1, 0, 1},
  };
  const Font& f = GetParam();
  auto columns_at = [&](int code, int y) {
    std::set<int> s;
    for (int x = 0; x < 8; ++x) if (ink(f, code, x, y)) s.insert(x);
    return s;
  };
  auto rows_at = [&](int code, int x) {
    std::set<int> s;
    for (int y = 0; y < f.height; ++y) if (ink(f, code, x, y)) s.insert(y);
    return s;
  };
  const std::set<int> vertical[] = {{}, columns_at(0xB3, 0), columns_at(0xBA, 0)};
  const std::set<int> horizontal[] = {{}, rows_at(0xC4, 0), rows_at(0xCD, 0)};
  ASSERT_EQ(vertical[1].size(), 2u);
  ASSERT_EQ(vertical[2].size(), 4u);
  ASSERT_EQ(horizontal[1].size(), 1u);
  ASSERT_EQ(horizontal[2].size(), 2u);
  for (const Arms& b : kBox) {
    EXPECT_EQ(columns_at(b.code, 0), vertical[b.up]) << "top edge of " << b.code;
    EXPECT_EQ(columns_at(b.code, f.height - 1), vertical[b.down]) << "bottom edge of " << b.code;
    EXPECT_EQ(rows_at(b.code, 0), horizontal[b.left]) << "left edge of " << b.code;
    EXPECT_EQ(rows_at(b.code, 7), horizontal[b.right]) << "right edge of " << b.code;
  }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, FontData, ::testing::ValuesIn(kFonts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
