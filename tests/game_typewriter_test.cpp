// The typewriter panel on a windowless screen, on a clock the test moves:
// the panel's fields frame by frame and the pixels it leaves, the intro and
// the closing screen built on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "game/game.h"
#include "game/typewriter.h"
#include "game_support.h"
#include <fb/gfx/context.h>
#include <fb/gfx/primitives.h>
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
  gametest::TypeKey('x');
  fb::Image* background = fb::CreateImage(1024, 768, 0xFF123456, 0, 0);
  ASSERT_NE(background, nullptr);
  shooter::ShowIntro(background);
  for (int y : {0, 256, 767})
    for (int x : {0, 250, 1023}) EXPECT_EQ(gametest::ScreenPixel(x, y), 0xFF000000u);
  EXPECT_TRUE(fb::ReadKey().empty());
  fb::DestroyImage(background);
  fb::ResetKeyQueue();
}

// A key typed while the briefing is typed ends the intro at once; once the
// briefing is typed out, the intro waits for a key however long it takes.
TEST_F(TypewriterTest, IntroWaitsForAKeyAlsoOnceTypedOut) {
  fb::Image* background = fb::CreateImage(1024, 768, 0xFF123456, 0, 0);
  ASSERT_NE(background, nullptr);
  const std::string_view intro = shooter::INTRO_TEXT;
  const int lastLineY = 256 + 10 * int(std::count(intro.begin(), intro.end(), '\n'));
  auto lastLineTyped = [lastLineY] {  // the P of "Press any key ..."
    int n = 0;
    for (int y = lastLineY; y < lastLineY + 8; ++y)
      for (int x = 250; x < 258; ++x) n += gametest::ScreenPixel(x, y) == GREEN;
    return n > 0;
  };
  struct Case {
    double keyAfter;  // seconds into the intro
    bool typedOut;    // the whole briefing shows when the key comes
  };
  const Case cases[] = {{2.0, false}, {60.0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keyAfter);
    fb::ResetKeyQueue();
    const double start = clock.now;
    bool keyTyped = false, typedOut = false;
    clock.onSleep = [&] {
      if (keyTyped || clock.now - start < c.keyAfter) return;
      typedOut = lastLineTyped();
      gametest::TypeKey('x');
      keyTyped = true;
    };
    shooter::ShowIntro(background);
    clock.onSleep = nullptr;
    EXPECT_TRUE(keyTyped) << "the intro ended without a key";
    EXPECT_LT(clock.now - start, c.keyAfter + 0.1) << "the intro went on after the key";
    EXPECT_EQ(typedOut, c.typedOut);
    EXPECT_FALSE(lastLineTyped()) << "the screen is cleared";
  }
  fb::DestroyImage(background);
  fb::ResetKeyQueue();
}

// What a closing-screen test's child process reports as it ends.
struct EndScreenWatch {
  const gametest::FakeClock* clock = nullptr;
  std::vector<uint32_t> expected;  // the picture built from the rules
};
EndScreenWatch endScreenWatch;

// Runs at exit, after the thread's drawing state is gone: it only reads.
void ReportEndScreen() {
  const std::vector<int32_t>& sleeps = endScreenWatch.clock->sleeps;
  // The typing frames sleep 10 ms each; the pauses lie before and after them.
  auto firstFrame = std::find(sleeps.begin(), sleeps.end(), 10);
  auto afterLastFrame = std::find(sleeps.rbegin(), sleeps.rend(), 10).base();
  const fb::ScreenContext* s = fb::Screen();
  const size_t bytes = size_t(s->pitch) * size_t(s->height);
  bool same = endScreenWatch.expected.size() * 4 == bytes &&
              std::memcmp(s->framebuffer, endScreenWatch.expected.data(), bytes) == 0;
  std::fprintf(stderr, "before typing: %d ms; after typing: %d ms in %d sleeps; picture %s\n",
               std::accumulate(sleeps.begin(), firstFrame, 0),
               std::accumulate(afterLastFrame, sleeps.end(), 0),
               int(sleeps.end() - afterLastFrame), same ? "as built from the rules" : "differs");
}

// The closing screen ends the process; its child runs on the fake clock.
TEST_F(TypewriterTest, ClosingScreenPausesTypesTheScoreAtItsPlaceAndPausesAgain) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto closingScreen = [this](bool keyWaiting) {
    // The picture to expect: the screen cleared to black and the text typed
    // out in full at (200, 256).
    shooter::score = 120;
    fb::ClearScreen();
    TypewriterPanel panel;
    shooter::InitPanel(panel, 200, 256, shooter::EndScreenText(120), "I1", nullptr);
    while (panel.done == 0) shooter::TypeFrame(panel);
    const uint32_t* pixels = reinterpret_cast<const uint32_t*>(fb::Screen()->framebuffer);
    endScreenWatch.clock = &clock;
    endScreenWatch.expected.assign(pixels, pixels + 1024 * 768);
    // The last game frame, which the closing screen must clear away.
    fb::DrawLine(nullptr, 0, 0, 1023, 767, 0xFF336699, fb::BOX_MODE_FILLED, fb::LINE_STYLE_SOLID, 0);
    fb::ResetKeyQueue();
    if (keyWaiting) gametest::TypeKey('x');
    clock.sleeps.clear();
    std::atexit(ReportEndScreen);
    shooter::ShowEndScreen();
  };
  EXPECT_EXIT(closingScreen(false), testing::ExitedWithCode(0),
              "before typing: 1000 ms; after typing: 2000 ms in 1 sleeps; picture as built");
  // A key cuts the first pause short, and only that one.
  EXPECT_EXIT(closingScreen(true), testing::ExitedWithCode(0),
              "before typing: 0 ms; after typing: 2000 ms in 1 sleeps; picture as built");
}

}  // namespace
