// Pixels, lines, boxes and circles: exact pixel sets on a windowless screen.
#include <fb/gfx/primitives.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/platform/screen.h>
#include "test_screen.h"

namespace {

using namespace fb;
using Pixels = std::set<std::pair<int, int>>;

constexpr Color BLACK = 0xFF000000;
constexpr Color INK = 0xFF12AB34;

uint32_t At(int x, int y) {
  const ScreenContext* s = Screen();
  return reinterpret_cast<const uint32_t*>(s->framebuffer + size_t(y) * size_t(s->pitch))[x];
}

// Every screen pixel that no longer holds the opaque black it opened with.
Pixels Drawn() {
  Pixels out;
  const ScreenContext* s = Screen();
  for (int y = 0; y < s->height; ++y)
    for (int x = 0; x < s->width; ++x)
      if (At(x, y) != BLACK) out.insert({x, y});
  return out;
}

std::vector<int> DirtyRows() {
  std::vector<int> rows;
  const ScreenContext* s = Screen();
  for (int y = 0; y < s->height; ++y)
    if (s->dirtyRows[y]) rows.push_back(y);
  return rows;
}

class Primitives : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fbtest::OpenNullScreen(1024, 768, 32), 0); }
  void Clean() {
    ScreenContext* s = Screen();
    std::fill_n(reinterpret_cast<uint32_t*>(s->framebuffer), size_t(s->width) * s->height, BLACK);
    std::memset(s->dirtyRows, 0, size_t(s->height));
  }
  fbtest::ScreenGuard guard;
};

TEST_F(Primitives, SetPixelRoundsAndClips) {
  struct Case {
    float x, y;
    Pixels expected;
  } cases[] = {
      {1023.6f, 0, {}},  // rounds to 1024, one past the edge
      {-0.4f, 0, {{0, 0}}},
      {-0.5f, 3, {}},  // halves round away from zero: -1
      {10.5f, 2.49f, {{11, 2}}},
      {1023.4f, 767.4f, {{1023, 767}}},
  };
  for (const Case& c : cases) {
    Clean();
    SetPixel(nullptr, c.x, c.y, INK, CoordFlags::Absolute);
    EXPECT_EQ(Drawn(), c.expected) << c.x << "," << c.y;
  }
}

TEST_F(Primitives, SetPixelColourChoiceAndDirtyRow) {
  Clean();
  SetPixel(nullptr, 5, 7, 0x00123456, CoordFlags::Absolute);
  EXPECT_EQ(At(5, 7), 0x00123456u);  // written as given, alpha byte included
  EXPECT_EQ(DirtyRows(), std::vector<int>{7});

  SetPixel(nullptr, 6, 7, 0x00123456, CoordFlags::Absolute | CoordFlags::NoColor);
  EXPECT_EQ(At(6, 7), 0xFFFFFFFFu);
  SetPixel(nullptr, 6, 7, 0x00123456, CoordFlags::Absolute | CoordFlags::NoColor, 1);
  EXPECT_EQ(At(6, 7), BLACK);
  // The background switch means nothing without NoColor.
  SetPixel(nullptr, 6, 7, INK, CoordFlags::Absolute, 1);
  EXPECT_EQ(At(6, 7), INK);
  // Relative to the last point, (6, 7).
  SetPixel(nullptr, 2, 1, INK, CoordFlags::Relative);
  EXPECT_EQ(At(8, 8), INK);
}

