// The typewriter panel on a windowless screen, on a clock the test moves:
// the panel's fields frame by frame and the pixels it leaves.
#include <gtest/gtest.h>

#include <string>

#include "game/typewriter.h"
#include "game_support.h"
#include <fb/gfx/context.h>
#include <fb/platform/keyboard.h>

namespace {

using shooter::TypewriterPanel;

constexpr int X = 100, Y = 50;
constexpr uint32_t GREEN = shooter::TYPEWRITER_COLOR;

struct Completions {
  static inline int count = 0;
  static inline std::string lastTag;
  static void Record(std::string& tag) {
    ++count;
    lastTag = tag;
  }
};

class TypewriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Install();
    ASSERT_EQ(gametest::OpenGameScreen(), 0);
    Completions::count = 0;
  }
  void TearDown() override { fb::CloseScreen(); }

  // One frame of the typing loop, after the clock has moved by seconds.
  void Frame(TypewriterPanel& panel, double seconds) {
    clock.now += seconds;
    shooter::Update(panel);
    fb::ScreenLock();
    shooter::Erase(panel);
    shooter::Draw(panel);
    fb::ScreenUnlock(-1, -1);
  }

  // Pixels of colour in the 8 x 8 cell number cell of the line at top.
  static int CellPixels(int cell, int top, uint32_t colour) {
    int n = 0;
    for (int y = top; y < top + 8; ++y)
      for (int x = X + cell * 8; x < X + cell * 8 + 8; ++x) n += gametest::ScreenPixel(x, y) == colour;
    return n;
  }

  gametest::FakeClock clock;
};

constexpr double TICK = 0.11;  // just over the typing period

// A, B, line feed, C, D typed one frame per row.
TEST_F(TypewriterTest, TypesTheWorkedExampleRowByRow) {
  TypewriterPanel panel;
  shooter::InitPanel(panel, X, Y, "AB\nCD", "I1", Completions::Record);
  struct Row {
    double advance;
    int typed, lineLength, lineStart, lineOffset, y;
    int cursorCell;  // -1: no cursor drawn on the line at y
    int done;
  };
  const Row rows[] = {
      {0.0, 1, 1, 1, 0, Y, 1, 0},        // A and cursor
      {TICK, 2, 2, 1, 0, Y, 2, 0},       // AB and cursor
      {TICK, 3, 1, 3, 1, Y + 10, -1, 0}, // line feed: AB finished, y moves down
      {0.01, 3, 1, 3, 1, Y + 10, 0, 0},  // cursor alone on the new line
      {TICK, 4, 2, 3, 1, Y + 10, 1, 0},  // C and cursor
      {TICK, 5, 3, 3, 1, Y + 10, 2, 0},  // CD and cursor
      {TICK, 6, 4, 3, 1, Y + 10, 2, 1},  // complete; CD and cursor again
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    const Row& r = rows[i];
    Frame(panel, r.advance);
    EXPECT_EQ(panel.typed, r.typed);
    EXPECT_EQ(panel.lineLength, r.lineLength);
    EXPECT_EQ(panel.lineStart, r.lineStart);
    EXPECT_EQ(panel.lineOffset, r.lineOffset);
    EXPECT_EQ(panel.y, r.y);
    EXPECT_EQ(panel.done, r.done);
    if (r.cursorCell >= 0) {
      EXPECT_EQ(CellPixels(r.cursorCell, r.y, GREEN), 64) << "solid cursor";
      EXPECT_GT(CellPixels(r.cursorCell - 1 < 0 ? 0 : r.cursorCell - 1, r.y, GREEN), 0);
    }
  }
  EXPECT_EQ(Completions::count, 1);
  EXPECT_EQ(Completions::lastTag, "I1");
  // The first line stays: A and B drawn, the cursor's cell blanked.
  EXPECT_GT(CellPixels(0, Y, GREEN), 0);
  EXPECT_GT(CellPixels(1, Y, GREEN), 0);
  EXPECT_LT(CellPixels(1, Y, GREEN), 64);
  EXPECT_EQ(CellPixels(2, Y, 0), 64);
  // Frames after completion keep calling back while the panel is active.
  Frame(panel, TICK);
  EXPECT_EQ(Completions::count, 2);
}

