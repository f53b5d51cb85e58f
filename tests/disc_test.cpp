// Small filled discs: DrawCircle writes them by direct paths of its own
// (the explosions' radius-1 dot, and discs up to radius 8 from a cached
// shape), and a DotRun writes runs of dots.  Each must leave exactly what
// the general scan leaves: pixels, dirty rows, lastPoint and the lock
// count, at every depth, on the screen and on images, inside the clip
// rectangle and across its edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <fb/gfx/circle_internal.h>
#include <fb/gfx/context.h>
#include <fb/gfx/image.h>
#include <fb/gfx/primitives.h>
#include <fb/platform/screen.h>
#include "test_screen.h"

namespace {

using namespace fb;

constexpr int W = 40, H = 30;

struct Screenshot {
  std::vector<uint8_t> pixels, dirty;
  PointF lastPoint;
  int32_t lockCount;
};

// lastPoint compared by its bits: a NaN coordinate must come back as the
// same NaN.
void ExpectSame(const Screenshot& got, const Screenshot& want) {
  ASSERT_EQ(got.pixels, want.pixels);
  ASSERT_EQ(got.dirty, want.dirty);
  ASSERT_EQ(std::memcmp(&got.lastPoint, &want.lastPoint, sizeof(PointF)), 0)
      << got.lastPoint.x << "," << got.lastPoint.y << " against " << want.lastPoint.x << ","
      << want.lastPoint.y;
  ASSERT_EQ(got.lockCount, want.lockCount);
}

uint8_t* TargetPixels(Image* target) {
  return target ? ImagePixels(target) : Screen()->framebuffer;
}
size_t TargetBytes(Image* target) {
  return target ? size_t(target->pitch) * target->height
                : size_t(Screen()->pitch) * Screen()->height;
}

Screenshot Take(Image* target) {
  const ScreenContext* s = Screen();
  const uint8_t* p = TargetPixels(target);
  return {std::vector<uint8_t>(p, p + TargetBytes(target)),
          std::vector<uint8_t>(s->dirtyRows, s->dirtyRows + s->height), GetDrawContext()->lastPoint,
          s->lockCount};
}

// Random pixels, every third row dirty and a known lastPoint, the same
// each time.
void Reset(Image* target) {
  static const std::vector<uint8_t> noise = [] {
    std::mt19937 rng(5);
    std::vector<uint8_t> bytes(size_t(W) * H * 4);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    return bytes;
  }();
  std::memcpy(TargetPixels(target), noise.data(), TargetBytes(target));
  for (int y = 0; y < Screen()->height; ++y) Screen()->dirtyRows[y] = y % 3 == 0;
  GetDrawContext()->lastPoint = {3.25f, -1.5f};
}

// The same circle through the general path: DrawCircle's steps written
// out, ending in the scan.
void DrawByScan(Image* target, float x, float y, float radius, Color colour, float aspect,
                int32_t coordFlags) {
  DrawContext& dc = *GetDrawContext();
  SelectTarget(dc, target);
  const uint32_t value = ChooseColor(dc, coordFlags, colour);
  ChoosePixelRoutines(dc, value);
  ApplyCoordFlags(dc, coordFlags, x, y);
  if (aspect == 0) aspect = dc.screen->aspect;
  const float rx = aspect > 1 ? radius / aspect : radius;
  const float ry = aspect > 1 ? radius : radius * aspect;
  const PointI centre = ToPixel(dc, x, y);
  ScanEllipse(dc, centre.x, centre.y, rx, ry, value, true);
}

struct Depth {
  int depth;
  int flags;
  Color colour;
};

TEST(SmallDiscs, DirectPathsMatchTheScan) {
  fbtest::ScreenGuard guard;
  const Depth setups[] = {
      {32, 0, 0xFF12AB34u},
      {32, 0, 0x0012AB34u},                        // alpha 0 is stored as given
      {32, SCREEN_ALPHA_PRIMITIVES, 0x8012AB34u},  // blended
      {32, SCREEN_ALPHA_PRIMITIVES, 0xFF12AB34u},
      {16, 0, 0xFF12AB34u},
      {8, 0, 0xFF0000C3u},
  };
  const float radii[] = {0.3f, 0.5f, 0.99f, 1, 1.01f, 1.5f, 2, 2.5f, 3, 4.75f, 8, 8.5f};
  const float aspects[] = {0, 1, 0.5f, 2, 1.25f};
  struct Place {
    float x, y;
  };
  const Place places[] = {
      {10, 10},       {10.49f, 9.5f}, {12.5f, 7.51f},
      {1, 1},         {0.5f, 0.5f},   {0.49f, 3},
      {W - 2, H - 2}, {W - 1.5f, 5},  {W - 1.51f, H - 1.51f},
      {-0.4f, 3},     {3, -0.6f},     {W, H},
      {-20, 5},       {NAN, 5},       {5, INFINITY},
      {8388607, 4},   {20, 1e10f},
  };
  int checked = 0;
  for (const Depth& setup : setups) {
    ASSERT_EQ(fbtest::OpenNullScreen(W, H, setup.depth, setup.flags), 0);
    Image* image = CreateImage(W - 7, H - 5, 0, setup.depth, 0);
    ASSERT_NE(image, nullptr);
    for (Image* target : {static_cast<Image*>(nullptr), image})
      for (float radius : radii)
        for (float aspect : aspects)
          for (const Place& at : places)
            for (int32_t flags : {CoordFlags::Absolute, CoordFlags::Relative})
              for (bool locked : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "depth " << setup.depth << " colour " << std::hex << setup.colour
                             << std::dec << (target ? " image" : " screen") << " radius " << radius
                             << " aspect " << aspect << " at " << at.x << "," << at.y << " flags "
                             << flags << (locked ? " locked" : ""));
                if (locked) ScreenLock();
                Reset(target);
                DrawCircle(target, at.x, at.y, radius, setup.colour, aspect, 0, FULL_CIRCLE, -1,
                           flags);
                const Screenshot got = Take(target);
                Reset(target);
                DrawByScan(target, at.x, at.y, radius, setup.colour, aspect, flags);
                const Screenshot want = Take(target);
                if (locked) ScreenUnlock(1, 0);
                ExpectSame(got, want);
                if (HasFatalFailure()) return;
                ++checked;
              }
    DestroyImage(image);
    CloseScreen();
  }
  EXPECT_GT(checked, 10000);
}

