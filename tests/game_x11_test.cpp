// The built game in a real window: started in a scratch folder with a copy
// of the pictures, driven with xdotool as a player would, and watched
// through screenshots taken on a connection of our own.  Needs DISPLAY and
// xdotool; deadlines are generous polls, never timing assertions.
// Built twice: for the native game, and as game_wine_test for the Windows
// build's game, started through FB_SHOOTER_LAUNCHER (Wine).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "game_support.h"

// Xlib last: its macros (None, Status, Bool) clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#ifndef FB_SHOOTER_PATH
#error "FB_SHOOTER_PATH must name the built game"
#endif
#ifndef FB_RUN_DIR
#error "FB_RUN_DIR must name the folder holding imgs/"
#endif

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t INTRO_GREEN = 0x00AA00;
constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t BLACK = 0x000000;
constexpr uint32_t GAUGE_BLUE = 0x0000FF;

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

bool Poll(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 15s) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return condition();
}

// The pixels of a window as 0xRRGGBB.
struct Shot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  int Count(int x1, int y1, int x2, int y2, const std::function<bool(uint32_t)>& match) const {
    int n = 0;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) n += match(At(x, y));
    return n;
  }
  int Count(int x1, int y1, int x2, int y2, uint32_t colour) const {
    return Count(x1, y1, x2, y2, [colour](uint32_t c) { return c == colour; });
  }
};

// One running game.
class GameProcess {
 public:
  explicit GameProcess(const std::function<void()>& preparePictures) {
    for (const auto& entry : fs::directory_iterator(fs::path(FB_RUN_DIR) / "imgs"))
      if (entry.path().extension() == ".bmp") pictures.push_back(entry.path().filename());
    fs::create_directory(dir.path / "imgs");
    for (const fs::path& name : pictures)
      fs::copy_file(fs::path(FB_RUN_DIR) / "imgs" / name, dir.path / "imgs" / name);
    preparePictures();
    pid = fork();
    if (pid == 0) {
      setpgid(0, 0);  // killed as a group: a launcher and what it starts
      if (chdir(dir.path.c_str()) != 0) _exit(120);
#ifdef FB_SHOOTER_LAUNCHER
      execl(FB_SHOOTER_LAUNCHER, FB_SHOOTER_LAUNCHER, FB_SHOOTER_PATH, static_cast<char*>(nullptr));
#else
      execl(FB_SHOOTER_PATH, "shooter", static_cast<char*>(nullptr));
#endif
      _exit(121);
    }
    display = XOpenDisplay(nullptr);
  }
  ~GameProcess() {
    if (pid > 0 && !exited) {
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (display) XCloseDisplay(display);
  }

  // The game's window, found by its name.
  bool FindWindow() {
    return Poll([this] {
      std::string ids = Run("xdotool search --name '^shooter$' 2>/dev/null");
      if (ids.empty()) return false;
      window = std::strtoul(ids.c_str(), nullptr, 10);
      XWindowAttributes a;
      return XGetWindowAttributes(display, Window(window), &a) && a.map_state == IsViewable;
    });
  }

  Shot Screenshot() {
    Shot shot;
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, Window(window), &a)) return shot;
    XImage* image =
        XGetImage(display, Window(window), 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.width = a.width;
    shot.height = a.height;
    shot.pixels.resize(size_t(a.width) * size_t(a.height));
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x)
        shot.pixels[size_t(y) * size_t(a.width) + size_t(x)] = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
    XDestroyImage(image);
    return shot;
  }

  // Polls screenshots until condition holds for one of them.
  bool WaitForScreen(const std::function<bool(const Shot&)>& condition, Shot* last = nullptr) {
    Shot shot;
    bool ok = Poll([&] {
      shot = Screenshot();
      return shot.width >= 1024 && shot.height >= 768 && condition(shot);
    });
    if (last) *last = shot;
    return ok;
  }

  void Keys(const std::string& action, const std::string& keys) {
    std::string w = std::to_string(window);
    Run("xdotool windowfocus --sync " + w + " >/dev/null 2>&1; xdotool " + action + " " + keys);
  }
  // Presses a key long enough for the window thread's keyboard sampling.
  void Tap(const std::string& key) {
    Keys("keydown", key);
    std::this_thread::sleep_for(150ms);
    Keys("keyup", key);
  }

  // The exit status, or -1 while still running at the deadline.
  int WaitForExit(std::chrono::milliseconds deadline = 15s) {
    int status = 0;
    bool done = Poll([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline);
    if (!done) return -1;
    exited = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }

  gametest::ScratchDir dir;
  std::vector<fs::path> pictures;
  pid_t pid = -1;
  bool exited = false;
  Display* display = nullptr;
  unsigned long window = 0;
};

class GameWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: the window test needs an X server";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "xdotool is not installed: it types the player's keys";
    if (!fs::exists(fs::path(FB_RUN_DIR) / "imgs" / "Background.bmp"))
      GTEST_SKIP() << "the pictures were not drawn into " FB_RUN_DIR;
  }
};

bool IntroTyping(const Shot& s) { return s.Count(250, 256, 257, 263, INTRO_GREEN) > 5; }

// The first text row holds the message, white on black; the rows below it
// are untouched black.
bool ErrorLineShown(const Shot& s, int textColumns) {
  int white = s.Count(0, 0, textColumns * 8 - 1, 7, WHITE);
  int other = s.Count(0, 0, textColumns * 8 - 1, 7, [](uint32_t c) { return c != WHITE && c != BLACK; });
  return white > textColumns * 8 && other == 0 && s.Count(0, 8, 1023, 39, BLACK) == 1024 * 32;
}

TEST_F(GameWindowTest, IntroPlayAndEscape) {
  GameProcess game([] {});
  ASSERT_TRUE(game.FindWindow());
  ASSERT_TRUE(game.WaitForScreen(IntroTyping)) << "the briefing is typed in green at (250, 256)";

  game.Tap("x");
  Shot play;
  ASSERT_TRUE(game.WaitForScreen([](const Shot& s) {
    return s.Count(200, 10, 600, 20, GAUGE_BLUE) > 3000 && s.Count(10, 10, 66, 17, WHITE) > 40;
  }, &play)) << "\"Score: 0\" and the blue gauge";
  EXPECT_EQ(play.Count(250, 256, 257, 263, INTRO_GREEN), 0) << "the intro is gone";

  // The background is redrawn whole every frame, so what is new in the
  // picture is the ship's and the bullets' doing.
  auto whiteRightOfShip = [](const Shot& s) { return s.Count(200, 30, 1023, 767, WHITE); };
  const int whiteBefore = whiteRightOfShip(play);
  game.Keys("keydown", "d space");
  Shot moving;
  bool shooting = game.WaitForScreen([&](const Shot& s) {
    int changedAtStart = 0;
    for (int y = 100; y < 135; ++y)
      for (int x = 100; x < 150; ++x) changedAtStart += s.At(x, y) != play.At(x, y);
    return whiteRightOfShip(s) > whiteBefore + 20 && changedAtStart > 300;
  }, &moving);
  game.Keys("keyup", "d space");
  EXPECT_TRUE(shooting) << "the ship leaves (100, 100) and bullets fly right of it";

  game.Keys("keydown", "Escape");
  int status = game.WaitForExit();
  game.Keys("keyup", "Escape");
  EXPECT_EQ(status, 0);
}

TEST_F(GameWindowTest, MissingBackgroundShowsItsErrorAndExitsWithMinusOne) {
  GameProcess game([] { fs::remove("imgs/Background.bmp"); });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer in: Background = LoadIMGFile(\"imgs\\Background.bmp\")") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns); }));
  game.Tap("x");
  EXPECT_EQ(game.WaitForExit(), 255);
}

TEST_F(GameWindowTest, MissingReloadPictureShowsTheGunsErrorAndExitsWithMinusOne) {
  GameProcess game([] { fs::remove("imgs/reload.bmp"); });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer in: Constructor BulletSystem()") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns); }));
  game.Tap("x");
  EXPECT_EQ(game.WaitForExit(), 255);
}

// The intro draws the background over the message, so this background
// leaves its top rows transparent (magenta) to keep the message in view.
TEST_F(GameWindowTest, MissingWarningPictureIsReportedAndThePlayGoesOn) {
  GameProcess game([] {
    fs::remove("imgs/Crit.bmp");
    gametest::WriteFile("imgs/Background.bmp", gametest::MakeBmp(1024, 768, [](int, int y) {
                          return y < 40 ? 0xFF00FFu : 0x202040u;
                        }));
  });
  ASSERT_TRUE(game.FindWindow());
  const int columns = int(sizeof("[ERROR] Zero pointer exception in: Constructor Critical") - 1);
  EXPECT_TRUE(game.WaitForScreen([&](const Shot& s) { return ErrorLineShown(s, columns) && IntroTyping(s); }));
  game.Tap("x");
  EXPECT_TRUE(game.WaitForScreen([](const Shot& s) { return s.Count(200, 10, 600, 20, GAUGE_BLUE) > 3000; }));
  game.Keys("keydown", "Escape");
  int status = game.WaitForExit();
  game.Keys("keyup", "Escape");
  EXPECT_EQ(status, 0);
}

}  // namespace
