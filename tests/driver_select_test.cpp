#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fb/platform/driver.h>
#include <fb/platform/driver_support.h>
#include <fb/platform/screen.h>

using namespace fb;

namespace {

// Drivers that log every Init and Exit and succeed only when told to.
struct Try {
  std::string name;
  int refresh, flags;
};
std::vector<Try> tries;
std::vector<std::string> exits;
std::string succeedName;
int succeedFlags = -2;

template <int N>
int LoggingInit(const char*, int32_t, int32_t, int32_t, int32_t refresh, int32_t flags);

const char* const NAMES[] = {"DirectX", "GDI", "OpenGL"};

template <int N>
void LoggingExit() {
  exits.push_back(NAMES[N]);
}

template <int N>
int LoggingInit(const char*, int32_t, int32_t, int32_t, int32_t refresh, int32_t flags) {
  tries.push_back({NAMES[N], refresh, flags});
  bool ok = succeedName == NAMES[N] && (succeedFlags == -2 || succeedFlags == flags);
  return ok ? 0 : -1;
}

template <int N>
constexpr DisplayDriver MakeDriver() {
  return {NAMES[N], LoggingInit<N>, LoggingExit<N>, nullptr, nullptr, nullptr, nullptr, nullptr,
          nullptr,  nullptr,        nullptr,        nullptr, nullptr, nullptr};
}
const DisplayDriver D0 = MakeDriver<0>(), D1 = MakeDriver<1>(), D2 = MakeDriver<2>();
const DisplayDriver* const LIST[] = {&D0, &D1, &D2};

std::vector<std::string> Sequence() {
  std::vector<std::string> out;
  for (const Try& t : tries)
    out.push_back(t.name + (t.flags & SCREEN_FULLSCREEN ? " full " : " win ") + std::to_string(t.refresh));
  return out;
}

void Reset(const std::string& succeed, int flags = -2) {
  tries.clear();
  exits.clear();
  succeedName = succeed;
  succeedFlags = flags;
}

TEST(DriverSelect, WithoutPreferenceTwoPasses) {
  Reset("");
  EXPECT_EQ(SelectDisplayDriver(LIST, nullptr, "t", 640, 480, 32, 60, 0), nullptr);
  std::vector<std::string> expected = {
      "DirectX win 60",  "DirectX win 0",  "GDI win 60",  "GDI win 0",  "OpenGL win 60",
      "OpenGL win 0",    "DirectX full 60", "DirectX full 0", "GDI full 60", "GDI full 0",
      "OpenGL full 60",  "OpenGL full 0"};
  EXPECT_EQ(Sequence(), expected);
  EXPECT_EQ(exits.size(), tries.size());  // every failed Init is followed by Exit
}

TEST(DriverSelect, StopsAtTheFirstSuccess) {
  Reset("GDI");
  EXPECT_EQ(SelectDisplayDriver(LIST, "", "t", 640, 480, 32, 0, 0), &D1);
  std::vector<std::string> expected = {"DirectX win 0", "DirectX win 0", "GDI win 0"};
  EXPECT_EQ(Sequence(), expected);
  EXPECT_EQ(exits.size(), 2u);
}

TEST(DriverSelect, FullscreenRequestRetriedWindowed) {
  Reset("OpenGL", 0);
  EXPECT_EQ(SelectDisplayDriver(LIST, nullptr, "t", 640, 480, 32, 0, SCREEN_FULLSCREEN), &D2);
  // Six full-screen tries, then the windowed pass up to OpenGL's first try.
  ASSERT_EQ(tries.size(), 11u);
  EXPECT_EQ(tries[5].flags, SCREEN_FULLSCREEN);
  EXPECT_EQ(tries.back().flags, 0);
}

TEST(DriverSelect, PreferredNameAnyCaseFourPasses) {
  Reset("");
  EXPECT_EQ(SelectDisplayDriver(LIST, "gdi", "t", 640, 480, 32, 75, 0), nullptr);
  std::vector<std::string> expected = {
      // pass 1: only the named driver
      "GDI win 75", "GDI win 0",
      // pass 2: all drivers
      "DirectX win 75", "DirectX win 0", "GDI win 75", "GDI win 0", "OpenGL win 75", "OpenGL win 0",
      // pass 3: the named driver, full screen
      "GDI full 75", "GDI full 0",
      // pass 4: all, full screen
      "DirectX full 75", "DirectX full 0", "GDI full 75", "GDI full 0", "OpenGL full 75",
      "OpenGL full 0"};
  EXPECT_EQ(Sequence(), expected);

  Reset("GDI");
  EXPECT_EQ(SelectDisplayDriver(LIST, "GdI", "t", 640, 480, 32, 0, 0), &D1);
  EXPECT_EQ(tries.size(), 1u);
}

TEST(DriverSelect, NullNeedsNoDriverAtAll) {
  Reset("GDI");
  EXPECT_EQ(SelectDisplayDriver(LIST, "NuLL", "t", 640, 480, 32, 0, 0), &NULL_DRIVER);
  EXPECT_EQ(SelectDisplayDriver(LIST, "GDI", "t", 640, 480, 32, 0, SCREEN_NULL), &NULL_DRIVER);
  EXPECT_TRUE(tries.empty());
  EXPECT_STREQ(NULL_DRIVER.name, "Null");
}

TEST(DriverSelect, SetScreenModeReadsScrdriver) {
  Reset("OpenGL");
  SetDriverList(LIST);
  setenv("SCRDRIVER", "opengl", 1);
  ASSERT_EQ(SetScreenMode(64, 32, 32, 0, 0, 0), 0);
  unsetenv("SCRDRIVER");
  EXPECT_EQ(Screen()->driver, &D2);
  ASSERT_EQ(tries.size(), 1u);
  EXPECT_EQ(tries[0].name, "OpenGL");
  CloseScreen();
  EXPECT_EQ(exits.back(), "OpenGL");  // closing calls the driver's Exit
  SetDriverList({});
}

// What the program is told about SCRDRIVER: nothing when it was taken or
// unset, else one line with the driver used instead.
TEST(DriverSelect, VerdictOnScrdriverAndItsNote) {
  struct Case {
    const char* scrdriver;  // nullptr: unset
    const char* opens;      // the one driver whose Init succeeds ("": none)
    SettingVerdict verdict;
    const char* note;  // "": none
  } cases[] = {
      {nullptr, "DirectX", SettingVerdict::Unset, ""},
      {"gdi", "GDI", SettingVerdict::Taken, ""},
      {"null", "", SettingVerdict::Taken, ""},
      {"bogus", "GDI", SettingVerdict::Unusable,
       "SCRDRIVER=bogus names no display driver (DirectX, GDI, OpenGL, Null): GDI is used"},
      {"OpenGL", "GDI", SettingVerdict::Refused, "SCRDRIVER=OpenGL could not open: GDI is used"},
      // Without a screen the failure says the rest.
      {"bogus", "", SettingVerdict::Unusable,
       "SCRDRIVER=bogus names no display driver (DirectX, GDI, OpenGL, Null)"},
      {"OpenGL", "", SettingVerdict::Refused, ""},
  };
  SetDriverList(LIST);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scrdriver ? c.scrdriver : "(unset)") + " with " + c.opens);
    Reset(c.opens);
    if (c.scrdriver)
      setenv("SCRDRIVER", c.scrdriver, 1);
    else
      unsetenv("SCRDRIVER");
    const bool opened = SetScreenMode(64, 32, 32, 0, 0, 0) == 0;
    EXPECT_EQ(opened, *c.opens || SameDriverName(c.scrdriver, "null"));
    EXPECT_EQ(DriverSetting().verdict, c.verdict);
    const std::vector<std::string> notes = SettingNotes();
    EXPECT_EQ(notes, *c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{});
    if (!opened) {
      EXPECT_EQ(DisplayFailure(), "no display driver could start");
    }
    CloseScreen();
  }
  unsetenv("SCRDRIVER");
  SetDriverList({});
}