// SetPixel writes an opaque pixel inside the 32-bit screen by a direct
// way of its own; relative to a lastPoint of (0, 0) the same pixel takes
// the common steps.  Pixels, dirty rows, lastPoint and the lock count must
// agree, at the edges where the direct way ends and beyond them.
TEST_F(Primitives, SetPixelDirectWayAgreesWithTheCommonSteps) {
  const float below = std::nextafter(0.5f, 0.0f), last = std::nextafter(1023.5f, 0.0f);
  const float xs[] = {0.5f, below, 10.5f, 1022.5f, last, 1023.5f, -3, NAN, 3e9f};
  const float ys[] = {0.5f, below, 2.49f, std::nextafter(767.5f, 0.0f), 767.5f};
  for (bool locked : {false, true})
    for (bool imageBefore : {false, true})
      for (float x : xs)
        for (float y : ys) {
          SCOPED_TRACE(testing::Message() << "at " << x << "," << y << (locked ? " locked" : "")
                                          << (imageBefore ? " after an image" : ""));
          std::vector<uint8_t> pixels[2], dirty[2];
          PointF lastPoint[2];
          int32_t lockCount[2];
          for (int way = 0; way < 2; ++way) {
            Clean();
            Image* image = imageBefore ? CreateImage(3, 3, 0, 32, -1) : nullptr;
            GetDrawContext()->lastPoint = {0, 0};
            if (locked) ScreenLock();
            SetPixel(nullptr, x, y, 0x00C0FFEE,
                     way == 0 ? CoordFlags::Absolute : CoordFlags::Relative);
            const ScreenContext* s = Screen();
            pixels[way].assign(s->framebuffer, s->framebuffer + size_t(s->pitch) * s->height);
            dirty[way].assign(s->dirtyRows, s->dirtyRows + s->height);
            lastPoint[way] = GetDrawContext()->lastPoint;
            lockCount[way] = s->lockCount;
            if (locked) ScreenUnlock(1, 0);
            DestroyImage(image);
          }
          EXPECT_EQ(dirty[0], dirty[1]);
          EXPECT_EQ(std::memcmp(&lastPoint[0], &lastPoint[1], sizeof(PointF)), 0);
          EXPECT_EQ(lockCount[0], lockCount[1]);
          ASSERT_EQ(pixels[0], pixels[1]);
        }
}

// SetPixel's direct way after SetScreenMode opened another screen, of
// another size: from the first call on (the context still describes the
// screen before) each pixel lands on the new screen and marks its row
// there.  The points lie beyond the old screen's rows or columns as well.
TEST_F(Primitives, SetPixelDirectWayFollowsANewScreen) {
  struct Next {
    int width, height;
    bool locked;
  };
  const Next screens[] = {{64, 48, false}, {40, 100, true}, {100, 20, false}, {30, 90, true}};
  SetPixel(nullptr, 5, 5, INK, CoordFlags::Absolute);  // the direct way ready on the first screen
  for (const Next& n : screens) {
    SCOPED_TRACE(testing::Message() << n.width << "x" << n.height << (n.locked ? " locked" : ""));
    ASSERT_EQ(fbtest::OpenNullScreen(n.width, n.height, 32), 0);
    Clean();
    if (n.locked) ScreenLock();
    const int right = n.width - 2, bottom = n.height - 2;
    const Pixels points = {{right, bottom}, {1, 1}, {right, 1}, {1, bottom}};
    for (const auto& [x, y] : points) {
      SetPixel(nullptr, float(x), float(y), INK, CoordFlags::Absolute);
      ASSERT_EQ(GetDrawContext()->directSerial, Screen()->modeSerial);
    }
    if (n.locked) ScreenUnlock(1, 0);
    EXPECT_EQ(Drawn(), points);
    EXPECT_EQ(DirtyRows(), (std::vector<int>{1, bottom}));
  }
}

struct LineCase {
  const char* name;
  float x1, y1, x2, y2;
  uint32_t style;
  Pixels expected;
};

Pixels Row(int y, std::initializer_list<int> xs) {
  Pixels p;
  for (int x : xs) p.insert({x, y});
  return p;
}
Pixels RowRange(int y, int x1, int x2) {
  Pixels p;
  for (int x = x1; x <= x2; ++x) p.insert({x, y});
  return p;
}