// The dot drawn many times over the whole screen, each against the scan:
// every row and column where the cross fits, and the edges where it does
// not.
TEST(SmallDiscs, DotEverywhereOnTheScreen) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(W, H, 32), 0);
  ScreenLock();
  for (int y = -1; y <= H; ++y)
    for (int x = -1; x <= W; ++x)
      for (float offset : {-0.5f, 0.0f, 0.4999f}) {
        const float fx = float(x) + offset, fy = float(y) - offset;
        SCOPED_TRACE(testing::Message() << "at " << fx << "," << fy);
        Reset(nullptr);
        DrawCircle(nullptr, fx, fy, 1, 0xFFFFFFFFu, 0, 0, FULL_CIRCLE, -1, CoordFlags::Absolute);
        const Screenshot got = Take(nullptr);
        Reset(nullptr);
        DrawByScan(nullptr, fx, fy, 1, 0xFFFFFFFFu, 0, CoordFlags::Absolute);
        ExpectSame(got, Take(nullptr));
        if (HasFatalFailure()) return;
      }
  ScreenUnlock(1, 0);
}

// A DotRun against the same dots drawn one by one through DrawCircle.
TEST(SmallDiscs, DotRunMatchesDrawCircle) {
  fbtest::ScreenGuard guard;
  struct Case {
    Depth depth;
    bool image;
    float aspect;  // the screen's
    bool locked;
  };
  const Case cases[] = {
      {{32, 0, 0}, false, 1, true},
      {{32, 0, 0}, false, 1, false},
      {{32, 0, 0}, true, 1, true},
      {{32, 0, 0}, false, 2, true},
      {{32, SCREEN_ALPHA_PRIMITIVES, 0}, false, 1, true},
      {{16, 0, 0}, false, 1, true},
      {{8, 0, 0}, true, 1, false},
  };
  std::mt19937 rng(11);
  struct Dot {
    float x, y;
    Color colour;
  };
  std::vector<Dot> dots;
  for (int i = 0; i < 400; ++i) {
    // Mostly inside, some across every edge, a few translucent.
    const float x = float(int(rng() % (W * 8 + 40)) - 20) / 8;
    const float y = float(int(rng() % (H * 8 + 40)) - 20) / 8;
    dots.push_back({x, y, Color(rng() % 5 ? 0xFF000000u | rng() : rng() & 0x7FFFFFFFu)});
  }
  // Where the direct way ends: the cross touching each edge, and one float
  // either side of that.
  const float xs[] = {0.5f, std::nextafter(0.5f, 0.0f), W - 1.5f, std::nextafter(W - 1.5f, 0.0f),
                      std::nextafter(W - 1.5f, float(W))};
  const float ys[] = {0.5f, std::nextafter(0.5f, 0.0f), H - 1.5f, std::nextafter(H - 1.5f, 0.0f),
                      std::nextafter(H - 1.5f, float(H))};
  for (float x : xs)
    for (float y : ys) dots.push_back({x, y, Color(0xFF000000u | rng())});
  dots.push_back({NAN, 3, 0xFF102030u});
  dots.push_back({7.5f, 6.5f, 0xFF405060u});  // the last one sets lastPoint
  // Outside, beside a row or a column of the screen or beyond both, as a
  // dying explosion's dots are: a run of their own, whose marks (their
  // rows inside are marked all the same) no other dot's hide.
  std::vector<Dot> outside;
  for (float far : {-40.0f, -1.5f, float(W) + 30, 1e12f})
    for (float at : {0.0f, 7.0f, float(H) - 1})
      outside.insert(outside.end(), {{far, at, 0xFF0A0B0Cu}, {at, far, 0xFF0D0E0Fu}});
  for (const Case& c : cases)
    for (const std::vector<Dot>* list : {&dots, &outside}) {
      SCOPED_TRACE(testing::Message() << "depth " << c.depth.depth << " flags " << c.depth.flags
                                      << (c.image ? " image" : " screen") << " aspect " << c.aspect
                                      << (c.locked ? " locked" : ""));
      ASSERT_EQ(fbtest::OpenNullScreen(W, H, c.depth.depth, c.depth.flags), 0);
      Screen()->aspect = c.aspect;
      Image* image = c.image ? CreateImage(W - 7, H - 5, 0, c.depth.depth, 0) : nullptr;
      if (c.locked) ScreenLock();
      Reset(image);
      DotRun run = BeginDots(image);
      for (const Dot& d : *list) DrawDot(run, d.x, d.y, d.colour);
      EndDots(run);
      const Screenshot got = Take(image);
      Reset(image);
      for (const Dot& d : *list)
        DrawCircle(image, d.x, d.y, 1, d.colour, 0, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
      const Screenshot want = Take(image);
      if (c.locked) ScreenUnlock(1, 0);
      ExpectSame(got, want);
      DestroyImage(image);
      CloseScreen();
      if (HasFatalFailure()) return;
    }
}

// A dot marks the rows of its cross that are not marked yet, whichever
// of them were: on a clean screen the shortcut that skips rows already
// marked must not skip any, by a run or by DrawCircle under the lock, at
// the screen's edges too, with the other rows marked or not (a run that
// finds every row marked need not look).
TEST(SmallDiscs, DotsMarkTheirRowsFromAnyStart) {
  fbtest::ScreenGuard guard;
  ASSERT_EQ(fbtest::OpenNullScreen(W, H, 32), 0);
  for (int y : {10, 1, H - 2})
    for (bool othersMarked : {false, true})
      for (bool byRun : {true, false})
        for (int marked : {0b000, 0b001, 0b010, 0b100, 0b101, 0b110, 0b111}) {  // y - 1 .. y + 1
          SCOPED_TRACE(testing::Message() << (byRun ? "run" : "DrawCircle") << " marked "
                                          << marked << " row " << y
                                          << (othersMarked ? ", others marked" : ""));
          std::vector<uint8_t> want(H, othersMarked);
          for (int i = 0; i < 3; ++i) want[size_t(y - 1 + i)] = (marked >> i) & 1;
          std::memcpy(Screen()->dirtyRows, want.data(), H);
          ScreenLock();
          if (byRun) {
            DotRun run = BeginDots(nullptr);
            DrawDot(run, 12, y, 0xFFFFFFFFu);
            EndDots(run);
          } else {
            DrawCircle(nullptr, 12, y, 1, 0xFFFFFFFFu, 0, 0, FULL_CIRCLE, -1, CoordFlags::Absolute);
          }
          ScreenUnlock(1, 0);
          want[y - 1] = want[y] = want[y + 1] = 1;
          EXPECT_EQ(std::vector<uint8_t>(Screen()->dirtyRows, Screen()->dirtyRows + H), want);
        }
}

// A run that outlives its screen or its image, or its EndDots, or was
// never begun, must do no harm: it writes nothing (ASan watches the freed
// buffers), leaves lastPoint, and leaves the lock count of the screen open
// now as the program set it.  A run on the screen outlives images freed
// meanwhile and draws on.
TEST(SmallDiscs, StaleDotRunsDoNoHarm) {
  fbtest::ScreenGuard guard;
  enum class After { NeverBegun, Ended, ScreenReopened, ScreenClosed, ImageDestroyed };
  struct Case {
    const char* name;
    After after;
    bool onImage;  // the run's target is the image, else the screen
  };
  const Case cases[] = {
      {"never begun", After::NeverBegun, false},
      {"ended", After::Ended, false},
      {"screen reopened", After::ScreenReopened, false},
      {"image run, screen reopened", After::ScreenReopened, true},
      {"screen closed", After::ScreenClosed, false},
      {"image run, image destroyed", After::ImageDestroyed, true},
      {"screen run, image destroyed", After::ImageDestroyed, false},  // draws
  };
  const float places[] = {10.0f, 5.5f, 0.0f};
  for (const Case& c : cases)
    for (bool programLocks : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (programLocks ? ", program locks" : ""));
      const bool draws = c.after == After::ImageDestroyed && !c.onImage;
      ASSERT_EQ(fbtest::OpenNullScreen(W, H, 32), 0);
      Image* image = CreateImage(W, H, 0, 32, 0);
      if (programLocks) ScreenLock();
      DotRun run = c.after == After::NeverBegun ? DotRun{} : BeginDots(c.onImage ? image : nullptr);
      if (c.after == After::ScreenReopened) {
        ASSERT_EQ(fbtest::OpenNullScreen(W - 9, H - 4, 32), 0);  // another size
        if (programLocks) ScreenLock();
      }
      if (c.after == After::Ended) EndDots(run);
      if (c.after == After::ScreenClosed) CloseScreen();
      if (c.after == After::ImageDestroyed) {
        DestroyImage(image);
        image = nullptr;
      }
      Screenshot want{};
      if (Screen()) {  // the same dots by DrawCircle, or none
        Reset(nullptr);
        for (float at : places)
          if (draws)
            DrawCircle(nullptr, at, at, 1, 0xFF123456u, 0, 0, FULL_CIRCLE, 1, CoordFlags::Absolute);
        want = Take(nullptr);
        Reset(nullptr);
      }
      for (float at : places) DrawDot(run, at, at, 0xFF123456u);
      EndDots(run);
      if (Screen()) {
        const Screenshot got = Take(nullptr);
        EXPECT_EQ(got.lockCount, programLocks ? 1 : 0);
        want.lockCount = got.lockCount;
        ExpectSame(got, want);
        if (programLocks) ScreenUnlock(1, 0);
      }
      DestroyImage(image);
      CloseScreen();
      if (HasFatalFailure()) return;
    }
}

}  // namespace