TEST_F(TypewriterTest, EmptyTextIsCompleteAtTheFirstUpdate) {
  TypewriterPanel panel;
  shooter::InitPanel(panel, X, Y, "", "end", Completions::Record);
  shooter::Update(panel);
  EXPECT_EQ(panel.done, 1);
  EXPECT_EQ(panel.typed, 1);
  EXPECT_EQ(Completions::count, 1);
  EXPECT_EQ(Completions::lastTag, "end");
}

TEST_F(TypewriterTest, TextEndingInLineFeedLeavesTheCursorOnAnEmptyLine) {
  TypewriterPanel panel;
  shooter::InitPanel(panel, X, Y, "AB\n", "I1", Completions::Record);
  Frame(panel, 0);
  Frame(panel, TICK);
  Frame(panel, TICK);  // the line feed
  EXPECT_EQ(panel.y, Y + 10);
  Frame(panel, TICK);  // past the end
  EXPECT_EQ(panel.done, 1);
  EXPECT_EQ(CellPixels(0, Y + 10, GREEN), 64);
  EXPECT_EQ(CellPixels(1, Y + 10, GREEN), 0);
}

TEST_F(TypewriterTest, TwoLineFeedsLeaveAnEmptyLine) {
  TypewriterPanel panel;
  shooter::InitPanel(panel, X, Y, "A\n\nB", "I1", Completions::Record);
  Frame(panel, 0);
  Frame(panel, TICK);  // first line feed
  EXPECT_EQ(panel.y, Y + 10);
  Frame(panel, TICK);  // second line feed: the empty line ends
  EXPECT_EQ(panel.y, Y + 20);
  Frame(panel, TICK);  // B
  Frame(panel, 0.01);
  EXPECT_EQ(panel.typed, 4);
  // The empty line shows nothing but the blanking.
  EXPECT_EQ(CellPixels(0, Y + 10, GREEN), 0);
  EXPECT_GT(CellPixels(0, Y + 20, GREEN), 0);
  EXPECT_EQ(CellPixels(1, Y + 20, GREEN), 64);
}

TEST_F(TypewriterTest, HiddenPanelNeitherTypesNorDraws) {
  TypewriterPanel panel;
  shooter::InitPanel(panel, X, Y, "AB", "I1", Completions::Record);
  shooter::Hide(panel);
  Frame(panel, 5.0);
  EXPECT_EQ(panel.typed, 1);
  EXPECT_EQ(CellPixels(1, Y, GREEN), 0);
  shooter::Show(panel);
  Frame(panel, 0);  // the clock ran on: one character at once
  EXPECT_EQ(panel.typed, 2);
}

TEST(Substring, OneBasedAndCut) {
  struct Case {
    const char* text;
    int position, count;
    const char* expected;
  };
  const Case cases[] = {{"abc", 1, 2, "ab"}, {"abc", 2, 5, "bc"}, {"abc", 0, 2, ""},
                        {"abc", 4, 1, ""},   {"abc", 3, 0, ""},   {"abc", 1, -1, ""},
                        {"", 1, 1, ""}};
  for (const Case& c : cases)
    EXPECT_EQ(shooter::Substring(c.text, c.position, c.count), c.expected)
        << c.text << " " << c.position << " " << c.count;
}

TEST_F(TypewriterTest, IntroEndsAtAKeyAndClearsTheScreen) {
  fb::ResetKeyQueue();
  fb::ScreenLock();
  fb::PutKey('x');
  fb::ScreenUnlock(1, 0);
  fb::Image* background = fb::CreateImage(1024, 768, 0xFF123456, 0, 0);
  ASSERT_NE(background, nullptr);
  shooter::ShowIntro(background);
  for (int y : {0, 256, 767})
    for (int x : {0, 250, 1023}) EXPECT_EQ(gametest::ScreenPixel(x, y), 0xFF000000u);
  EXPECT_TRUE(fb::ReadKey().empty());
  fb::DestroyImage(background);
  fb::ResetKeyQueue();
}

}  // namespace