TEST(DriverSelect, NamesCompareWithoutCase) {
  EXPECT_TRUE(SameDriverName("X11", "x11"));
  EXPECT_FALSE(SameDriverName("X1", "X11"));
  EXPECT_FALSE(SameDriverName(nullptr, "X11"));
}

TEST(FullscreenModes, SisterDepthThenTheNextTallerModeOffered) {
  auto text = [](const std::vector<DisplayMode>& modes) {
    std::string out;
    for (const DisplayMode& m : modes)
      out += (out.empty() ? "" : " ") + std::to_string(m.width) + "x" + std::to_string(m.height) +
             "x" + std::to_string(m.depth);
    return out;
  };
  // What a display under Wine on a 1280 x 1024 X screen lists, and no more.
  const std::vector<DisplayMode> wine = {{1280, 1024, 8}, {1280, 1024, 16}, {1280, 1024, 32}};
  const std::vector<DisplayMode> wide = {{800, 600, 32}, {1024, 768, 32}, {1600, 1024, 32},
                                         {1366, 768, 32}, {1280, 1024, 16}};
  struct Case {
    int width, height, depth;
    std::vector<DisplayMode> offered;  // empty: the standard modes
    const char* tries;
  } cases[] = {
      {1024, 768, 32, {}, "1024x768x32 1024x768x24 1280x1024x32 1280x1024x24"},
      {1024, 768, 32, wine, "1024x768x32 1024x768x24 1280x1024x32 1280x1024x24"},
      {1280, 1000, 32, {}, "1280x1000x32 1280x1000x24 1280x1024x32 1280x1024x24"},
      {640, 400, 16, {}, "640x400x16 640x400x15 640x480x16 640x480x15"},
      {320, 200, 15, {}, "320x200x15 320x200x16 320x240x15 320x240x16"},
      {320, 240, 24, {}, "320x240x24 320x240x32 640x480x24 640x480x32"},
      {800, 100, 8, {}, "800x100x8 800x600x8"},  // no sister to 8 bits; 240 and 480 too narrow
      {1280, 1024, 32, {}, "1280x1024x32 1280x1024x24"},  // nothing taller than 1024
      {1600, 1200, 16, {}, "1600x1200x16 1600x1200x15"},
      {1400, 768, 32, {}, "1400x768x32 1400x768x24"},  // no standard mode that wide
      // The narrowest wide enough; heights without one are passed over.
      {800, 600, 32, wide, "800x600x32 800x600x24 1024x768x32 1024x768x24"},
      {1100, 700, 32, wide, "1100x700x32 1100x700x24 1366x768x32 1366x768x24"},
      {1400, 700, 24, wide, "1400x700x24 1400x700x32 1600x1024x24 1600x1024x32"},
      {640, 480, 32, wine, "640x480x32 640x480x24 1280x1024x32 1280x1024x24"},
      {640, 480, 24, {{1280, 1024, 16}}, "640x480x24 640x480x32"},  // of neither depth
      {640, 480, 16, wine, "640x480x16 640x480x15 1280x1024x16 1280x1024x15"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(text(FullscreenModeTries(c.width, c.height, c.depth, c.offered)), c.tries)
        << c.width << "x" << c.height << "x" << c.depth << " of " << c.offered.size() << " modes";
}

}  // namespace
