#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <fb/platform/driver.h>
#include <fb/platform/runtime.h>
#include <fb/platform/screen.h>
#include "test_screen.h"

using namespace fb;

namespace {

int CountDirty(const ScreenContext* s) {
  int n = 0;
  for (int y = 0; y < s->height; ++y) n += s->dirtyRows[y];
  return n;
}

TEST(ScreenMode, TheGamesScreen) {
  fbtest::ScreenGuard guard;
  int32_t serial = NextModeSerial();
  ASSERT_EQ(fbtest::OpenNullScreen(1024, 768, 32), 0);
  ScreenContext* s = Screen();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->modeSerial, serial);
  EXPECT_EQ(s->pageCount, 1);
  EXPECT_EQ(s->bpp, 4);
  EXPECT_EQ(s->pitch, 4096);
  EXPECT_EQ(s->colorMask, 0xFFFFFFFFu);
  EXPECT_EQ(s->lockCount, 0);
  EXPECT_EQ(s->aspect, 1.0f);
  EXPECT_EQ(CountDirty(s), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(s->framebuffer) % 16, 0u);
  EXPECT_STREQ(s->driver->name, "Null");
  const uint32_t* px = reinterpret_cast<const uint32_t*>(s->framebuffer);
  EXPECT_EQ(px[0], 0xFF000000u);
  EXPECT_EQ(px[1024 * 768 - 1], 0xFF000000u);
  for (int i = 0; i < KEY_STATE_SIZE; ++i) ASSERT_EQ(s->keyState[i], 0);
  EXPECT_NE(s->events, nullptr);
}

TEST(ScreenMode, DepthsMapAndMasks) {
  fbtest::ScreenGuard guard;
  struct Case {
    int depth, stored, bpp;
    uint32_t mask;
  } cases[] = {{1, 1, 1, 1},       {2, 2, 1, 3},       {4, 4, 1, 15},
               {8, 8, 1, 255},     {15, 16, 2, 0xFFFF}, {16, 16, 2, 0xFFFF},
               {24, 32, 4, ~0u},   {32, 32, 4, ~0u}};
  for (const Case& c : cases) {
    ASSERT_EQ(fbtest::OpenNullScreen(16, 8, c.depth), 0) << c.depth;
    EXPECT_EQ(Screen()->depth, c.stored);
    EXPECT_EQ(Screen()->bpp, c.bpp);
    EXPECT_EQ(Screen()->colorMask, c.mask);
  }
}

TEST(ScreenMode, InvalidArgumentsLeaveTheOpenScreenOpen) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(32, 32, 32), 0);
  ScreenContext* before = Screen();
  struct Case {
    int w, h, depth, pages;
  } cases[] = {{32, 32, 12, 0}, {0, 32, 32, 0}, {32, -1, 32, 0}, {32, 32, 0, 0},
               {32, 32, 64, 0}, {100000, 2, 32, 0}, {32, 32, 32, 1000}};
  for (const Case& c : cases) {
    EXPECT_EQ(SetScreenMode(c.w, c.h, c.depth, c.pages, SCREEN_NULL, 0), 1);
    EXPECT_EQ(LastError(), 1);
    EXPECT_EQ(Screen(), before);
  }
}

TEST(ScreenMode, PagesAndSecondOpeningReplacesTheFirst) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(SetScreenMode(20, 10, 8, 3, SCREEN_NULL, 0), 0);
  EXPECT_EQ(Screen()->pageCount, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reinterpret_cast<uintptr_t>(Screen()->pages[i]) % 16, 0u);
  int32_t first = Screen()->modeSerial;
  ASSERT_EQ(SetScreenMode(30, 10, 32, 0, SCREEN_NULL, 0), 0);
  EXPECT_EQ(Screen()->modeSerial, first + 1);
  EXPECT_EQ(Screen()->pageCount, 1);
}

TEST(ScreenMode, MarksFollowTheFlags) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(8, 8, 32, SCREEN_ALPHA_PRIMITIVES | SCREEN_HIGH_PRIORITY), 0);
  EXPECT_TRUE(Screen()->flags & SCREEN_MARK_ALPHA_PRIMITIVES);
  EXPECT_TRUE(Screen()->flags & SCREEN_MARK_HIGH_PRIORITY);
  EXPECT_FALSE(Screen()->flags & SCREEN_MARK_OPENGL);
  ASSERT_EQ(SetScreenMode(8, 8, 32, 0, SCREEN_NULL, 0), 0);  // -1 sets no marks
  EXPECT_FALSE(Screen()->flags & SCREEN_MARK_ALPHA_PRIMITIVES);
}

TEST(ScreenLock, UnlockRanges) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(16, 768, 32), 0);
  ScreenContext* s = Screen();
  struct Case {
    int first, last, marked, from;
  } cases[] = {{-1, -1, 768, 0}, {1, 0, 0, 0}, {5, 2000, 0, 0}, {-7, 3, 4, 0},
               {10, 10, 1, 10},  {700, -1, 68, 700}, {767, 767, 1, 767}};
  for (const Case& c : cases) {
    std::memset(s->dirtyRows, 0, 768);
    ScreenLock();
    ScreenUnlock(c.first, c.last);
    EXPECT_EQ(CountDirty(s), c.marked) << c.first << ".." << c.last;
    if (c.marked) {
      EXPECT_EQ(s->dirtyRows[c.from], 1);
    }
    EXPECT_EQ(s->lockCount, 0);
  }
}