TEST_F(Primitives, LinePixelSets) {
  const LineCase cases[] = {
      {"shallow", 0, 0, 3, 1, 0xFFFF, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {"shallow reversed", 3, 1, 0, 0, 0xFFFF, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {"steep", 0, 0, 1, 3, 0xFFFF, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
      {"diagonal styled", 0, 0, 4, 4, 0xA000, {{0, 0}, {2, 2}}},
      {"point", 4, 4, 4, 4, 0xFFFF, {{4, 4}}},
      // The pattern starts at the first end given, whichever way it runs.
      {"styled right", 0, 0, 7, 0, 0xAAAA, Row(0, {0, 2, 4, 6})},
      {"styled left", 7, 0, 0, 0, 0xAAAA, Row(0, {7, 5, 3, 1})},
      {"styled down", 0, 0, 0, 7, 0xAAAA, {{0, 0}, {0, 2}, {0, 4}, {0, 6}}},
      {"styled up", 0, 7, 0, 0, 0xAAAA, {{0, 7}, {0, 5}, {0, 3}, {0, 1}}},
      // 20 positions: the bit wraps from 0x0001 back to 0x8000 at the 17th.
      {"wrapping right", 0, 0, 19, 0, 0x8001, Row(0, {0, 15, 16})},
      {"wrapping left", 19, 0, 0, 0, 0x8001, Row(0, {19, 4, 3})},
      {"style uses low 16 bits", 0, 0, 3, 0, 0x7FFF0000 | 0x9000, Row(0, {0, 3})},
      {"clipped left", -10, 5, 10, 5, 0xFFFF, RowRange(5, 0, 10)},
      {"clipped right", 1020, 5, 1030, 5, 0xFFFF, RowRange(5, 1020, 1023)},
      {"wholly outside", -10, -10, -1, -1, 0xFFFF, {}},
      {"through the corner", -5, -5, 5, 5, 0xFFFF,
       {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
      {"out the far corner", 1019, 763, 1030, 774, 0xFFFF,
       {{1019, 763}, {1020, 764}, {1021, 765}, {1022, 766}, {1023, 767}}},
      {"past the corner", -5, 3, 3, -5, 0xFFFF, {}},
      {"clipping the corner", -2, 3, 3, -2, 0xFFFF, {{0, 1}, {1, 0}}},
      {"clipped vertical", 3, -100, 3, 2, 0xFFFF, {{3, 0}, {3, 1}, {3, 2}}},
  };
  for (const LineCase& c : cases) {
    Clean();
    DrawLine(nullptr, c.x1, c.y1, c.x2, c.y2, INK, BOX_MODE_LINE, int32_t(c.style), 0);
    EXPECT_EQ(Drawn(), c.expected) << c.name;
  }
}

TEST_F(Primitives, LineMarksItsRowsAndLastPoint) {
  Clean();
  DrawLine(nullptr, 10, 20, 40, 12, INK, BOX_MODE_LINE, LINE_STYLE_SOLID, 0);
  std::vector<int> rows;
  for (int y = 12; y <= 20; ++y) rows.push_back(y);
  EXPECT_EQ(DirtyRows(), rows);
  EXPECT_EQ(GetDrawContext()->lastPoint.x, 40.0f);
  EXPECT_EQ(GetDrawContext()->lastPoint.y, 12.0f);

  // Mode 1: the second point is relative to the first.
  Clean();
  DrawLine(nullptr, 2, 2, 3, 0, INK, BOX_MODE_LINE, LINE_STYLE_SOLID, 1);
  EXPECT_EQ(Drawn(), RowRange(2, 2, 5));

  // A clipped-away line is dropped without marking anything.
  Clean();
  DrawLine(nullptr, -10, -10, -1, -1, INK, BOX_MODE_LINE, LINE_STYLE_SOLID, 0);
  EXPECT_TRUE(DirtyRows().empty());
}

Pixels Rect(int x1, int y1, int x2, int y2) {
  Pixels p;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) p.insert({x, y});
  return p;
}

TEST_F(Primitives, FilledBoxes) {
  Clean();
  DrawLine(nullptr, 10, 10, 5, 5, INK, BOX_MODE_FILLED, 0x1234, 0);  // style ignored
  EXPECT_EQ(Drawn(), Rect(5, 5, 10, 10));
  EXPECT_EQ(DirtyRows(), (std::vector<int>{5, 6, 7, 8, 9, 10}));

  Clean();
  DrawLine(nullptr, -5, -5, 1023 + 5, 2, INK, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
  EXPECT_EQ(Drawn(), Rect(0, 0, 1023, 2));

  Clean();
  DrawLine(nullptr, 1024, 0, 2000, 10, INK, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
  EXPECT_TRUE(Drawn().empty());
  EXPECT_TRUE(DirtyRows().empty());
}

// The outline's style, worked out independently: walk the four edges
// whole in their order, bottom, top, right, left, taking style bit
// 15 - (i mod 16) for the i-th position, and keep what is on the screen.
Pixels StyledOutline(int x1, int y1, int x2, int y2, uint32_t style) {
  std::vector<std::pair<int, int>> walk;
  for (int x = x1; x <= x2; ++x) walk.push_back({x, y2});
  for (int x = x1; x <= x2; ++x) walk.push_back({x, y1});
  for (int y = y1; y <= y2; ++y) walk.push_back({x2, y});
  for (int y = y1; y <= y2; ++y) walk.push_back({x1, y});
  Pixels p;
  for (size_t i = 0; i < walk.size(); ++i) {
    auto [x, y] = walk[i];
    if ((style >> (15 - i % 16)) & 1 && x >= 0 && y >= 0 && x < 1024 && y < 768) p.insert({x, y});
  }
  return p;
}

TEST_F(Primitives, BoxOutlines) {
  Clean();
  DrawLine(nullptr, 0, 0, 3, 2, INK, BOX_MODE_OUTLINE, LINE_STYLE_SOLID, 0);
  Pixels border = Rect(0, 0, 3, 2);
  border.erase({1, 1});
  border.erase({2, 1});
  EXPECT_EQ(Drawn(), border);

  struct Case {
    const char* name;
    int x1, y1, x2, y2;
    uint32_t style;
  } cases[] = {
      {"small, regular style", 0, 0, 3, 2, 0xAAAA},
      {"style across edges", 10, 10, 16, 13, 0xF0C3},
      {"reversed corners", 16, 13, 10, 10, 0xE4D1},
      {"top and left clipped away", -3, -2, 5, 4, 0xF0C3},
      {"all sides clipped", -7, -5, 1030, 770, 0xCE21},
      {"bottom right clipped", 1015, 760, 1030, 775, 0x9D37},
  };
  for (const Case& c : cases) {
    Clean();
    DrawLine(nullptr, float(c.x1), float(c.y1), float(c.x2), float(c.y2), INK, BOX_MODE_OUTLINE,
             int32_t(c.style), 0);
    EXPECT_EQ(Drawn(), StyledOutline(std::min(c.x1, c.x2), std::min(c.y1, c.y2),
                                     std::max(c.x1, c.x2), std::max(c.y1, c.y2), c.style))
        << c.name;
  }
}

TEST_F(Primitives, CircleShapes) {
  struct Case {
    const char* name;
    float radius, aspect;
    int32_t fill;
    Pixels expected;  // relative to the centre (10, 10)
  } cases[] = {
      {"radius 0", 0, 1, 1, {}},
      {"negative radius", -1, 1, 1, {}},
      {"radius 1 filled", 1, 1, 1, {{-1, 0}, {0, 0}, {1, 0}, {0, -1}, {0, 1}}},
      {"radius 1 default aspect", 1, 0, -1, {{-1, 0}, {0, 0}, {1, 0}, {0, -1}, {0, 1}}},
      {"radius 1 outline", 1, 1, 0, {{-1, 0}, {1, 0}, {0, -1}, {0, 1}}},
      // rx 1.25, ry 2.5: the scan gives rows -2..2 over columns -2..1
      // (truncation of 8.75 and 11.25), then rows +-3 over -1..0.
      {"radius 2.5 aspect 2", 2.5f, 2, 1, {}},
      {"flat", 3, 0.1f, 0, {{-3, 0}, {-2, 0}, {-1, 0}, {0, 0}, {1, 0}, {2, 0}, {3, 0}}},
  };
  for (int y = -2; y <= 2; ++y)
    for (int x = -2; x <= 1; ++x) cases[5].expected.insert({x, y});
  for (int y : {-3, 3})
    for (int x : {-1, 0}) cases[5].expected.insert({x, y});

  for (const Case& c : cases) {
    Clean();
    DrawCircle(nullptr, 10, 10, c.radius, INK, c.aspect, 0, FULL_CIRCLE, c.fill,
               CoordFlags::Absolute);
    Pixels expected;
    for (auto [x, y] : c.expected) expected.insert({10 + x, 10 + y});
    EXPECT_EQ(Drawn(), expected) << c.name;
  }
}

TEST_F(Primitives, CircleMarksEveryRowItWrites) {
  Clean();
  DrawCircle(nullptr, 10, 10, 2.5f, INK, 2, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  // The scan reaches rows 7..13, one further than the radius 2.5.
  EXPECT_EQ(DirtyRows(), (std::vector<int>{7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(GetDrawContext()->lastPoint.x, 10.0f);
}

TEST_F(Primitives, CircleClippedAtTheEdges) {
  Clean();
  DrawCircle(nullptr, 0, 0, 1, INK, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  EXPECT_EQ(Drawn(), (Pixels{{0, 0}, {1, 0}, {0, 1}}));
  Clean();
  DrawCircle(nullptr, 1023, 767, 40, INK, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  Pixels drawn = Drawn();
  EXPECT_TRUE(drawn.count({1023, 767}) && drawn.count({1000, 767}) && drawn.count({1023, 740}));
  Clean();
  DrawCircle(nullptr, -50, 300, 20, INK, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(Primitives, ArcsAndRadiusLines) {
  // A quarter from angle 0 (right) to pi/2 (up), radius 10, centre (100, 100).
  Clean();
  DrawCircle(nullptr, 100, 100, 10, INK, 1, 0, 1.5707964f, 0, CoordFlags::Absolute);
  Pixels arc = Drawn();
  EXPECT_TRUE(arc.count({110, 100}));
  EXPECT_TRUE(arc.count({100, 90}));
  for (auto [x, y] : arc) {
    EXPECT_TRUE(x >= 100 && x <= 110 && y >= 90 && y <= 100) << x << "," << y;
    int dx = x - 100, dy = y - 100;
    EXPECT_NEAR(dx * dx + dy * dy, 100, 20) << x << "," << y;
  }
  EXPECT_GE(arc.size(), 14u);  // no gaps along 15.7 pixels of arc
  EXPECT_EQ(DirtyRows().front(), 90);
  EXPECT_EQ(DirtyRows().back(), 100);

  // A negative start draws the radius to it: the vertical line up.
  Clean();
  DrawCircle(nullptr, 100, 100, 10, INK, 1, -1.5707964f, 3.1415927f, 0, CoordFlags::Absolute);
  Pixels withRadius = Drawn();
  for (int y = 90; y <= 100; ++y) EXPECT_TRUE(withRadius.count({100, y})) << y;
  EXPECT_TRUE(withRadius.count({90, 100}));  // the arc's end at pi, on the left
  EXPECT_FALSE(withRadius.count({110, 100}));

  // An end before the start wraps round a turn; absurd angles give up
  // instead of looping.
  Clean();
  DrawCircle(nullptr, 100, 100, 10, INK, 1, 1.5707964f, 0, 0, CoordFlags::Absolute);
  EXPECT_TRUE(Drawn().count({90, 100}));  // passes through pi
  Clean();
  DrawCircle(nullptr, 100, 100, 10, INK, 1, 1e30f, 0, 0, CoordFlags::Absolute);
  DrawCircle(nullptr, 100, 100, 1e30f, INK, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(Primitives, DrawingOnImages) {
  // 5 pixels of 4 bytes: a 32-byte pitch whose last 3 units are padding.
  Image* image = CreateImage(5, 3, 0, 32, 0);
  ASSERT_NE(image, nullptr);
  Clean();
  DrawLine(image, -5, -5, 100, 100, INK, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
  DrawCircle(image, 4, 2, 3, 0x00ABCDEF, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  SetPixel(image, 0, 0, 0x11111111, CoordFlags::Absolute);
  DrawLine(image, -3, 1, 9, 1, 0x22222222, BOX_MODE_LINE, LINE_STYLE_SOLID, 0);
  const uint32_t* px = reinterpret_cast<const uint32_t*>(ImagePixels(image));
  EXPECT_EQ(px[0], 0x11111111u);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(px[8 + x], 0x22222222u);
  EXPECT_EQ(px[16 + 4], 0x00ABCDEFu);
  EXPECT_EQ(px[16 + 0], INK);
  for (int y = 0; y < 3; ++y)
    for (int pad = 5; pad < 8; ++pad) EXPECT_EQ(px[y * 8 + pad], 0u) << y;
  EXPECT_TRUE(Drawn().empty());  // the screen is untouched ...
  EXPECT_TRUE(DirtyRows().empty());  // ... and nothing of it marked
  DestroyImage(image);

  // 5-6-5 targets get the colour converted.
  Image* image16 = CreateImage(4, 1, 0, 16, 0);
  ASSERT_NE(image16, nullptr);
  SetPixel(image16, 1, 0, 0x123456, CoordFlags::Absolute);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(ImagePixels(image16))[1], 0x11AA);
  DestroyImage(image16);
}

TEST(PrimitivesNoScreen, ReturnAtOnce) {
  CloseScreen();
  SetPixel(nullptr, 1, 1, INK, CoordFlags::Absolute);
  DrawLine(nullptr, 0, 0, 10, 10, INK, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
  DrawLine(nullptr, 0, 0, 10, 10, INK, BOX_MODE_LINE, LINE_STYLE_SOLID, 0);
  DrawCircle(nullptr, 5, 5, 3, INK, 1, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  DrawCircle(nullptr, 5, 5, 3, INK, 1, -1, 2, 1, CoordFlags::Absolute);
  EXPECT_EQ(Screen(), nullptr);
}

// Translucent colours on a screen opened for alpha primitives.
class AlphaPrimitives : public Primitives {
 protected:
  void SetUp() override {
    ASSERT_EQ(fbtest::OpenNullScreen(64, 48, 32, SCREEN_ALPHA_PRIMITIVES), 0);
  }
};

// d + floor((c - d) * a / 256) per colour byte, alpha byte from c.
uint32_t Blended(uint32_t d, uint32_t c) {
  int a = int(c >> 24);
  uint32_t out = c & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    int dd = int(d >> shift & 0xFF), cc = int(c >> shift & 0xFF);
    int diff = (cc - dd) * a;
    int step = diff >= 0 ? diff / 256 : -((-diff + 255) / 256);
    out |= uint32_t(dd + step) << shift;
  }
  return out;
}

TEST_F(AlphaPrimitives, BlendsBelowOpaque) {
  // Worked by hand: 0 + floor(255 * 128 / 256) = 127.
  EXPECT_EQ(Blended(BLACK, 0x80FF0000), 0x807F0000u);
  // Towards smaller values: 0x33 + floor(-35 * 64 / 256) = 51 - 9 = 0x2A.
  EXPECT_EQ(Blended(0xFF336699, 0x40102030), 0x402A547Eu);

  Clean();
  SetPixel(nullptr, 1, 1, 0x80FF0000, CoordFlags::Absolute);
  EXPECT_EQ(At(1, 1), 0x807F0000u);
  SetPixel(nullptr, 2, 1, 0xFF336699, CoordFlags::Absolute);
  SetPixel(nullptr, 2, 1, 0x40102030, CoordFlags::Absolute);
  EXPECT_EQ(At(2, 1), 0x402A547Eu);
  SetPixel(nullptr, 3, 1, 0xFF123456, CoordFlags::Absolute);  // opaque: stored
  EXPECT_EQ(At(3, 1), 0xFF123456u);

  // Boxes and lines blend through FillSpan as well.
  DrawLine(nullptr, 0, 5, 9, 6, 0x40102030, BOX_MODE_FILLED, LINE_STYLE_SOLID, 0);
  DrawLine(nullptr, 0, 8, 9, 8, 0x80FF0000, BOX_MODE_LINE, LINE_STYLE_SOLID, 0);
  EXPECT_EQ(At(9, 6), Blended(BLACK, 0x40102030));
  EXPECT_EQ(At(9, 8), 0x807F0000u);
}

TEST_F(AlphaPrimitives, FilledCircleWritesEachPixelOnce) {
  // A pixel blended twice would show as a second step towards the colour.
  Clean();
  const uint32_t colour = 0x80FF8040;
  DrawCircle(nullptr, 30, 24, 12.7f, colour, 1.3f, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  DrawCircle(nullptr, 8, 8, 6, colour, 0.6f, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
  const uint32_t once = Blended(BLACK, colour);
  int covered = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      uint32_t p = At(x, y);
      if (p == BLACK) continue;
      EXPECT_EQ(p, once) << x << "," << y;
      ++covered;
    }
  EXPECT_GT(covered, 400);
}

}  // namespace