// A driver whose lock records how often the mutex would be taken and,
// when watchedRow is set, the row's dirty flag at each take and release:
// "L0U1" means the flag was set while the lock was held.
int lockCalls = 0, unlockCalls = 0;
const uint8_t* watchedRow = nullptr;
std::string lockTrace;
void Trace(char what) {
  if (watchedRow) lockTrace += std::string{what, char('0' + *watchedRow)};
}
const DisplayDriver COUNTING_DRIVER = {
    "Counting", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; },
    nullptr, [] { ++lockCalls; Trace('L'); }, [] { ++unlockCalls; Trace('U'); }, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

TEST(ScreenLock, NestingTouchesTheDriverOnce) {
  fbtest::ScreenGuard guard;
  const DisplayDriver* list[] = {&COUNTING_DRIVER};
  SetDriverList(list);
  ASSERT_EQ(SetScreenMode(16, 16, 32, 0, 0, 0), 0);
  lockCalls = unlockCalls = 0;
  ScreenLock();
  ScreenLock();
  EXPECT_EQ(Screen()->lockCount, 2);
  ScreenUnlock(1, 0);
  EXPECT_EQ(unlockCalls, 0);  // still held
  ScreenUnlock(1, 0);
  EXPECT_EQ(lockCalls, 1);
  EXPECT_EQ(unlockCalls, 1);
  EXPECT_EQ(Screen()->lockCount, 0);

  // Without a lock: the window thread reads and clears the flags under
  // the display lock, so the rows are marked under a brief lock of the
  // unlock's own; the count stays 0 and nothing more is released.
  lockCalls = unlockCalls = 0;
  watchedRow = &Screen()->dirtyRows[3];
  ScreenUnlock(2, 3);
  EXPECT_EQ(lockTrace, "L0U1");
  EXPECT_EQ(Screen()->lockCount, 0);
  EXPECT_EQ(Screen()->dirtyRows[2], 1);
  ScreenUnlock(1, 0);
  EXPECT_EQ(unlockCalls, lockCalls);  // never a release of a lock not taken
  EXPECT_EQ(Screen()->lockCount, 0);
  watchedRow = nullptr;
  CloseScreen();
  SetDriverList({});
}

// A driver that presents only when the program flips: Flip records the
// first pixel of the visible page it would show and the lock count, then
// PollEvents its turn.
std::string flipTrace;
const DisplayDriver FLIPPING_DRIVER = {
    "Flipping", [](const char*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; },
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    [] {
      flipTrace += "F" + std::to_string(Screen()->framebuffer[0]) + "/" +
                   std::to_string(Screen()->lockCount);
    },
    [] { flipTrace += "P"; }};

TEST(ScreenPages, CopyPageCopiesMarksAndThenFlipsAndPolls) {
  fbtest::ScreenGuard guard;
  const DisplayDriver* list[] = {&FLIPPING_DRIVER};
  SetDriverList(list);
  ASSERT_EQ(SetScreenMode(8, 6, 8, 3, 0, 0), 0);
  ScreenContext* s = Screen();
  std::memset(s->pages[1], 7, 48);
  std::memset(s->pages[2], 9, 48);
  struct Case {
    int source, destination, result;
    const char* trace;
    int marked;
    uint8_t shown;  // the visible page's first pixel afterwards
  } cases[] = {
      {1, 0, 0, "F7/0P", 6, 7},      // onto the visible page: copied, every row marked, shown
      {2, 1, 0, "F7/0P", 0, 7},      // between hidden pages: nothing marked
      {0, 0, 0, "F7/0P", 0, 7},      // the same page: a flip alone
      {3, 0, 1, "", 0, 7},           // no page 3: nothing at all
      {-1, 0, 1, "", 0, 7},
      {0, 3, 1, "", 0, 7},
  };
  for (const Case& c : cases) {
    flipTrace.clear();
    std::memset(s->dirtyRows, 0, 6);
    EXPECT_EQ(CopyPage(c.source, c.destination), c.result) << c.source << " -> " << c.destination;
    EXPECT_EQ(flipTrace, c.trace);
    EXPECT_EQ(CountDirty(s), c.marked);
    EXPECT_EQ(s->framebuffer[47], c.shown);
  }
  EXPECT_EQ(s->pages[1][0], 9) << "page 2 went onto page 1";

  // Inside a frame the copy keeps the program's lock as it was.
  ScreenLock();
  flipTrace.clear();
  EXPECT_EQ(CopyPage(2, 0), 0);
  EXPECT_EQ(flipTrace, "F9/1P");
  EXPECT_EQ(s->lockCount, 1);
  ScreenUnlock(1, 0);
  CloseScreen();
  EXPECT_EQ(CopyPage(0, 0), 1) << "no screen";
  SetDriverList({});
}

TEST(ScreenLock, NothingHappensWithoutAScreen) {
  CloseScreen();
  ScreenLock();
  ScreenUnlock(-1, -1);
  EXPECT_EQ(Screen(), nullptr);
}

TEST(ScreenMode, NoDriverMeansNoScreen) {
  fbtest::ScreenGuard guard;
  const DisplayDriver* none[] = {&COUNTING_DRIVER};
  const DisplayDriver failing = {"Failing", [](const char*, int32_t, int32_t, int32_t, int32_t,
                                               int32_t) { return -1; },
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr};
  none[0] = &failing;
  SetDriverList(none);
  ASSERT_EQ(fbtest::OpenNullScreen(8, 8, 32), 0);
  EXPECT_EQ(SetScreenMode(8, 8, 32, 0, 0, 0), 1);
  EXPECT_EQ(LastError(), 1);
  EXPECT_EQ(Screen(), nullptr);  // the old screen was closed first
  SetDriverList({});
}

}  // namespace
